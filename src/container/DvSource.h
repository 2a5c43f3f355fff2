#pragma once
// DV frames in file order, whatever container holds them (AVI, raw DV stream, QuickTime), with
// every byte between them handed on unchanged: a stamped copy made through a source has the
// input's byte layout. In random-access mode (the preview) a source finds frame n.
//
// A source reads through a ByteSource (a file, or memory for the fuzzers) and reports through
// named outcomes; lines meant for the run log go to a MessageSink.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "container/ByteSource.h"
#include "container/MessageSink.h"
#include "dv/VideoProfile.h"

namespace kelo::dv {
struct DvFrameInfo;
struct DateTimeReadOptions;
}  // namespace kelo::dv

namespace kelo::container {

class StampedFileWriter;

// Every caller's frame buffer: covers the largest frame a source returns (an AVI type I chunk of
// a 625/50 frame padded to 512 bytes, plus the identifier behind it).
inline constexpr size_t kFrameBufferBytes = 0x24000;

enum class ContainerKind { Avi, RawDv, QuickTime };
// "avi", "dv", "mov".
const char* containerName(ContainerKind kind);

enum class HeaderOutcome {
  Valid,
  Invalid,      // not a file of this container, or a DV variant that cannot be stamped (logged)
  WriteFailed,  // writing the header to the output failed (logged)
  ReadFailed,   // the input could not be read (logged)
};

enum class ReadOutcome {
  Frame,        // a frame is in the buffer
  End,          // no further frame; the buffer holds the trailing bytes (possibly none)
  WriteFailed,  // writing the bytes in front of the frame failed (logged)
  ReadFailed,   // the input could not be read (logged), or the source is not open and checked
};

enum class CopyOutcome { Copied, WriteFailed, ReadFailed };

class DvSource {
 public:
  virtual ~DvSource() = default;
  DvSource(const DvSource&) = delete;
  DvSource& operator=(const DvSource&) = delete;

  virtual ContainerKind kind() const = 0;

  // Reads from `bytes` from now on; `path` names it in messages.
  void attach(std::unique_ptr<ByteSource> bytes, std::string path);
  // 0, or an errno value (then "can not open file.\n" goes to the error stream).
  int open(const std::string& path);
  void close() { bytes_.reset(); }
  bool isOpen() const { return bytes_ != nullptr; }
  const std::string& path() const { return path_; }
  int64_t fileSize() const { return fileSize_; }

  // Checks the container and prepares reading from its first frame. With an output, the bytes
  // the check has passed over that belong in front of the first frame are written to it.
  virtual HeaderOutcome validateHeader(StampedFileWriter* output, MessageSink* log) = 0;

  // The next frame in file order (in random-access mode: frame `frameIndex`) into `buffer`
  // (kFrameBufferBytes long), its length in `length`; the DV frame starts frameOffset() bytes
  // into the buffer. Every byte between the previous frame and this one is written to the output
  // first, if there is one. At the end `length` holds the trailing bytes put in the buffer, which
  // the caller writes before copyRemainder. The frame's profile goes into `info`.
  virtual ReadOutcome readFrame(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer, size_t& length,
                                int frameIndex, MessageSink* log) = 0;

  // After End: copies the rest of the input, from the read position on, to the output.
  virtual CopyOutcome copyRemainder(StampedFileWriter& output) = 0;

  // Bytes in front of the DV frame in what readFrame returns (an AVI chunk header).
  virtual size_t frameOffset() const { return 0; }
  // File offset of what the last readFrame returned as a frame.
  virtual int64_t framePosition() const = 0;
  // The last frame index the container declares (-1 for none); frames may turn out fewer.
  virtual int lastFrameIndex() const = 0;

  void setRandomAccess(bool on) { randomAccess_ = on; }
  bool randomAccess() const { return randomAccess_; }

  // How many frames from the frame just read until the recorded second changes: 1 when the next
  // frame is in a new second, up to 30; 0 when the next 30 frames all share the current second.
  // The read position is left as it was.
  int lookAheadToNextSecond(const dv::DvFrameInfo& info, const dv::DateTimeReadOptions& options);

  // What the first frame is when it is DV that cannot be stamped (readFrame then ends at once);
  // Stampable otherwise.
  dv::FrameKind refusedKind() const { return refusedKind_; }
  // DV frames passed over or handed on unreadable (another size than the file's frames, a kind
  // that cannot be stamped): copied unchanged.
  int unreadableFrames() const { return unreadableFrames_; }

 protected:
  DvSource() = default;
  // Reads up to `count` bytes at `offset` (fewer only at the end of the input): 0, or an errno
  // value (EBADF when nothing is attached, EIO when the device failed).
  int readAt(int64_t offset, void* buffer, size_t count, size_t& got);
  // `firstCount` bytes at `offset` into `first` and up to `secondCount` behind them into `second`
  // (fewer only at the end of the input), in one read of the file; `got` counts both.
  int readPairAt(int64_t offset, void* first, size_t firstCount, void* second, size_t secondCount, size_t& got);
  // Copies the input's bytes [from, to) to the output unchanged (nothing without an output).
  CopyOutcome copyRange(int64_t from, int64_t to, StampedFileWriter* output);

  // The sequential read position, saved and restored around the look-ahead.
  struct Mark {
    int64_t a = 0, b = 0;
    int c = 0;
  };
  virtual Mark mark() const = 0;
  virtual void restore(const Mark& m) = 0;

  std::unique_ptr<ByteSource> bytes_;
  std::unique_ptr<uint8_t[]> copyBlock_;  // copyRange's
  std::string path_;
  int64_t fileSize_ = 0;
  bool randomAccess_ = false;
  dv::FrameKind refusedKind_ = dv::FrameKind::Stampable;
  int unreadableFrames_ = 0;
};

enum class OpenOutcome {
  Opened,
  EmptyPath,
  NotRegularFile,    // a folder, a FIFO, a device: refused before anything blocks on it
  CannotOpen,        // errno in `error`
  UnknownContainer,  // neither AVI nor QuickTime nor a raw DV stream
};

// Opens `path` and picks the source by the file's first bytes, not by its name.
OpenOutcome openDvSource(const std::string& path, std::unique_ptr<DvSource>& source, int& error);
// The same over bytes already at hand (the fuzzers).
OpenOutcome openDvSource(std::unique_ptr<ByteSource> bytes, const std::string& path,
                         std::unique_ptr<DvSource>& source);

// Opens `path` as a DV source and checks its header without output: Valid, or the failure with a
// one-line reason in `message` (the source's own where it gave one). `random` sets random access.
HeaderOutcome openCheckedSource(const std::string& path, bool random, std::unique_ptr<DvSource>& source,
                                std::string& message);
// The run log line for an open that failed (anything but Opened).
std::string openFailureMessage(OpenOutcome outcome, const std::string& path, int error);

// `format` with its first "%s" replaced by `text` (messages naming a file or a type).
std::string messageWith(const char* format, const std::string& text);

// Run log lines of the container layer.
inline constexpr const char* kMsgWriteFailed = "写加码文件时出错，硬盘可能满了。";
// A read that fails in the middle of the file (device error): the pass must not report success.
inline constexpr const char* kMsgReadFailed = "***错误: 读录像文件时出错。";
inline constexpr const char* kMsgUnknownContainer = "***错误: 此文件不是 DV 文件（AVI、DV 或 QuickTime）。";
// A path that is not a regular file (%s: the path).
inline constexpr const char* kMsgNotRegularFile = "***错误: %s 不是普通文件（文件夹、FIFO 或设备）。";
inline constexpr const char* kMsgCannotOpen = "打不开 %s: %s";
// DV of a kind Kelo cannot stamp (50 Mbit/s, HD, unknown APT), named.
inline constexpr const char* kMsgRefusedVariant = "***错误: 此文件是 %s，Kelo 不能给它加码。";
// Frames copied unchanged because Kelo could not read or stamp them (another size, an unsupported
// kind of DV): the file is not fully stamped.
inline constexpr const char* kMsgUnstampableFrames = "*** %d 帧图像读不了或没法加码，原样复制。";

// kMsgRefusedVariant naming `kind`.
std::string refusedVariantMessage(dv::FrameKind kind);

// True when the path names something that is not a regular file (a folder, FIFO, socket or device);
// false for a regular file and for a path where nothing is.
bool isSpecialFile(const std::string& path);

}  // namespace kelo::container

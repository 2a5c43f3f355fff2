#pragma once
// Reads one DV AVI file (type I `iavs` or type II `vids` with `dvsd`/`dsvd`, with or without
// OpenDML parts and indexes). It checks a few fixed places of the header and then finds frames by
// scanning the movie data for chunk identifiers; everything between two frames (audio, padding,
// index chunks) can be handed unchanged to an output as the scan passes over it, which is how the
// stamped copy keeps the input's byte layout. In random-access mode (the preview) it finds frame n
// through the file's indexes where they are usable and by scanning where not.
//
// Offsets are 64-bit throughout. Sizes and offsets read from the file are checked against the
// file size and the bytes actually read before they are used.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dv/VideoProfile.h"
#include "engine/MarkerList.h"
#include "platform/File.h"

namespace kelo::dv {
struct DvFrameInfo;
}
namespace kelo::settings {
struct StampSettings;
}

namespace kelo::engine {

class RunLog;
class StampedAviWriter;

// Messages of the reader in the run log.
inline constexpr const char* kMsgTooSmall = "***错误：此文件太小，不可能是 DV AVI 文件。";
inline constexpr const char* kMsgNotAvi = "***错误: 此文件不是 DV AVI 文件。";
inline constexpr const char* kMsgNotDvAvi = "***错误: 此文件不是有效 DV AVI 文件。";
inline constexpr const char* kMsgNoMovi = "***错误: 此文件不是有效 type %s DV AVI 文件。";
inline constexpr const char* kMsgTypeI = "    type I DV AVI 格式";
inline constexpr const char* kMsgTypeII = "    type II DV AVI 格式";
inline constexpr const char* kMsgWriteFailed = "写加码文件时出错，硬盘可能满了。";
// DV of a kind Kelo cannot stamp (50 Mbit/s, HD, unknown APT), named.
inline constexpr const char* kMsgRefusedVariant = "***错误: 此文件是 %s，Kelo 不能给它加码。";
// Frames copied unchanged because Kelo could not read or stamp them (another size, an unsupported
// kind of DV): the file is not fully stamped.
inline constexpr const char* kMsgUnstampableFrames = "*** %d 帧图像读不了或没法加码，原样复制。";
// A read that fails in the middle of the file (device error): the pass must not report success.
inline constexpr const char* kMsgReadFailed = "***错误: 读录像文件时出错。";

class DvAviReader {
 public:
  DvAviReader();
  ~DvAviReader();
  DvAviReader(const DvAviReader&) = delete;
  DvAviReader& operator=(const DvAviReader&) = delete;

  // Opens for reading (shared lock), stores the file size and loads the marker side file.
  // 0; -1 for an empty path; -2 when the file cannot be opened ("can not open file.\n" on the
  // error stream; openError() holds the errno value).
  int open(const std::string& path);
  void close();
  bool isOpen() const { return file_.isOpen(); }

  // 0 when the file is a DV AVI file, -1 otherwise (the reason is in the log). With an output,
  // the header (everything up to and including the `movi` identifier) is written to it.
  int validateHeader(StampedAviWriter* output, RunLog* log);

  // Next frame chunk in file order (or frame `frameIndex` in random-access mode) into `buffer`
  // (kFrameBufferBytes long): 0 with the chunk's length in `length` (8-byte chunk header plus
  // the DV frame, for padded type I files up to the 512-byte boundary); 1 when there is no
  // further frame, `length` holding the trailing bytes left in the buffer (0 when the file ends
  // right behind the last frame, which is a normal end); -1 when writing to the output or
  // reading the input failed (logged). The profile of the first frame goes into info.profile.
  // In random-access mode nothing is written and frame `frameIndex` itself is returned.
  int readFrame(dv::DvFrameInfo& info, StampedAviWriter* output, uint8_t* buffer, size_t& length, int frameIndex,
                RunLog* log);

  // After readFrame returned 1: copies the rest of the input, from the read position to the end,
  // to the output in blocks of kFrameBufferBytes. 0; -1 when writing failed; -2 when reading
  // failed. Nothing is logged (the caller knows the message).
  int copyRemainder(StampedAviWriter& output);

  // How many frames from the frame just read until the recorded second changes: 1 when the next
  // frame is in a new second, up to 30; 0 when the next 30 frames all share the current second.
  // Reads ahead into a buffer of its own and leaves the read position as it was.
  int lookAheadToNextSecond(const dv::DvFrameInfo& info, const settings::StampSettings& settings);

  void setRandomAccess(bool on) { randomAccess_ = on; }
  bool randomAccess() const { return randomAccess_; }
  // The chunk id of the first accepted frame; cleared when a pass or a preview starts.
  void clearVideoChunkId() { videoChunkId_ = 0; }
  uint32_t videoChunkId() const { return videoChunkId_; }

  const std::string& path() const { return path_; }
  int openError() const { return openError_; }
  int64_t fileSize() const { return fileSize_; }
  // The video stream header's dwLength minus 1 (-1 for an empty stream).
  int lastFrameIndex() const { return lastFrameIndex_; }
  bool isTypeII() const { return typeII_; }
  // The header carries OpenDML structures (a super index or the odml list).
  bool isOpenDml() const { return openDml_; }
  // Offset of the chunk header of the frame returned last.
  int64_t currentFramePosition() const { return currentFramePos_; }
  // Behind the `movi` identifier until the first frame is found, then that frame's offset.
  int64_t firstFramePosition() const { return firstFramePos_; }
  int lastFrameIndexRead() const { return lastRead_; }
  // Bytes one window read takes: kFrameBufferBytes until the first frame fixes it.
  size_t readSpan() const { return span_; }
  // Where the scan goes on.
  int64_t position() const { return pos_; }
  // Frames listed by the file's usable index (random access, once an index was loaded and none
  // of its entries has been found wrong); -1 otherwise.
  int indexedFrameCount() const;

  MarkerList& markers() { return markers_; }
  const MarkerList& markers() const { return markers_; }
  // What the first frame is when it is DV that Kelo cannot stamp (readFrame then returns 1 with no
  // trailing bytes); Stampable otherwise.
  dv::FrameKind refusedKind() const { return refusedKind_; }
  // DV frames passed over because the file's frame layout could not take them (copied unchanged).
  int unreadableFrames() const { return unreadableFrames_; }

 private:
  enum class Candidate { None, Incomplete, Frame, Index, Audio, Refused };
  struct ScanStop {
    size_t at;
    Candidate kind;
    int64_t skip = 0;  // Index: bytes of the whole chunk, pad byte included
  };

  int readBytes(int64_t offset, uint8_t* dst, size_t count, size_t& got);
  int window(const uint8_t*& w, size_t& n);
  ScanStop scanWindow(const uint8_t* w, size_t n, size_t p, dv::DvFrameInfo& info);
  bool isFollower(uint32_t id, uint32_t frameId) const;
  size_t acceptedLength(const uint8_t* w, size_t n, int64_t at) const;
  size_t findFrameInTail(const uint8_t* w, size_t n, dv::DvFrameInfo& info);
  int64_t indexChunkBytes(const uint8_t* w, size_t n, int64_t at);
  int64_t unreadableFrameBytes(const uint8_t* w, size_t n) const;
  static constexpr size_t kNone = static_cast<size_t>(-1);
  int copyRange(StampedAviWriter* output, int64_t from, int64_t count);
  int scanNext(dv::DvFrameInfo& info, StampedAviWriter* output, uint8_t* buffer, size_t& length, RunLog* log);
  int readFrameAt(dv::DvFrameInfo& info, uint8_t* buffer, size_t& length, int frameIndex, RunLog* log);
  void loadIndex();
  bool loadSuperIndex(std::vector<int64_t>& positions);
  bool loadLegacyIndex(std::vector<int64_t>& positions);

  platform::File file_;
  std::string path_;
  int openError_ = 0;
  int64_t fileSize_ = 0;
  int64_t currentFramePos_ = 0;
  int64_t firstFramePos_ = 0;
  int64_t pos_ = 0;  // file offset of the next window
  int lastRead_ = -1;
  size_t span_ = 0;
  size_t frameBytes_ = 0;  // DV frame of the detected system
  int lastFrameIndex_ = -1;
  bool typeII_ = false;
  bool openDml_ = false;
  bool firstPending_ = true;
  bool randomAccess_ = false;
  bool validated_ = false;
  uint32_t videoChunkId_ = 0;
  dv::FrameKind refusedKind_ = dv::FrameKind::Stampable;
  int unreadableFrames_ = 0;
  MarkerList markers_;

  std::vector<uint8_t> header_;  // bytes [0, end of `movi` identifier)

  // Read cache: windows overlap and step back a little, so reads are served from one large block.
  std::vector<uint8_t> cache_;
  int64_t cacheStart_ = 0;
  size_t cacheLength_ = 0;
  bool cacheAtEnd_ = false;  // the last fill reached the end of the file

  // Random access: offsets of frames 0..k-1, from the index or found by scanning.
  std::vector<int64_t> known_;
  bool indexLoaded_ = false;
  bool indexUsable_ = false;
};

}  // namespace kelo::engine

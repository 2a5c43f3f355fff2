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
#include <memory>
#include <string>
#include <vector>

#include "container/DvSource.h"

namespace kelo::container {

// Messages of the reader in the run log.
inline constexpr const char* kMsgTooSmall = "***错误：此文件太小，不可能是 DV AVI 文件。";
inline constexpr const char* kMsgNotAvi = "***错误: 此文件不是 DV AVI 文件。";
inline constexpr const char* kMsgNotDvAvi = "***错误: 此文件不是有效 DV AVI 文件。";
inline constexpr const char* kMsgNoMovi = "***错误: 此文件不是有效 type %s DV AVI 文件。";
inline constexpr const char* kMsgTypeI = "    type I DV AVI 格式";
inline constexpr const char* kMsgTypeII = "    type II DV AVI 格式";

class DvAviReader final : public DvSource {
 public:
  DvAviReader();

  ContainerKind kind() const override { return ContainerKind::Avi; }

  // Valid when the file is a DV AVI file, Invalid otherwise (the reason is in the log). With an
  // output, the header (everything up to and including the `movi` identifier) is written to it.
  HeaderOutcome validateHeader(StampedFileWriter* output, MessageSink* log) override;

  // Next frame chunk in file order (or frame `frameIndex` in random-access mode): the 8-byte
  // chunk header plus the DV frame, for padded type I files up to the 512-byte boundary. At the
  // end `length` holds the trailing bytes left in the buffer (0 when the file ends right behind
  // the last frame, which is a normal end). The profile of the first frame goes into `info`; when
  // the first frame is DV that cannot be stamped, the outcome is End with no trailing bytes and
  // refusedKind() names it.
  // In random-access mode nothing is written and frame `frameIndex` itself is returned.
  ReadOutcome readFrame(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer, size_t& length,
                        int frameIndex, MessageSink* log) override;

  // The rest of the input, from the read position to the end, in blocks of kFrameBufferBytes.
  // Nothing is logged (the caller knows the message).
  CopyOutcome copyRemainder(StampedFileWriter& output) override;

  size_t frameOffset() const override { return 8; }
  // The chunk id of the first accepted frame; cleared when a pass or a preview starts.
  void clearVideoChunkId() { videoChunkId_ = 0; }
  uint32_t videoChunkId() const { return videoChunkId_; }

  // The video stream header's dwLength minus 1 (-1 for an empty stream).
  int lastFrameIndex() const override { return lastFrameIndex_; }
  bool isTypeII() const { return typeII_; }
  // The header carries OpenDML structures (a super index or the odml list).
  bool isOpenDml() const { return openDml_; }
  // Offset of the chunk header of the frame returned last.
  int64_t currentFramePosition() const { return currentFramePos_; }
  int64_t framePosition() const override { return currentFramePos_; }
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

 protected:
  Mark mark() const override { return {pos_, currentFramePos_, lastRead_}; }
  void restore(const Mark& m) override {
    pos_ = m.a;
    currentFramePos_ = m.b;
    lastRead_ = m.c;
  }

 private:
  enum class Candidate { None, Incomplete, Frame, Index, Audio, Refused };
  struct ScanStop {
    size_t at;
    Candidate kind;
    int64_t skip = 0;  // Index: bytes of the whole chunk, pad byte included
  };

  // 0 or an errno value.
  int readBytes(int64_t offset, uint8_t* dst, size_t count, size_t& got);
  bool cacheHolds(int64_t at, size_t count) const;
  int window(const uint8_t*& w, size_t& n);
  size_t cacheCapacity();
  // The cache holds up to `fill` bytes from `at` (fewer at the end of the file); 0 or errno.
  int fillCache(int64_t at, size_t fill);
  ScanStop scanWindow(const uint8_t* w, size_t n, size_t p, dv::DvFrameInfo& info);
  bool isFollower(uint32_t id, uint32_t frameId) const;
  size_t acceptedLength(const uint8_t* w, size_t n, int64_t at) const;
  size_t findFrameInTail(const uint8_t* w, size_t n, dv::DvFrameInfo& info);
  int64_t indexChunkBytes(const uint8_t* w, size_t n, int64_t at);
  int64_t unreadableFrameBytes(const uint8_t* w, size_t n) const;
  static constexpr size_t kNone = static_cast<size_t>(-1);
  ReadOutcome scanNext(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer, size_t& length,
                       MessageSink* log);
  // Reading in file order once the frames' layout is known: the bytes in front of the next frame
  // are scanned through small cache fills and the frame is read straight into `buffer`, not
  // through the cache. False, with pos_ where the scan goes on, hands the rest of the read to
  // scanNext's scanning (near the end of the file, frames in the cache already, a frame chunk
  // that is not accepted); true when `outcome` ends the read.
  bool readDirect(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer, size_t& length,
                  MessageSink* log, ReadOutcome& outcome);
  // Frame chunk of `chunkLength` bytes at pos_ accepted (its bytes are in the caller's buffer).
  ReadOutcome tookFrame(uint32_t id, size_t chunkLength, size_t& length);
  ReadOutcome readFrameAt(dv::DvFrameInfo& info, uint8_t* buffer, size_t& length, int frameIndex, MessageSink* log);
  void loadIndex();
  bool loadSuperIndex(std::vector<int64_t>& positions);
  bool loadLegacyIndex(std::vector<int64_t>& positions);

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
  bool validated_ = false;
  uint32_t videoChunkId_ = 0;

  std::vector<uint8_t> header_;  // bytes [0, end of `movi` identifier)

  // Read cache: windows overlap and step back a little, so reads are served from one large block.
  // In file order, once the first frame is found, it holds only the bytes between frames; frames
  // are read straight into the caller's buffer.
  std::unique_ptr<uint8_t[]> cache_;
  size_t cacheCapacity_ = 0;
  int64_t cacheStart_ = 0;
  size_t cacheLength_ = 0;
  bool cacheAtEnd_ = false;  // the last fill reached the end of the file
  // readDirect's cache fill: what it took to reach the last frame, and a little more.
  size_t peekBytes_ = 0;
  size_t chunkBytes_ = 0;  // length of the frame chunk accepted last

  // Random access: offsets of frames 0..k-1, from the index or found by scanning.
  std::vector<int64_t> known_;
  bool indexLoaded_ = false;
  bool indexUsable_ = false;
};

}  // namespace kelo::container

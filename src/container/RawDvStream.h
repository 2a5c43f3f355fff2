#pragma once
// A raw DV stream (`.dv`, `.dif`: what FFmpeg's "-f dv" and dvgrab's raw format write): DIF frames
// back to back without any container. Each frame's size comes from its own header block
// (120 000 bytes for 525/60, 144 000 for 625/50). A frame of a kind that cannot be stamped
// (50 Mbit/s, HD) is copied unchanged and counted; when the stream starts with one, it is refused
// by name. A partial frame at the end is handed back as
// trailing bytes, copied unchanged and reported, never stamped. Bytes that do not read as a frame
// are copied through unchanged up to where the next frame starts.
#include <cstdint>
#include <vector>

#include "container/DvSource.h"

namespace kelo::container {

// A partial frame at the end of a raw stream (%lld: its bytes).
inline constexpr const char* kMsgPartialFrame = "*** 文件末尾有不完整的一帧（%lld 字节），原样复制，没有加码。";
inline constexpr const char* kMsgNotRawDv = "***错误: 此文件不是 DV 文件（开头没有 DIF 头块）。";

// True when `bytes` start like a DV frame: a header block, two subcode and three VAUX blocks of
// sequence 0, each with its section type and block number (needs dv::kDetectBytes).
bool startsLikeDvFrame(const uint8_t* bytes, size_t count);

class RawDvStream final : public DvSource {
 public:
  ContainerKind kind() const override { return ContainerKind::RawDv; }
  HeaderOutcome validateHeader(StampedFileWriter* output, MessageSink* log) override;
  ReadOutcome readFrame(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer, size_t& length,
                        int frameIndex, MessageSink* log) override;
  CopyOutcome copyRemainder(StampedFileWriter& output) override;
  // Whole frames the stream holds at the first frame's size, minus 1.
  int lastFrameIndex() const override { return lastFrameIndex_; }
  int64_t framePosition() const override { return framePos_; }
  // Bytes of the partial frame at the end, once the reading has met it (0 if none).
  int64_t trailingPartialBytes() const { return partialBytes_; }

 protected:
  Mark mark() const override { return {pos_, 0, 0}; }
  void restore(const Mark& m) override { pos_ = m.a; }

 private:
  // What the frame whose header is at `at` is (NotDv when none starts there), and its bytes when
  // it can be stamped (0 otherwise). 0 or an errno value.
  int frameAt(int64_t at, dv::FrameIdentity& id, size_t& bytes);
  static size_t nextFrameStart(const uint8_t* w, size_t n);
  ReadOutcome readAtPosition(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer, size_t& length,
                             MessageSink* log);

  int64_t pos_ = 0;
  int64_t framePos_ = 0;
  size_t firstFrameBytes_ = 0;
  int lastFrameIndex_ = -1;
  int64_t partialBytes_ = 0;
  std::vector<int64_t> known_;  // random access: offsets of frames 0..k-1 found by counting
};

}  // namespace kelo::container

#pragma once
// DV frames of a QuickTime (MOV) file: the DV track's samples in file order, as the box reader
// lists them. Everything between two samples (audio, the movie box, free space) and behind the
// last one is handed on unchanged, so a stamped copy keeps every box where it was.
#include <cstdint>

#include "container/DvSource.h"
#include "container/QuickTimeIndex.h"

namespace kelo::container {

// A DV sample of a size no 25 Mbit/s frame has (%s: the path).
inline constexpr const char* kMsgQuickTimeFrameSize = "***错误: %s 的 DV 帧大小不是 120000 或 144000 字节，不能加码。";

class QuickTimeSource final : public DvSource {
 public:
  ContainerKind kind() const override { return ContainerKind::QuickTime; }
  HeaderOutcome validateHeader(StampedFileWriter* output, MessageSink* log) override;
  ReadOutcome readFrame(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer, size_t& length,
                        int frameIndex, MessageSink* log) override;
  CopyOutcome copyRemainder(StampedFileWriter& output) override;
  int lastFrameIndex() const override;
  int64_t framePosition() const override { return framePos_; }
  const QuickTimeIndex& index() const { return index_; }

 protected:
  Mark mark() const override { return {pos_, framePos_, static_cast<int>(next_)}; }
  void restore(const Mark& m) override {
    pos_ = m.a;
    framePos_ = m.b;
    next_ = static_cast<size_t>(m.c);
  }

 private:
  QuickTimeIndex index_;
  int64_t pos_ = 0;       // bytes before this have been handed on
  int64_t framePos_ = 0;
  size_t next_ = 0;       // the sample readFrame returns next
};

}  // namespace kelo::container

#include "container/QuickTimeSource.h"

#include <algorithm>
#include <climits>

#include "container/StampedFileWriter.h"
#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/VideoProfile.h"

namespace kelo::container {

namespace {

bool isFrameSize(uint32_t bytes) {
  for (int k = 0; k < dv::kProfileCount; ++k)
    if (bytes == static_cast<uint32_t>(dv::profileAt(k).frameBytes)) return true;
  return false;
}

}  // namespace

HeaderOutcome QuickTimeSource::validateHeader(StampedFileWriter*, MessageSink* log) {
  pos_ = 0;
  framePos_ = 0;
  next_ = 0;
  if (!isOpen()) {
    logError(kErrorFileNotValid);
    return HeaderOutcome::ReadFailed;
  }
  index_ = readQuickTimeIndex(*bytes_);
  if (index_.outcome != QuickTimeOutcome::Ok) {
    addLine(log, quickTimeMessage(index_, path_));
    index_.samples.clear();
    return index_.outcome == QuickTimeOutcome::ReadFailed ? HeaderOutcome::ReadFailed : HeaderOutcome::Invalid;
  }
  refusedKind_ = dv::FrameKind::Stampable;
  unreadableFrames_ = 0;
  // The first frame's own header names a kind that cannot be stamped (50 Mbit/s, HD, unknown APT)
  // better than its sample size does.
  if (!index_.samples.empty()) {
    uint8_t head[dv::kDetectBytes];
    size_t got = 0;
    if (readAt(index_.samples.front().offset, head, sizeof head, got) != 0) {
      addLine(log, kMsgReadFailed);
      index_.samples.clear();
      return HeaderOutcome::ReadFailed;
    }
    const dv::FrameIdentity first = dv::identifyFrame(head, got);
    if (first.kind != dv::FrameKind::Stampable && first.kind != dv::FrameKind::NotDv) {
      refusedKind_ = first.kind;
      addLine(log, refusedVariantMessage(first.kind));
      index_.samples.clear();
      return HeaderOutcome::Invalid;
    }
  }
  // 50 Mbit/s and HD samples are larger; whatever is not a 25 Mbit/s frame is not stamped.
  for (const QuickTimeSample& s : index_.samples) {
    if (!isFrameSize(s.size)) {
      addLine(log, messageWith(kMsgQuickTimeFrameSize, path_));
      index_.samples.clear();
      return HeaderOutcome::Invalid;
    }
  }
  return HeaderOutcome::Valid;
}

int QuickTimeSource::lastFrameIndex() const {
  return static_cast<int>(std::min<size_t>(index_.samples.size(), INT_MAX)) - 1;
}

ReadOutcome QuickTimeSource::readFrame(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer,
                                       size_t& length, int frameIndex, MessageSink* log) {
  length = 0;
  if (!isOpen()) {
    logError(kErrorFileNotValid);
    return ReadOutcome::ReadFailed;
  }
  if (randomAccess_) {
    next_ = frameIndex < 0 ? 0 : static_cast<size_t>(frameIndex);
    output = nullptr;
  }
  for (; next_ < index_.samples.size(); ++next_) {
    const QuickTimeSample& s = index_.samples[next_];
    if (!randomAccess_) {
      const CopyOutcome copied = copyRange(pos_, s.offset, output);
      if (copied != CopyOutcome::Copied) {
        addLine(log, copied == CopyOutcome::WriteFailed ? kMsgWriteFailed : kMsgReadFailed);
        return copied == CopyOutcome::WriteFailed ? ReadOutcome::WriteFailed : ReadOutcome::ReadFailed;
      }
    }
    size_t got = 0;
    if (readAt(s.offset, buffer, s.size, got) != 0 || got != s.size) {
      addLine(log, kMsgReadFailed);
      return ReadOutcome::ReadFailed;
    }
    pos_ = s.offset + s.size;
    const dv::VideoProfile* profile = dv::profileForFrame(buffer, got);
    if (profile != nullptr && static_cast<uint32_t>(profile->frameBytes) == s.size) {
      info.profile = profile;
      framePos_ = s.offset;
      length = s.size;
      ++next_;
      return ReadOutcome::Frame;
    }
    // A sample whose header does not read as a frame of its size is passed on unchanged, and
    // counted: the file is then not fully stamped.
    if (randomAccess_) return ReadOutcome::End;
    ++unreadableFrames_;
    if (output != nullptr && output->write(buffer, got) < 0) {
      addLine(log, kMsgWriteFailed);
      return ReadOutcome::WriteFailed;
    }
  }
  return ReadOutcome::End;
}

CopyOutcome QuickTimeSource::copyRemainder(StampedFileWriter& output) {
  const CopyOutcome copied = copyRange(pos_, fileSize_, &output);
  if (copied == CopyOutcome::Copied) pos_ = fileSize_;
  return copied;
}

}  // namespace kelo::container

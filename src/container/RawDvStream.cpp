#include "container/RawDvStream.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "container/StampedFileWriter.h"
#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/VideoProfile.h"

namespace kelo::container {

bool startsLikeDvFrame(const uint8_t* bytes, size_t count) {
  // Section type (top three bits of the ID's first byte) and block number of blocks 0-5.
  static constexpr uint8_t kType[6] = {0, 1, 1, 2, 2, 2};
  static constexpr uint8_t kNumber[6] = {0, 0, 1, 0, 1, 2};
  if (count < static_cast<size_t>(dv::kDetectBytes)) return false;
  for (size_t k = 0; k < 6; ++k) {
    const uint8_t* id = bytes + k * dv::kDifBlockBytes;
    if ((id[0] >> 5) != kType[k] || (id[1] >> 4) != 0 || id[2] != kNumber[k]) return false;
  }
  return true;
}

// A frame starts where a header block of DIF sequence 0 of channel 0 (FSC 0) stands, followed by
// the sequence's subcode and VAUX blocks: a 50 Mbit/s or HD frame then counts once, not per channel.
bool startsFrame(const uint8_t* bytes, size_t count) {
  return startsLikeDvFrame(bytes, count) && (bytes[1] & 0x08) == 0 &&
         dv::identifyFrame(bytes, count).kind != dv::FrameKind::NotDv;
}

namespace {

// What the frame whose first bytes are `head` is (NotDv when none starts there), and its bytes
// when it can be stamped (0 otherwise).
void identifyHead(const uint8_t* head, size_t count, dv::FrameIdentity& id, size_t& bytes) {
  id = dv::FrameIdentity{};
  bytes = 0;
  if (!startsFrame(head, count)) return;
  id = dv::identifyFrame(head, count);
  if (id.profile) bytes = static_cast<size_t>(id.profile->frameBytes);
}

}  // namespace

int RawDvStream::frameAt(int64_t at, dv::FrameIdentity& id, size_t& bytes) {
  uint8_t head[dv::kDetectBytes];
  size_t got = 0;
  if (int err = readAt(at, head, sizeof head, got)) {
    identifyHead(head, 0, id, bytes);
    return err;
  }
  identifyHead(head, got, id, bytes);
  return 0;
}

HeaderOutcome RawDvStream::validateHeader(StampedFileWriter*, MessageSink* log) {
  pos_ = 0;
  partialBytes_ = 0;
  known_.clear();
  refusedKind_ = dv::FrameKind::Stampable;
  unreadableFrames_ = 0;
  dv::FrameIdentity first;
  if (frameAt(0, first, firstFrameBytes_) != 0) {
    addLine(log, kMsgReadFailed);
    return HeaderOutcome::ReadFailed;
  }
  if (first.kind != dv::FrameKind::Stampable && first.kind != dv::FrameKind::NotDv) {
    refusedKind_ = first.kind;
    addLine(log, refusedVariantMessage(first.kind));
    return HeaderOutcome::Invalid;
  }
  if (firstFrameBytes_ == 0) {
    addLine(log, kMsgNotRawDv);
    return HeaderOutcome::Invalid;
  }
  lastFrameIndex_ =
      static_cast<int>(std::min<int64_t>(fileSize_ / static_cast<int64_t>(firstFrameBytes_), INT_MAX)) - 1;
  return HeaderOutcome::Valid;
}

// Where the next frame (of any kind) starts in w[1, n), 0 when none starts there with all its
// first blocks in view.
size_t RawDvStream::nextFrameStart(const uint8_t* w, size_t n) {
  for (size_t k = 1; k + dv::kDetectBytes <= n; ++k) {
    // The subcode block behind the header block first: long runs of zeros (padding, blank frames)
    // pass the header's own tests at every byte.
    if ((w[k + dv::kDifBlockBytes] >> 5) != 1 || (w[k] >> 5) != 0 || w[k + 2] != 0) continue;
    if (startsFrame(w + k, n - k)) return k;
  }
  return 0;
}

ReadOutcome RawDvStream::readAtPosition(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer,
                                        size_t& length, MessageSink* log) {
  length = 0;
  auto readFailed = [&] {
    addLine(log, kMsgReadFailed);
    return ReadOutcome::ReadFailed;
  };
  for (;;) {
    const int64_t left = fileSize_ - pos_;
    if (left <= 0) return ReadOutcome::End;
    // The bytes at the read position go straight into the buffer, as many as the first frame has
    // (which most frames have); the frame's header is told from them, and more is read when the
    // frame is longer or no frame starts here.
    size_t have = 0;
    auto readTo = [&](size_t want) {
      want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(want)));
      if (want <= have) return true;
      size_t got = 0;
      if (readAt(pos_ + static_cast<int64_t>(have), buffer + have, want - have, got) != 0 || got != want - have)
        return false;
      have = want;
      return true;
    };
    if (!readTo(firstFrameBytes_)) return readFailed();
    dv::FrameIdentity id;
    size_t bytes = 0;
    identifyHead(buffer, std::min(have, static_cast<size_t>(dv::kDetectBytes)), id, bytes);
    if (bytes != 0) {
      const size_t take = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(bytes)));
      if (!readTo(take)) return readFailed();
      if (take == bytes) {
        info.profile = id.profile;
        framePos_ = pos_;
        pos_ += static_cast<int64_t>(bytes);
        length = bytes;
        return ReadOutcome::Frame;
      }
      // The end of the file cuts the last frame short: its bytes stay as they are.
      pos_ = fileSize_;
      length = take;
      partialBytes_ = static_cast<int64_t>(take);
      char line[160];
      std::snprintf(line, sizeof line, kMsgPartialFrame, static_cast<long long>(take));
      addLine(log, line);
      return ReadOutcome::End;
    }
    // A frame Kelo cannot stamp (50 Mbit/s, HD, unknown APT) or no frame at all starts here: the
    // bytes up to the next frame are passed on unchanged, the frame counted.
    if (id.kind != dv::FrameKind::NotDv) ++unreadableFrames_;
    if (!readTo(kFrameBufferBytes)) return readFailed();
    const size_t n = have;
    size_t skip = nextFrameStart(buffer, n);
    if (skip == 0) {
      if (static_cast<int64_t>(n) == left) {  // nothing but other bytes up to the end
        pos_ = fileSize_;
        length = n;
        return ReadOutcome::End;
      }
      skip = n - (dv::kDetectBytes - 1);
    }
    if (output != nullptr && output->write(buffer, skip) < 0) {
      addLine(log, kMsgWriteFailed);
      return ReadOutcome::WriteFailed;
    }
    pos_ += static_cast<int64_t>(skip);
  }
}

ReadOutcome RawDvStream::readFrame(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer, size_t& length,
                                   int frameIndex, MessageSink* log) {
  length = 0;
  if (!isOpen() || firstFrameBytes_ == 0) {
    logError(kErrorFileNotValid);
    return ReadOutcome::ReadFailed;
  }
  if (!randomAccess_) return readAtPosition(info, output, buffer, length, log);

  // Frames of one size: frame n is where the arithmetic puts it, when a frame of that size is there.
  const size_t n = frameIndex < 0 ? 0 : static_cast<size_t>(frameIndex);
  const int64_t at = static_cast<int64_t>(n) * static_cast<int64_t>(firstFrameBytes_);
  dv::FrameIdentity id;
  size_t bytes = 0;
  if (known_.empty() && at + static_cast<int64_t>(firstFrameBytes_) <= fileSize_ &&
      frameAt(at, id, bytes) == 0 && bytes == firstFrameBytes_) {
    pos_ = at;
    return readAtPosition(info, nullptr, buffer, length, log);
  }
  // Otherwise count the frames from the start (or from the last one counted).
  if (n < known_.size()) {
    pos_ = known_[n];
    return readAtPosition(info, nullptr, buffer, length, log);
  }
  pos_ = known_.empty() ? 0 : known_.back();
  for (;;) {
    const ReadOutcome r = readAtPosition(info, nullptr, buffer, length, log);
    if (r != ReadOutcome::Frame) return r;
    if (known_.empty() || framePos_ > known_.back()) known_.push_back(framePos_);
    if (known_.size() > n) return r;
  }
}

CopyOutcome RawDvStream::copyRemainder(StampedFileWriter& output) {
  const CopyOutcome copied = copyRange(pos_, fileSize_, &output);
  if (copied == CopyOutcome::Copied) pos_ = fileSize_;
  return copied;
}

}  // namespace kelo::container

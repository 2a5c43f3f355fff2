#include "container/Verify.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "container/DvSource.h"
#include "container/RiffChunks.h"
#include "dv/DifLayout.h"
#include "dv/VideoProfile.h"
#include "dv/FrameInfo.h"
#include "platform/File.h"

namespace kelo::container {

namespace {

// Walks the chunks in [begin, end); descends into RIFF and LIST; records frame chunks of the
// movie data (video chunk ids "##dc", "##db", "##__"). Codes in any case, as the reader accepts them.
int walk(platform::File& file, int64_t begin, int64_t end, int depth, std::vector<FrameSpan>& frames) {
  if (depth > 8) return 0;
  int64_t pos = begin;
  while (pos + 8 <= end) {
    uint8_t head[12];
    size_t got = 0;
    if (int rc = file.readAt(pos, head, sizeof head, got)) return rc;
    if (got < 8) break;
    const uint32_t size = readLe32(head + 4);
    const int64_t dataStart = pos + 8;
    const int64_t dataEnd = std::min<int64_t>(dataStart + size, end);
    if ((isFourcc(head, "riff") || isFourcc(head, "list")) && got >= 12) {
      if (int rc = walk(file, dataStart + 4, dataEnd, depth + 1, frames)) return rc;
    } else {
      const uint8_t c2 = lowerAscii(head[2]), c3 = lowerAscii(head[3]);
      const bool video = (c2 == 'd' && (c3 == 'c' || c3 == 'b')) || (c2 == '_' && c3 == '_');
      if (video && dataEnd - dataStart >= dv::kDetectBytes) {
        // The frame's own header tells its size (type I chunks may carry padding).
        uint8_t h[dv::kDetectBytes] = {};
        const dv::VideoProfile* profile = nullptr;
        if (file.readAt(dataStart, h, sizeof h, got) == 0) profile = dv::identifyFrame(h, got).profile;
        if (profile && dataEnd - dataStart >= profile->frameBytes) frames.push_back({dataStart, profile->frameBytes});
      }
    }
    pos = dataStart + size + (size & 1);
  }
  return 0;
}

// Raw DV and QuickTime: the frames as the container layer finds them.
int sourceFrames(const std::string& path, std::vector<FrameSpan>& frames) {
  std::unique_ptr<DvSource> source;
  std::string message;
  if (openCheckedSource(path, false, source, message) != HeaderOutcome::Valid) return source ? EINVAL : EIO;
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  dv::DvFrameInfo info;
  for (;;) {
    size_t length = 0;
    const ReadOutcome r = source->readFrame(info, nullptr, buffer.data(), length, 0, nullptr);
    if (r == ReadOutcome::End) return 0;
    if (r != ReadOutcome::Frame) return EIO;
    const dv::VideoProfile* profile = info.profile;
    if (profile == nullptr || length < source->frameOffset() + static_cast<size_t>(profile->frameBytes)) continue;
    frames.push_back({source->framePosition() + static_cast<int64_t>(source->frameOffset()), profile->frameBytes});
  }
}

}  // namespace

int findDvFrames(const std::string& path, std::vector<FrameSpan>& frames) {
  frames.clear();
  platform::File file;
  if (int rc = file.openRead(path)) return rc;
  int64_t size = 0;
  if (int rc = file.size(size)) return rc;
  uint8_t head[12] = {};
  size_t got = 0;
  if (int rc = file.readAt(0, head, sizeof head, got)) return rc;
  if (got == sizeof head && isFourcc(head, "riff") && isFourcc(head + 8, "avi ")) return walk(file, 0, size, 0, frames);
  file.close();
  return sourceFrames(path, frames);
}

int verifyStamped(const std::string& inputPath, const std::string& outputPath, VerifyReport& report,
                  std::string& error) {
  report = VerifyReport{};
  std::vector<FrameSpan> frames;
  if (int rc = findDvFrames(inputPath, frames)) {
    error = inputPath;
    return rc;
  }
  report.framesFound = static_cast<int>(frames.size());
  platform::File in, out;
  if (int rc = in.openRead(inputPath)) {
    error = inputPath;
    return rc;
  }
  if (int rc = out.openRead(outputPath)) {
    error = outputPath;
    return rc;
  }
  in.size(report.inputSize);
  out.size(report.outputSize);
  report.sizesDiffer = report.inputSize != report.outputSize;
  const int64_t common = std::min(report.inputSize, report.outputSize);

  constexpr size_t kChunk = 1 << 20;
  std::vector<uint8_t> a(kChunk), b(kChunk);
  size_t frameIndex = 0;
  int lastFrame = -1;
  int lastSegmentKey = -1;
  int64_t lastBlock = -1;
  for (int64_t pos = 0; pos < common;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(kChunk, common - pos));
    size_t gotA = 0, gotB = 0;
    if (int rc = in.readAt(pos, a.data(), want, gotA)) {
      error = inputPath;
      return rc;
    }
    if (int rc = out.readAt(pos, b.data(), want, gotB)) {
      error = outputPath;
      return rc;
    }
    const size_t n = std::min(gotA, gotB);
    if (n == 0) break;
    if (std::memcmp(a.data(), b.data(), n) != 0) {
      for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        const int64_t off = pos + static_cast<int64_t>(i);
        while (frameIndex < frames.size() && frames[frameIndex].offset + frames[frameIndex].bytes <= off) ++frameIndex;
        bool video = false;
        if (frameIndex < frames.size() && off >= frames[frameIndex].offset) {
          const int64_t inFrame = off - frames[frameIndex].offset;
          const int block = static_cast<int>(inFrame / dv::kDifBlockBytes);
          const int sequence = block / dv::kBlocksPerSequence;
          const int q = block % dv::kBlocksPerSequence;
          const dv::BlockSlot slot = dv::blockInSequence(q);
          if (slot.type == dv::BlockType::Video) {
            video = true;
            const int frame = static_cast<int>(frameIndex);
            if (frame != lastFrame) {
              report.frames.push_back({frame, {}});
              ++report.framesDiffering;
              lastFrame = frame;
              lastSegmentKey = -1;
            }
            const int64_t blockKey = frames[frameIndex].offset / dv::kDifBlockBytes + block;
            if (blockKey != lastBlock) {
              ++report.videoBlocksDiffering;
              lastBlock = blockKey;
            }
            const int segmentKey = sequence * dv::kSegmentsPerSequence + slot.dbn / dv::kBlocksPerSegment;
            if (segmentKey != lastSegmentKey) {
              auto& segs = report.frames.back().segments;
              if (std::find(segs.begin(), segs.end(), segmentKey) == segs.end()) {
                segs.push_back(segmentKey);
                ++report.segmentsDiffering;
              }
              lastSegmentKey = segmentKey;
            }
          }
        }
        if (!video) {
          ++report.otherBytesDiffering;
          if (report.firstOtherOffsets.size() < 16) report.firstOtherOffsets.push_back(off);
        }
      }
    }
    pos += static_cast<int64_t>(n);
  }
  return 0;
}

}  // namespace kelo::container

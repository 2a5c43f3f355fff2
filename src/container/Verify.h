#pragma once
// Compares a stamped file with its input: which DIF blocks and video segments differ, and that
// nothing outside video DIF blocks does. In an AVI file the frames are found by walking its RIFF
// structure on its own, independently of the reader that produced the output; in raw DV and
// QuickTime files through the container layer.
#include <cstdint>
#include <string>
#include <vector>

namespace kelo::container {

struct VerifyReport {
  bool sizesDiffer = false;
  int64_t inputSize = 0;
  int64_t outputSize = 0;
  int framesFound = 0;          // DV frame chunks in the input
  int framesDiffering = 0;
  int64_t videoBlocksDiffering = 0;
  int64_t segmentsDiffering = 0;
  int64_t otherBytesDiffering = 0;  // bytes outside video DIF blocks
  std::vector<int64_t> firstOtherOffsets;  // up to 16 offsets of such bytes
  // Per differing frame: frame number and the segments (sequence * 27 + segment) that differ.
  struct FrameDiff {
    int frame = 0;
    std::vector<int> segments;
  };
  std::vector<FrameDiff> frames;

  // True when the output differs from the input only inside video DIF blocks.
  bool onlyVideoDiffers() const { return !sizesDiffer && otherBytesDiffering == 0; }
};

// 0 on success (the report is filled, whatever it says), or an errno value when a file cannot be
// read; `error` then names the file.
int verifyStamped(const std::string& inputPath, const std::string& outputPath, VerifyReport& report,
                  std::string& error);

// Offsets and lengths of the DV frames of a file, in file order. AVI: chunks of the movie lists
// whose data has the size of a 525/60 or 625/50 frame (or more, type I padding).
struct FrameSpan {
  int64_t offset = 0;
  int32_t bytes = 0;  // 120000 or 144000
};
int findDvFrames(const std::string& path, std::vector<FrameSpan>& frames);

}  // namespace kelo::container

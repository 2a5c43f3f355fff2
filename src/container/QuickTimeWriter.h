#pragma once
// Writes DV frames as a QuickTime movie (for samples and tests): `ftyp qt  `, the media data, then
// `moov` with one DV video track and, if asked for, a silent 16-bit PCM track. Frames are written
// one per chunk, each followed by its audio; chunk offsets become 64-bit when the file passes 4 GiB.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dv/SampleWriter.h"

namespace kelo::container {

struct QuickTimeVideo {
  int width = 720;
  int height = 576;                // 576 gives the `dvcp` sample entry, anything else `dvc `
  uint32_t rateNumerator = 25;     // frame rate numerator / denominator: 25/1 or 30000/1001
  uint32_t rateDenominator = 1;
  uint32_t frameBytes = 144000;
  int64_t frameCount = 0;
};

struct QuickTimeAudio {
  // Stereo 48 kHz samples that go with frame n; no audio track without it.
  std::function<int(int64_t frame)> samplesInFrame;
};

// Fills `frame` (frameBytes bytes) with frame n; false stops the writer.
using QuickTimeFrameSource = std::function<bool(int64_t frame, uint8_t* data)>;

// Writes the file; 0 on success, else an errno value with `error` saying what failed. A partly
// written file is removed.
int writeSampleQuickTime(const std::string& path, const QuickTimeVideo& video, const QuickTimeAudio& audio,
                         const QuickTimeFrameSource& frames, std::string& error);

// The sample generator's recording in `profile` (moving test picture, date, time and timecode packs)
// as a MOV with a silent sound track; at most `frameLimit` frames when it is not negative.
int writeSampleQuickTime(const std::string& path, const dv::VideoProfile& profile,
                         const std::vector<dv::SampleScene>& scenes, int64_t frameLimit, std::string& error);

}  // namespace kelo::container

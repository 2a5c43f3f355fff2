#pragma once
// Whole DV frames: every video segment decoded into a picture, a picture encoded into every video
// segment of a frame, and the conversion of a decoded picture to RGB.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dv/VideoProfile.h"

namespace kelo::dv {

// A picture at the profile's native sampling: luma 720 x 480 or 720 x 576, chroma 180 lines wide
// (4:1:1) or 360 x 288 (4:2:0). Planes row after row, no padding.
struct Picture {
  const VideoProfile* profile = nullptr;
  int width = 0;
  int height = 0;
  int chromaWidth = 0;
  int chromaHeight = 0;
  std::vector<uint8_t> y;
  std::vector<uint8_t> cb;
  std::vector<uint8_t> cr;
};

// Sizes the planes for a profile (contents zero).
void allocatePicture(Picture& picture, const VideoProfile& profile);

struct FrameDecodeStats {
  int segments = 0;
  int damagedSegments = 0;    // segments with a bitstream error or a block without end-of-block
  int damagedMacroblocks = 0;
};

// Decodes all video segments of a frame of `profile` (`frame` holds the whole frame, `length`
// bytes, at least the profile's frame size). Returns 0, or -1 when the frame is short (the picture
// is then left alone).
int decodeFrame(const uint8_t* frame, size_t length, const VideoProfile& profile, Picture& picture,
                FrameDecodeStats* stats = nullptr);

// Encodes the picture into every video segment of `frame` (its DIF block IDs in place: the caller
// writes the rest of the frame). With `previous` and the frame it was encoded into, segments whose
// samples did not change are copied from `previousFrame` instead (the result is the same, only
// faster). Returns 0, or -1 when sizes or profiles do not match.
int encodeFrame(const Picture& picture, uint8_t* frame, size_t length, const Picture* previous = nullptr,
                const uint8_t* previousFrame = nullptr);

// RGB, 3 bytes a pixel, 720 pixels a row, with the preview's conversion: Y' = Y, U' = Cb - 128,
// V' = Cr - 128; R = Y' + 1.402 V', G = Y' - (0.34414 U' + 0.71414 V'), B = Y' + 1.772 U', each
// truncated toward zero and clamped to 0-255; every chroma sample covers the pixels it was taken for.
void pictureToRgb(const Picture& picture, std::vector<uint8_t>& rgb);

}  // namespace kelo::dv

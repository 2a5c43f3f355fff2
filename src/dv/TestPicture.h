#pragma once
// The moving test picture of the sample media: colour bars, a box that moves from frame to frame,
// the frame number in large digits, and fields of fine detail and noise so that re-encoding has
// real work to do.
#include "dv/FrameCodec.h"

namespace kelo::dv {

// Draws frame `frameIndex` into `picture` (allocated for its system by allocatePicture).
void drawTestPicture(Picture& picture, int frameIndex);

}  // namespace kelo::dv

#pragma once
// Writes everything of a DV frame except the compressed picture: block IDs, header, subcode with
// timecode and recording date/time packs, VAUX packs, and silent 48 kHz 16-bit audio with its AAUX
// packs. Used to make test and demo media without any outside program; the video encoder fills the
// payload of the video blocks.
#include <cstdint>

namespace kelo::dv {

// What one frame says about itself.
struct FrameStampInfo {
  bool hasDate = true;      // write recording date packs (else those slots stay empty)
  bool hasTime = true;      // write recording time packs
  bool hasTimecode = true;  // write tape timecode packs
  int year = 2005;          // full year; stored as two digits
  int month = 3;            // 1-12
  int day = 7;
  int hours = 23;
  int minutes = 59;
  int seconds = 55;
  int timecodeHours = 0;
  int timecodeMinutes = 0;
  int timecodeSeconds = 0;
  int timecodeFrames = 0;
  // Position of the frame in its stream: 525/60 audio alternates 1600 and 1602 samples a frame in a
  // five-frame cycle that starts with frame 0.
  int frameIndex = 0;
};

struct VideoProfile;

// Audio samples a frame carries at 48 kHz.
int audioSamplesInFrame(const VideoProfile& profile, int frameIndex);

// Writes the whole frame of `profile` into `frame`, which must hold profile.frameBytes. Video
// blocks get their IDs only; bytes 3-79 of each video block are left as they are.
void writeFrameSkeleton(const VideoProfile& profile, const FrameStampInfo& info, uint8_t* frame);

}  // namespace kelo::dv

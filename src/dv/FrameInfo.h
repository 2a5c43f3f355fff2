#pragma once
// The per-file record that carries one frame's metadata (video system, adjusted recording date and
// time, tape timecode, what was found) from the readers to the stamping pass, the renderer and the
// frame pipeline, with the previous frame's values beside it.
#include <cstdint>
#include <ctime>

namespace kelo::dv {

struct VideoProfile;

// Values of DvFrameInfo::timecodeStatus.
inline constexpr uint8_t kTimecodeUndecided = 0;
inline constexpr uint8_t kTimecodeInUse = 32;
inline constexpr uint8_t kTimecodeMissing = 4;

// A broken-down time that is all zero except its day-of-year and daylight-saving members (-1),
// which are never computed here.
inline std::tm blankRecordedTime() {
  std::tm t{};
  t.tm_yday = -1;
  t.tm_isdst = -1;
  return t;
}

struct DvFrameInfo {
  const VideoProfile* profile = nullptr;  // of this frame, from its own header; nullptr: not stampable
  int secondsOfDay = 0;          // of the adjusted recording time
  int previousSecondsOfDay = 0;  // kept by the stamping pass
  int dateKey = 0;               // year*2048 + month*64 + day of the adjusted recording date
  int previousDateKey = 0;       // kept by the stamping pass
  uint8_t hasDate = 0;           // a recording date was found in this frame
  uint8_t dateDrawnBefore = 0;   // kept by the stamping pass
  uint8_t hasTime = 0;           // a recording time was found in this frame
  uint8_t timeDrawnBefore = 0;   // kept by the stamping pass
  // Adjusted recording date and time: seconds, minutes, hours, day of month, month 0-11, years
  // since 1900, weekday 0 = Sunday. A corrupt BCD digit can leave a field out of its range.
  std::tm recorded = blankRecordedTime();
  uint8_t timecodeFound = 0;                    // a tape timecode pack was taken from this frame
  uint8_t timecodeStatus = kTimecodeUndecided;  // decided once per file
  int timecodeHours = 0;                        // adjusted tape timecode
  int timecodeMinutes = 0;
  int timecodeSeconds = 0;
  int timecodeFrames = 0;
  int frameInSecond = 0;  // written by the stamping pass before each frame is stamped
};

}  // namespace kelo::dv

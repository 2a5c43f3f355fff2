#pragma once
// When a code appears on a frame, and how strongly while it fades in and out. One schedule per
// code and file; built at the first frame, asked for every frame whose recorded time is usable.
#include <cstdint>
#include <vector>

#include "engine/MarkerList.h"
#include "settings/StampSettings.h"

namespace kelo::engine {

// Longest fade, in frames: keeps s² × 1000 within 32 bits as the weights expect.
inline constexpr int32_t kMaxFadeFrames = 2072;

// Start and end markers of a file in list order, as the schedule queries them.
struct ScheduleMarkers {
  std::vector<int32_t> starts;  // frame indexes of start markers, list order
  std::vector<int32_t> ends;    // frame indexes of end markers, list order

  // First marker of that kind, in list order, whose frame index is above f; kNoMarker if none.
  int32_t nextStartAfter(int32_t f) const;
  int32_t nextEndAfter(int32_t f) const;

  static ScheduleMarkers from(const MarkerList& list);
};

// The recorded clock of the current and of the previous usable frame (previous values are
// 0xFFFFFFFF before the first usable frame), plus the recorded hour/minute/second of this frame.
struct ScheduleClock {
  uint32_t dateKey = 0;
  uint32_t previousDateKey = 0xFFFFFFFFu;
  uint32_t secondsOfDay = 0;
  uint32_t previousSecondsOfDay = 0xFFFFFFFFu;
  int hour = 0, minute = 0, second = 0;
};

// Weight pairs written while fading: index 0 glyph body, 1-3 outline rings.
struct FadeWeights {
  int32_t newWeight[4] = {1000, 1000, 1000, 1000};
  int32_t oldWeight[4] = {0, 0, 1000, 5000};
};
inline constexpr FadeWeights kFullWeights{};

struct StampSchedule {
  settings::IntervalMode mode = settings::IntervalMode::EveryFrame;
  int32_t sceneFrames = 0;
  int32_t dateChangeFrames = 0;
  int32_t periodLengthFrames = 0;
  int32_t periodFrames = 0;
  int32_t markerFrames = 0;
  int32_t nextMarker = kNoMarker;
  int32_t windowStart = 0;
  int32_t windowEnd = 0;
  int32_t fadeFrames = 0;   // L
  int32_t fadeSquare = 0;   // L²
  int32_t fadeStep = 0;     // s
  int32_t fadeInEnd = 0;
  int32_t fadeOutStart = 0;
  int32_t delayFrames = 0;
  bool newWindow = false;   // this frame opened a window or the recorded time jumped
  int32_t resetHour = 0, resetMinute = 0, resetSecond = 0, resetFrame = 0;
};

// Fills a schedule for one code of one file; fps is 25 (625/50) or 30 (525/60).
StampSchedule buildSchedule(const settings::StampCodeSettings& code, int fps,
                            const ScheduleMarkers& markers);

// 1 if the code is stamped on frame i, else 0. Updates `weights` while fading.
int decideStamp(StampSchedule& schedule, const ScheduleClock& clock, int32_t frameIndex,
                FadeWeights& weights, const settings::StampCodeSettings& code,
                const ScheduleMarkers& markers);

// The recorded time of a frame as the zero reset of interval mode 6 changes it.
struct ZeroResetTime {
  int hour = 0, minute = 0, second = 0;
  int32_t counter = 0;        // frames within the recorded second (timecodeFrames)
  int32_t frameInSecond = 0;  // the frame number the time text shows
};

// Takes the reset values from a re-synchronisation frame (frame-suffix formats only).
void captureZeroReset(StampSchedule& schedule, const ZeroResetTime& time);
// Shows the time elapsed since the start marker: subtracts the reset values field by field with
// borrows. `frameFormat`: the time format shows a frame number (formats 9-12).
void applyZeroReset(const StampSchedule& schedule, int fps, bool frameFormat, ZeroResetTime& time);

}  // namespace kelo::engine

#include "engine/StampSchedule.h"

#include <algorithm>
#include <limits>

namespace kelo::engine {

namespace {

using settings::IntervalMode;

// Seconds from the settings to frames, kept within 32 bits whatever a stored file holds.
int32_t toFrames(int32_t seconds, int fps) {
  const int64_t frames = static_cast<int64_t>(std::max<int32_t>(seconds, 0)) * fps;
  return static_cast<int32_t>(std::min<int64_t>(frames, std::numeric_limits<int32_t>::max()));
}

int32_t clampFrame(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t firstAbove(const std::vector<int32_t>& frames, int32_t f) {
  for (int32_t m : frames)
    if (m > f) return m;
  return kNoMarker;
}

void openWindow(StampSchedule& s, int32_t start, int32_t end) {
  s.windowStart = start;
  s.windowEnd = end;
  s.fadeInEnd = clampFrame(static_cast<int64_t>(start) + s.fadeFrames);
  s.fadeOutStart = clampFrame(static_cast<int64_t>(end) - s.fadeFrames);
  s.fadeStep = 0;
  s.newWindow = true;
}

void openWindowOfLength(StampSchedule& s, int32_t i, int32_t d, int32_t length) {
  const int64_t start = static_cast<int64_t>(i) + d;
  openWindow(s, clampFrame(start), clampFrame(start + length));
}

}  // namespace

int32_t ScheduleMarkers::nextStartAfter(int32_t f) const { return firstAbove(starts, f); }
int32_t ScheduleMarkers::nextEndAfter(int32_t f) const { return firstAbove(ends, f); }

ScheduleMarkers ScheduleMarkers::from(const MarkerList& list) {
  ScheduleMarkers m;
  for (const Marker& marker : list.markers()) {
    if (marker.kind == kStartMarker) m.starts.push_back(marker.frame);
    if (marker.kind == kEndMarker) m.ends.push_back(marker.frame);
  }
  return m;
}

StampSchedule buildSchedule(const settings::StampCodeSettings& code, int fps,
                            const ScheduleMarkers& markers) {
  StampSchedule s;
  s.mode = code.intervalMode;
  s.sceneFrames = toFrames(code.sceneSeconds, fps);
  s.dateChangeFrames = toFrames(code.dateChangeSeconds, fps);
  s.periodLengthFrames = toFrames(code.periodLengthSeconds, fps);
  s.periodFrames = toFrames(code.periodSeconds, fps);
  s.markerFrames = toFrames(code.markerSeconds, fps);
  s.nextMarker = markers.nextStartAfter(-1);
  s.fadeFrames = std::min(toFrames(code.fadeSeconds, fps), kMaxFadeFrames);
  s.fadeSquare = s.fadeFrames * s.fadeFrames;
  s.delayFrames = toFrames(code.delaySeconds, fps);
  return s;
}

int decideStamp(StampSchedule& s, const ScheduleClock& c, int32_t i, FadeWeights& weights,
                const settings::StampCodeSettings& code, const ScheduleMarkers& markers) {
  // Unsigned 32-bit arithmetic throughout: the "previous" values are all ones before the first
  // usable frame, which makes that frame a jump and a scene change.
  const uint32_t day = c.dateKey, prevDay = c.previousDateKey;
  const uint32_t sec = c.secondsOfDay, prevSec = c.previousSecondsOfDay;

  const bool continuous = (day == prevDay && (sec == prevSec || sec == prevSec + 1u)) ||
                          (day == prevDay + 1u && sec + 86400u <= prevSec + 1u);
  s.newWindow = !continuous;

  if (s.mode == IntervalMode::EveryFrame) return 1;

  const int32_t d = code.delayOn ? s.delayFrames : 0;
  switch (s.mode) {
    case IntervalMode::OnSceneChange: {
      const uint32_t gap = static_cast<uint32_t>(code.sceneGapSeconds);
      const bool scene = day < prevDay || day > prevDay + 1u ||
                         (day == prevDay + 1u && sec + 86400u > gap + prevSec + 1u) ||
                         (day == prevDay && (sec < prevSec || sec > gap + prevSec + 1u));
      if (scene) openWindowOfLength(s, i, d, s.sceneFrames);
      break;
    }
    case IntervalMode::OnDateChange:
      if (day != prevDay) openWindowOfLength(s, i, d, s.dateChangeFrames);
      break;
    case IntervalMode::Periodic:
      // A period of 0 (only from a damaged file) opens one window at the first frame.
      if (s.periodFrames > 0 ? static_cast<uint32_t>(i) % static_cast<uint32_t>(s.periodFrames) == 0
                             : i == 0)
        openWindowOfLength(s, i, d, s.periodLengthFrames);
      break;
    // A start marker is reached at the first frame at or after it that the schedule sees: the
    // marker's own frame may lack a usable recorded time and never come here.
    case IntervalMode::AtStartMarkers:
      if (i >= s.nextMarker) {
        openWindowOfLength(s, i, d, s.markerFrames);
        s.nextMarker = markers.nextStartAfter(i);
      }
      break;
    case IntervalMode::BetweenMarkers:
      // The end marker that closes a window is the first one after its start marker; a window
      // whose frames all went by unseen is passed over for the next one.
      while (i >= s.nextMarker) {
        const int32_t end = markers.nextEndAfter(s.nextMarker);
        // Without an end marker the window runs to the end of the file.
        const int32_t windowEnd = end == kNoMarker ? kNoMarker : clampFrame(static_cast<int64_t>(end) + d);
        openWindow(s, clampFrame(static_cast<int64_t>(i) + d), windowEnd);
        s.nextMarker = markers.nextStartAfter(s.windowEnd);
        if (end > i) break;
      }
      break;
    case IntervalMode::BetweenMarkersZeroTime:
      while (i >= s.nextMarker) {
        s.windowEnd = markers.nextEndAfter(s.nextMarker);
        s.nextMarker = markers.nextStartAfter(s.windowEnd);
        s.resetHour = c.hour;
        s.resetMinute = c.minute;
        s.resetSecond = c.second;
        s.newWindow = true;
        if (s.windowEnd > i) break;
      }
      break;
    case IntervalMode::EveryFrame:
      break;
  }

  if (i < s.windowStart || i >= s.windowEnd) {
    s.fadeStep = 0;
    return 0;
  }
  if (!code.fadeOn || s.mode == IntervalMode::BetweenMarkersZeroTime) return 1;

  if (i < s.fadeInEnd)
    ++s.fadeStep;
  else if (i > s.fadeOutStart)
    --s.fadeStep;

  const int32_t L = s.fadeFrames;
  const int64_t step = std::max(s.fadeStep, 0);
  for (int k = 0; k < 4; ++k) {
    const int32_t full = kFullWeights.newWeight[k], back = kFullWeights.oldWeight[k];
    if (s.fadeStep == L) {
      weights.newWeight[k] = full;
      weights.oldWeight[k] = back;
    } else if (back != 0) {
      weights.newWeight[k] = L > 0 ? static_cast<int32_t>(step * step * full / s.fadeSquare) : full;
      weights.oldWeight[k] = back;
    } else {
      weights.newWeight[k] = static_cast<int32_t>(step * step);
      weights.oldWeight[k] = static_cast<int32_t>(s.fadeSquare - step * step);
    }
  }
  return 1;
}

void captureZeroReset(StampSchedule& s, const ZeroResetTime& t) {
  // The start marker's frame sets hour, minute and second; its re-synchronised frame counter
  // completes them, so the first frame of the window shows 0:00:00 frame 0.
  if (t.hour != s.resetHour) return;
  s.resetMinute = t.minute;
  s.resetSecond = t.second;
  s.resetFrame = t.counter;
}

void applyZeroReset(const StampSchedule& s, int fps, bool frameFormat, ZeroResetTime& t) {
  if (frameFormat) {
    if (static_cast<uint32_t>(t.counter) >= static_cast<uint32_t>(s.resetFrame)) {
      t.frameInSecond = t.counter - s.resetFrame;
    } else {
      t.frameInSecond = fps - s.resetFrame + t.counter;
      t.second -= 1;
    }
  }
  if (t.second >= s.resetSecond) {
    t.second -= s.resetSecond;
  } else {
    t.second += 60 - s.resetSecond;
    t.minute -= 1;
  }
  if (t.minute >= s.resetMinute) {
    t.minute -= s.resetMinute;
  } else {
    t.minute += 60 - s.resetMinute;
    t.hour -= 1;
  }
  if (t.hour >= s.resetHour)
    t.hour -= s.resetHour;
  else
    t.hour += 24 - s.resetHour;
}

}  // namespace kelo::engine

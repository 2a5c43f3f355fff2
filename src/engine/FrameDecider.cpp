#include "engine/FrameDecider.h"

#include <utility>

#include "dv/VideoProfile.h"
#include "engine/RunLog.h"
#include "render/StampText.h"
#include "render/TimeFormatTraits.h"

namespace kelo::engine {

namespace {

void copyWeights(const FadeWeights& from, render::OverlayWeights& to) {
  for (int k = 0; k < 4; ++k) {
    to.newWeight[k] = from.newWeight[k];
    to.oldWeight[k] = from.oldWeight[k];
  }
}

// Changes `recorded` and `frameInSecond` of the frame to the time elapsed since the start marker.
void zeroReset(StampSchedule& schedule, dv::DvFrameInfo& info, int fps, bool frameFormat, bool capture) {
  ZeroResetTime t{info.recorded.tm_hour, info.recorded.tm_min, info.recorded.tm_sec, info.timecodeFrames,
                  info.frameInSecond};
  if (capture) captureZeroReset(schedule, t);
  applyZeroReset(schedule, fps, frameFormat, t);
  info.recorded.tm_hour = t.hour;
  info.recorded.tm_min = t.minute;
  info.recorded.tm_sec = t.second;
  info.frameInSecond = t.frameInSecond;
}

}  // namespace

void showTimecodeAsTime(dv::DvFrameInfo& info, const settings::StampSettings& s, int frameIndex) {
  if (s.tapeTimecodeAsTcb && info.timecodeStatus == dv::kTimecodeInUse) {
    info.recorded.tm_hour = info.timecodeHours;
    info.recorded.tm_min = info.timecodeMinutes;
    info.recorded.tm_sec = info.timecodeSeconds;
  } else {
    const dv::Timecode t = dv::frameNumberToTimecode(render::textProfileOf(info), frameIndex);
    info.recorded.tm_hour = t.hours;
    info.recorded.tm_min = t.minutes;
    info.recorded.tm_sec = t.seconds;
    info.timecodeFrames = t.frames;
  }
  info.hasTime = 1;
}

ScheduleClock scheduleClock(const dv::DvFrameInfo& info) {
  ScheduleClock c;
  c.dateKey = static_cast<uint32_t>(info.dateKey);
  c.previousDateKey = static_cast<uint32_t>(info.previousDateKey);
  c.secondsOfDay = static_cast<uint32_t>(info.secondsOfDay);
  c.previousSecondsOfDay = static_cast<uint32_t>(info.previousSecondsOfDay);
  c.hour = info.recorded.tm_hour;
  c.minute = info.recorded.tm_min;
  c.second = info.recorded.tm_sec;
  return c;
}

FrameDecider::FrameDecider(const settings::StampSettings& settings, const MarkerList& markers, int lastFrameIndex,
                           RunLog* log, FramesToNextSecond framesToNextSecond)
    : s_(settings),
      log_(log),
      framesToNextSecond_(std::move(framesToNextSecond)),
      readOptions_(render::dateTimeReadOptions(settings)),
      timecodeFormat_(render::timeFormatTraits(settings.timeCode.formatIndex).tapeTimecode),
      frameFormat_(render::timeFormatTraits(settings.timeCode.formatIndex).perFrame),
      zeroTime_(settings.timeCode.intervalMode == settings::IntervalMode::BetweenMarkersZeroTime),
      markers_(ScheduleMarkers::from(markers)),
      lastFrameIndex_(lastFrameIndex) {}

FrameDecision FrameDecider::decide(dv::DvFrameInfo& info, const uint8_t* frame, size_t frameLength, int i,
                                   pipeline::CodeWeights& weights) {
  const settings::StampCodeSettings& dc = s_.dateCode;
  const settings::StampCodeSettings& tc = s_.timeCode;
  // The schedules count time at the rate of the first frame (as the reader found it); each frame
  // is decoded by the layout its own header names.
  if (i == 0) {
    fps_ = render::textProfileOf(info).framesPerSecond;
    dateSchedule_ = buildSchedule(dc, fps_, markers_);
    timeSchedule_ = buildSchedule(tc, fps_, markers_);
    dateFade_ = timeFade_ = FadeWeights{};
  }
  info.profile = dv::profileForFrame(frame, frameLength);
  if (!info.profile) {
    ++unstampable;
    return FrameDecision::Skipped;
  }
  const int status = dv::readRecordedDateTime(info, readOptions_, frame, frameLength);
  if (!timecodeFormat_ && (status & dv::kStatusDateUnset)) {
    ++invalidDate;
    return FrameDecision::Skipped;
  }
  if (!timecodeFormat_ && (status & dv::kStatusTimeUnset)) {
    ++invalidTime;
    return FrameDecision::Skipped;
  }
  if (!timecodeFormat_ && (status & dv::kStatusNoPacks)) {
    ++noDateTime;
    return FrameDecision::Skipped;
  }
  const bool complete = (status & (dv::kStatusDateUnset | dv::kStatusTimeUnset | dv::kStatusNoPacks)) == 0;
  if (complete) {
    if (first.tm_year == 0) first = info.recorded;
    last = info.recorded;
    if (log_ && info.dateKey != info.previousDateKey) {
      const dv::Timecode t = dv::frameNumberToTimecode(*info.profile, i);
      log_->add(formatMessage("\t日期: %d-%d-%d 帧数: %d (%d%%) [%02d:%02d:%02d:%02d]", info.recorded.tm_year + 1900,
                              info.recorded.tm_mon + 1, info.recorded.tm_mday, i,
                              lastFrameIndex_ > 0 ? static_cast<int>(static_cast<int64_t>(i) * 100 / lastFrameIndex_) : 100,
                              t.hours, t.minutes, t.seconds, t.frames));
    }
    if (!(s_.tapeTimecodeAsTcb && info.timecodeStatus == dv::kTimecodeInUse))
      info.timecodeFrames = info.secondsOfDay == info.previousSecondsOfDay ? info.timecodeFrames + 1 : 0;
  }
  if (timecodeFormat_) showTimecodeAsTime(info, s_, i);

  const ScheduleClock clock = scheduleClock(info);
  const int dateOn = dc.enabled ? decideStamp(dateSchedule_, clock, i, dateFade_, dc, markers_) : 0;
  const int timeOn = tc.enabled ? decideStamp(timeSchedule_, clock, i, timeFade_, tc, markers_) : 0;
  info.hasDate = info.hasDate && dateOn;
  info.hasTime = info.hasTime && timeOn;
  if (!info.hasDate && !info.hasTime) return FrameDecision::Unchanged;

  const bool resync = (info.hasTime && (!info.timeDrawnBefore || timeSchedule_.newWindow)) ||
                      (info.hasDate && (!info.dateDrawnBefore || dateSchedule_.newWindow));
  if (resync && frameFormat_) {
    const int c = framesToNextSecond_(info, readOptions_);
    info.timecodeFrames = c < fps_ ? fps_ - c : 0;
    if (zeroTime_)
      zeroReset(timeSchedule_, info, fps_, frameFormat_, true);
    else
      info.frameInSecond = info.timecodeFrames;
  } else if (zeroTime_) {
    zeroReset(timeSchedule_, info, fps_, frameFormat_, false);
  } else {
    info.frameInSecond = info.timecodeFrames;
  }
  copyWeights(dateFade_, weights.date);
  copyWeights(timeFade_, weights.time);
  ++stamped;
  return FrameDecision::Stamp;
}

void FrameDecider::remember(dv::DvFrameInfo& info) {
  info.dateDrawnBefore = info.hasDate;
  info.timeDrawnBefore = info.hasTime;
  info.previousDateKey = info.dateKey;
  info.previousSecondsOfDay = info.secondsOfDay;
}

}  // namespace kelo::engine

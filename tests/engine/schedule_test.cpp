// The stamp schedule over synthetic recordings: which frames get a code, and with which weights.
#include <gtest/gtest.h>

#include <vector>

#include "engine/StampSchedule.h"

namespace kelo::engine {
namespace {

using settings::IntervalMode;
using settings::StampCodeSettings;

uint32_t dateKey(int y, int m, int d) { return static_cast<uint32_t>(y * 2048 + m * 64 + d); }

// One usable frame's recorded date and time.
struct Recorded {
  uint32_t day;
  uint32_t second;
  bool usable = true;  // false: the pass skips the frame (no usable date/time) and never asks
};

// Runs a schedule over frames in order as the per-file pass does (previous values start at all
// ones and follow each usable frame); returns the decision per frame.
struct ScheduleRun {
  StampSchedule schedule;
  FadeWeights weights;
  std::vector<int> stamped;
  std::vector<bool> newWindow;
  std::vector<int32_t> fadeSteps;
};

ScheduleRun runSchedule(const StampCodeSettings& code, int fps, const std::vector<Recorded>& frames,
                const ScheduleMarkers& markers = {}) {
  ScheduleRun r;
  r.schedule = buildSchedule(code, fps, markers);
  ScheduleClock clock;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (!frames[i].usable) {
      r.stamped.push_back(0);
      r.newWindow.push_back(false);
      r.fadeSteps.push_back(0);
      continue;
    }
    clock.dateKey = frames[i].day;
    clock.secondsOfDay = frames[i].second;
    clock.hour = static_cast<int>(frames[i].second / 3600);
    clock.minute = static_cast<int>(frames[i].second / 60 % 60);
    clock.second = static_cast<int>(frames[i].second % 60);
    r.stamped.push_back(decideStamp(r.schedule, clock, static_cast<int32_t>(i), r.weights, code, markers));
    r.newWindow.push_back(r.schedule.newWindow);
    r.fadeSteps.push_back(r.schedule.fadeStep);
    clock.previousDateKey = clock.dateKey;
    clock.previousSecondsOfDay = clock.secondsOfDay;
  }
  return r;
}

// A continuous recording of n frames starting at a day and second.
std::vector<Recorded> recording(uint32_t day, uint32_t second, int n, int fps) {
  std::vector<Recorded> v;
  for (int i = 0; i < n; ++i) v.push_back({day, second + static_cast<uint32_t>(i / fps)});
  return v;
}

StampCodeSettings codeWith(IntervalMode mode) {
  StampCodeSettings c = settings::StampSettings().dateCode;
  c.intervalMode = mode;
  c.fadeOn = false;
  c.delayOn = false;
  return c;
}

std::vector<int> stampedFrames(const ScheduleRun& r) {
  std::vector<int> v;
  for (size_t i = 0; i < r.stamped.size(); ++i)
    if (r.stamped[i]) v.push_back(static_cast<int>(i));
  return v;
}

TEST(StampSchedule, EveryFrameStampsAllAtFullWeightsEvenWithFadeAndDelay) {
  StampCodeSettings c = codeWith(IntervalMode::EveryFrame);
  c.fadeOn = c.delayOn = true;
  ScheduleRun r = runSchedule(c, 25, recording(dateKey(2005, 3, 7), 100, 60, 25));
  EXPECT_EQ(stampedFrames(r).size(), 60u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(r.weights.newWeight[k], kFullWeights.newWeight[k]);
    EXPECT_EQ(r.weights.oldWeight[k], kFullWeights.oldWeight[k]);
  }
}

TEST(StampSchedule, FirstUsableFrameOpensSceneAndDateWindows) {
  for (IntervalMode mode : {IntervalMode::OnSceneChange, IntervalMode::OnDateChange}) {
    StampCodeSettings c = codeWith(mode);  // 3 s
    ScheduleRun r = runSchedule(c, 25, recording(dateKey(2005, 3, 7), 100, 200, 25));
    std::vector<int> s = stampedFrames(r);
    ASSERT_EQ(s.size(), 75u);
    EXPECT_EQ(s.front(), 0);
    EXPECT_EQ(s.back(), 74);
  }
}

TEST(StampSchedule, SceneGapDecidesWhichJumpsAreScenes) {
  StampCodeSettings c = codeWith(IntervalMode::OnSceneChange);
  c.sceneSeconds = 1;
  c.sceneGapSeconds = 2;
  const uint32_t d = dateKey(2005, 3, 7);
  const uint32_t t = 10 * 3600;
  // 10:00:05 for 30 frames, then 10:00:08 (gap of 3 s: not more than gap + 1), then 10:00:09 after
  // the window has closed, then a step back.
  std::vector<Recorded> frames;
  for (int i = 0; i < 30; ++i) frames.push_back({d, t + 5});
  for (int i = 0; i < 30; ++i) frames.push_back({d, t + 8});
  for (int i = 0; i < 30; ++i) frames.push_back({d, t + 12});
  for (int i = 0; i < 30; ++i) frames.push_back({d, t + 11});
  ScheduleRun r = runSchedule(c, 25, frames);
  EXPECT_EQ(r.stamped[30], 0);   // 5 -> 8 s is within the gap
  EXPECT_TRUE(r.newWindow[30]);  // but still a jump
  std::vector<int> s = stampedFrames(r);
  // Windows open at 0 and at 60 (8 -> 12 is 4 s) and at 90 (a step back), 25 frames each.
  std::vector<int> expected;
  for (int start : {0, 60, 90})
    for (int i = start; i < start + 25; ++i) expected.push_back(i);
  EXPECT_EQ(s, expected);
}

TEST(StampSchedule, MidnightIsContinuousButADateChange) {
  const int fps = 25;
  std::vector<Recorded> frames = recording(dateKey(2005, 3, 7), 86398, 50, fps);
  std::vector<Recorded> next = recording(dateKey(2005, 3, 8), 0, 100, fps);
  frames.insert(frames.end(), next.begin(), next.end());

  StampCodeSettings scene = codeWith(IntervalMode::OnSceneChange);
  scene.sceneSeconds = 1;
  ScheduleRun r1 = runSchedule(scene, fps, frames);
  EXPECT_FALSE(r1.newWindow[50]);
  EXPECT_EQ(r1.stamped[50], 0);

  StampCodeSettings date = codeWith(IntervalMode::OnDateChange);
  date.dateChangeSeconds = 1;
  ScheduleRun r2 = runSchedule(date, fps, frames);
  EXPECT_EQ(r2.stamped[49], 0);
  EXPECT_EQ(r2.stamped[50], 1);
  EXPECT_EQ(r2.stamped[74], 1);
  EXPECT_EQ(r2.stamped[75], 0);
}

TEST(StampSchedule, EndOfMonthIsAJumpAndASceneChange) {
  std::vector<Recorded> frames = recording(dateKey(2005, 1, 31), 86399, 25, 25);
  std::vector<Recorded> next = recording(dateKey(2005, 2, 1), 0, 50, 25);
  frames.insert(frames.end(), next.begin(), next.end());
  StampCodeSettings c = codeWith(IntervalMode::OnSceneChange);
  c.sceneSeconds = 1;
  ScheduleRun r = runSchedule(c, 25, frames);
  EXPECT_TRUE(r.newWindow[25]);
  EXPECT_EQ(r.stamped[49], 1);  // a second window of 25 frames from frame 25
  EXPECT_EQ(r.stamped[50], 0);
}

TEST(StampSchedule, PeriodicWindowsStartAtMultiplesOfThePeriod) {
  StampCodeSettings c = codeWith(IntervalMode::Periodic);
  c.periodSeconds = 10;
  c.periodLengthSeconds = 1;
  ScheduleRun r = runSchedule(c, 25, recording(dateKey(2005, 3, 7), 0, 760, 25));
  std::vector<int> expected;
  for (int start : {0, 250, 500, 750})
    for (int i = start; i < start + 25 && i < 760; ++i) expected.push_back(i);
  EXPECT_EQ(stampedFrames(r), expected);
}

TEST(StampSchedule, StartMarkersRestartTheWindow) {
  StampCodeSettings c = codeWith(IntervalMode::AtStartMarkers);
  c.markerSeconds = 5;
  ScheduleMarkers m;
  m.starts = {50, 125};  // 3 s apart
  ScheduleRun r = runSchedule(c, 25, recording(dateKey(2005, 3, 7), 0, 400, 25), m);
  std::vector<int> s = stampedFrames(r);
  ASSERT_FALSE(s.empty());
  EXPECT_EQ(s.front(), 50);
  EXPECT_EQ(s.back(), 125 + 125 - 1);
  EXPECT_EQ(s.size(), static_cast<size_t>(125 + 125 - 50));
}

TEST(StampSchedule, BetweenMarkersPassesOverInnerStartMarkers) {
  StampCodeSettings c = codeWith(IntervalMode::BetweenMarkers);
  ScheduleMarkers m;
  m.starts = {100, 150};
  m.ends = {200};
  ScheduleRun r = runSchedule(c, 25, recording(dateKey(2005, 3, 7), 0, 300, 25), m);
  std::vector<int> s = stampedFrames(r);
  ASSERT_EQ(s.size(), 100u);
  EXPECT_EQ(s.front(), 100);
  EXPECT_EQ(s.back(), 199);
}

TEST(StampSchedule, BetweenMarkersWithoutEndRunsToTheEndEvenWithDelay) {
  StampCodeSettings c = codeWith(IntervalMode::BetweenMarkers);
  c.delayOn = true;
  c.delaySeconds = 1;
  ScheduleMarkers m;
  m.starts = {10};
  ScheduleRun r = runSchedule(c, 25, recording(dateKey(2005, 3, 7), 0, 100, 25), m);
  std::vector<int> s = stampedFrames(r);
  ASSERT_FALSE(s.empty());
  EXPECT_EQ(s.front(), 35);
  EXPECT_EQ(s.back(), 99);
}

// A start marker on a frame without a usable date/time is reached at the next usable frame, in
// every marker mode; a window whose frames were all unusable does not swallow the next one.
TEST(StampSchedule, MarkersOnUnusableFramesAreReachedAtTheNextUsableFrame) {
  struct Case {
    IntervalMode mode;
    std::vector<int32_t> starts, ends;
    std::pair<int, int> unusable;  // frames [first, last) without date/time
    std::vector<std::pair<int, int>> windows;  // stamped frames [first, last)
  };
  const Case cases[] = {
      {IntervalMode::AtStartMarkers, {10, 60}, {}, {8, 14}, {{14, 89}, {89, 135}}},
      {IntervalMode::BetweenMarkers, {10}, {40}, {10, 12}, {{12, 40}}},
      {IntervalMode::BetweenMarkers, {10, 16}, {15, 50}, {10, 18}, {{18, 50}}},
      {IntervalMode::BetweenMarkersZeroTime, {10, 60}, {30, 80}, {5, 11}, {{11, 30}, {60, 80}}},
      {IntervalMode::BetweenMarkersZeroTime, {10, 16}, {15, 50}, {10, 18}, {{18, 50}}},
  };
  for (const Case& k : cases) {
    StampCodeSettings c = codeWith(k.mode);
    c.markerSeconds = 3;
    ScheduleMarkers m;
    m.starts = k.starts;
    m.ends = k.ends;
    std::vector<Recorded> frames = recording(dateKey(2005, 3, 7), 0, 150, 25);
    for (int i = k.unusable.first; i < k.unusable.second; ++i) frames[static_cast<size_t>(i)].usable = false;
    std::vector<int> expected;
    for (auto [from, to] : k.windows)
      for (int i = from; i < to; ++i)
        if (expected.empty() || expected.back() < i) expected.push_back(i);
    EXPECT_EQ(stampedFrames(runSchedule(c, 25, frames, m)), expected) << static_cast<int>(k.mode);
  }
}

TEST(StampSchedule, DelayShiftsTheWindow) {
  StampCodeSettings c = codeWith(IntervalMode::Periodic);
  c.periodSeconds = 10;
  c.periodLengthSeconds = 1;
  c.delayOn = true;
  c.delaySeconds = 2;
  ScheduleRun r = runSchedule(c, 30, recording(dateKey(2005, 3, 7), 0, 450, 30));
  std::vector<int> s = stampedFrames(r);
  // Windows triggered at 0 and 300 cover 60..89 and 360..389.
  ASSERT_EQ(s.size(), 60u);
  EXPECT_EQ(s[0], 60);
  EXPECT_EQ(s[29], 89);
  EXPECT_EQ(s[30], 360);
}

TEST(StampSchedule, FadeInHoldAndFadeOut) {
  StampCodeSettings c = codeWith(IntervalMode::OnSceneChange);
  c.sceneSeconds = 3;
  c.fadeOn = true;
  c.fadeSeconds = 1;
  StampSchedule s = buildSchedule(c, 25, {});
  FadeWeights w;
  ScheduleClock clock;
  clock.dateKey = dateKey(2005, 3, 7);
  std::vector<int32_t> steps;
  for (int32_t i = 0; i < 80; ++i) {
    clock.secondsOfDay = 100 + static_cast<uint32_t>(i / 25);
    ASSERT_EQ(decideStamp(s, clock, i, w, c, {}), i < 75 ? 1 : 0);
    steps.push_back(s.fadeStep);
    if (i == 0) {
      EXPECT_EQ(w.newWeight[0], 1);
      EXPECT_EQ(w.oldWeight[0], 625 - 1);
      EXPECT_EQ(w.newWeight[3], 1000 / 625);
      EXPECT_EQ(w.oldWeight[3], 5000);
    }
    if (i == 24) {
      for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(w.newWeight[k], kFullWeights.newWeight[k]);
        EXPECT_EQ(w.oldWeight[k], kFullWeights.oldWeight[k]);
      }
    }
    clock.previousDateKey = clock.dateKey;
    clock.previousSecondsOfDay = clock.secondsOfDay;
  }
  EXPECT_EQ(steps[0], 1);
  EXPECT_EQ(steps[24], 25);
  EXPECT_EQ(steps[50], 25);
  EXPECT_EQ(steps[51], 24);
  EXPECT_EQ(steps[74], 1);
  EXPECT_EQ(steps[75], 0);
}

TEST(StampSchedule, ZeroTimeWindowRunsFromStartToBeforeEndMarker) {
  StampCodeSettings c = codeWith(IntervalMode::BetweenMarkersZeroTime);
  c.fadeOn = true;  // ignored in this mode
  ScheduleMarkers m;
  m.starts = {20, 60};
  m.ends = {40, 80};
  ScheduleRun r = runSchedule(c, 25, recording(dateKey(2005, 3, 7), 3600 * 10 + 61, 100, 25), m);
  std::vector<int> expected;
  for (int i = 20; i < 40; ++i) expected.push_back(i);
  for (int i = 60; i < 80; ++i) expected.push_back(i);
  EXPECT_EQ(stampedFrames(r), expected);
  EXPECT_EQ(r.schedule.resetHour, 10);
  EXPECT_EQ(r.schedule.resetMinute, 1);
  EXPECT_EQ(r.schedule.resetSecond, 3);  // frame 60 is 2 s 10 frames later: 10:01:03
}

TEST(StampSchedule, ZeroResetShowsElapsedTimeWithBorrows) {
  StampSchedule s;
  s.resetHour = 23;
  s.resetMinute = 59;
  s.resetSecond = 58;
  // Start frame: counter 20 at 23:59:58 re-synchronised.
  ZeroResetTime start{23, 59, 58, 20, 0};
  captureZeroReset(s, start);
  EXPECT_EQ(s.resetFrame, 20);
  ZeroResetTime t = start;
  applyZeroReset(s, 25, true, t);
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.second, 0);
  EXPECT_EQ(t.frameInSecond, 0);

  // Past midnight, counter below the reset frame: 00:00:01 counter 5 is 2 s 10 frames later.
  ZeroResetTime later{0, 0, 1, 5, 0};
  applyZeroReset(s, 25, true, later);
  EXPECT_EQ(later.frameInSecond, 10);
  EXPECT_EQ(later.second, 2);
  EXPECT_EQ(later.minute, 0);
  EXPECT_EQ(later.hour, 0);

  // Without a frame suffix the counter is left alone.
  ZeroResetTime plain{1, 2, 3, 7, 99};
  applyZeroReset(s, 25, false, plain);
  EXPECT_EQ(plain.frameInSecond, 99);
  EXPECT_EQ(plain.hour, 1);
  EXPECT_EQ(plain.minute, 2);
  EXPECT_EQ(plain.second, 5);
}

TEST(StampSchedule, ZeroResetCaptureAtMinuteZeroStillZeroesTheFrames) {
  StampSchedule s;
  s.resetHour = 10;
  s.resetMinute = 0;
  s.resetSecond = 0;
  ZeroResetTime t{10, 0, 0, 13, 0};
  captureZeroReset(s, t);
  applyZeroReset(s, 25, true, t);
  EXPECT_EQ(t.frameInSecond, 0);
  EXPECT_EQ(t.hour, 0);
}

}  // namespace
}  // namespace kelo::engine

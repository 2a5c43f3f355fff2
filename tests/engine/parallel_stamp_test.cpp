// The pass with stamping spread over several threads must be indistinguishable from the
// one-thread pass: the same output bytes, the same log lines and progress steps in the same
// order, and the same outcome on a stop, a full disk and a damaged tail.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "container/ByteOrder.h"
#include "container/DvAviReader.h"
#include "engine/MarkerList.h"
#include "container/SampleAvi.h"
#include "engine/StampJob.h"
#include "container/StampedFileWriter.h"
#include "container/Verify.h"
#include "platform/FileSystem.h"
#include "settings/StampSettings.h"
#include "support/FillingLayer.h"
#include "support/TestUtil.h"

namespace kelo::engine {
using namespace container;
namespace {

using settings::IntervalMode;
using test::TempDir;

// Everything a pass tells its caller, in order.
struct Transcript final : RunObserver, Prompter {
  std::mutex mutex;
  std::vector<std::string> events;
  void logLine(const std::string& line) override { add("log " + line); }
  void progress(int perMille, const std::string& text) override { add("progress " + std::to_string(perMille) + " " + text); }
  void selectListItem(int) override {}
  void setRunning(bool) override {}
  void message(MessageKind kind, const std::string& text) override { add(std::string("box ") + captionOf(kind) + text); }
  bool askYesNo(MessageKind, const std::string&) override { return false; }
  void add(std::string e) {
    std::lock_guard lock(mutex);
    events.push_back(std::move(e));
  }
  bool logged(const std::string& line) {
    std::lock_guard lock(mutex);
    for (const auto& e : events)
      if (e == "log " + line) return true;
    return false;
  }
};

// Stops the run once the observer has seen `after` progress steps.
struct StoppingTranscript final : RunObserver, Prompter {
  Transcript inner;
  RunStateCell* state = nullptr;
  int after = 0;
  int seen = 0;
  void logLine(const std::string& line) override { inner.logLine(line); }
  void progress(int perMille, const std::string& text) override {
    inner.progress(perMille, text);
    if (++seen == after) state->store(kRunStopRequested);
  }
  void selectListItem(int) override {}
  void setRunning(bool) override {}
  void message(MessageKind kind, const std::string& text) override { inner.message(kind, text); }
  bool askYesNo(MessageKind, const std::string&) override { return false; }
};

using test::FillingLayer;

struct PassRun {
  JobOutcome result = JobOutcome::Failed;
  std::vector<std::string> events;
  std::vector<uint8_t> bytes;  // empty when no output is left
  bool exists = false;
};

PassRun stamp(const settings::StampSettings& s, const std::string& in, const std::string& out, int workers,
          WriteLayerFactory layers = {}) {
  Transcript t;
  RunStateCell state{kRunRunning};
  JobContext c{s, t, t, state, std::move(layers)};
  c.workers = workers;
  // A pass never stamps over an output: each run starts without the previous one's.
  platform::removeFile(out);
  std::string output = out;
  PassRun r;
  r.result = runStampJob(c, in, output);
  r.events = t.events;
  r.exists = platform::fileExists(out);
  if (r.exists) r.bytes = test::readFile(out);
  // The path is part of a line or two; make runs into different files comparable.
  for (auto& e : r.events) {
    for (size_t at; (at = e.find(out)) != std::string::npos;) e.replace(at, out.size(), "OUT");
  }
  return r;
}

// A sample cut after `frames` frames (-1: whole scenes); enough for a few runs of frames per worker.
std::string sample(const TempDir& dir, const std::string& name, int system, int type, bool openDml, int seconds,
                   std::vector<SampleScene> scenes = {}, int64_t frames = 20) {
  SampleOptions o;
  o.frameLimit = frames;
  o.profile = &dv::profileOf(system == 2 ? dv::VideoSystem::k625_50 : dv::VideoSystem::k525_60);
  o.type = type;
  o.openDml = openDml;
  if (scenes.empty()) {
    SampleScene scene;
    scene.hours = 23, scene.minutes = 59, scene.seconds = 59;
    scene.durationSeconds = seconds;
    scenes = {scene};
  }
  o.scenes = scenes;
  const std::string p = dir.file(name);
  std::string error;
  EXPECT_EQ(writeSampleAvi(p, o, error), 0) << error;
  return p;
}

PassRun expectSameAsOneThread(const settings::StampSettings& s, const std::string& in, const TempDir& dir,
                           const std::string& what, std::initializer_list<int> workerCounts = {3}) {
  const PassRun one = stamp(s, in, dir.file("one.avi"), 1);
  EXPECT_EQ(one.result, JobOutcome::Stamped) << what;
  VerifyReport report;
  std::string error;
  EXPECT_EQ(verifyStamped(in, dir.file("one.avi"), report, error), 0) << what << error;
  EXPECT_TRUE(report.onlyVideoDiffers()) << what;
  EXPECT_GT(report.framesDiffering, 0) << what;
  for (int workers : workerCounts) {
    const PassRun many = stamp(s, in, dir.file("many.avi"), workers);
    EXPECT_EQ(many.result, one.result) << what << " workers " << workers;
    EXPECT_TRUE(many.bytes == one.bytes) << what << " workers " << workers;
    EXPECT_EQ(many.events, one.events) << what << " workers " << workers;
  }
  return one;
}

TEST(ParallelStamp, SameBytesLinesAndProgressAsOneThreadAcrossSystemsTypesAndSchedules) {
  TempDir dir;
  const std::string palII = sample(dir, "pal2.avi", 2, 2, false, 2);
  const std::string palIILong = sample(dir, "pal2long.avi", 2, 2, false, 2, {}, -1);
  const std::string ntscI = sample(dir, "ntsc1.avi", 1, 1, false, 1);
  const std::string palIOdml = sample(dir, "pal1odml.avi", 2, 1, true, 1);
  const std::string ntscIIOdml = sample(dir, "ntsc2odml.avi", 1, 2, true, 1);

  settings::StampSettings every;  // both codes on every frame
  expectSameAsOneThread(every, palII, dir, "pal type 2, every frame", {2, 3});
  expectSameAsOneThread(every, ntscI, dir, "ntsc type 1, every frame");

  // Windows that open and close with fades, a frame-suffix time format that looks ahead to the
  // next second at every window start.
  settings::StampSettings periodic;
  for (auto* code : {&periodic.dateCode, &periodic.timeCode}) {
    code->intervalMode = IntervalMode::Periodic;
    code->periodSeconds = 1;
    code->periodLengthSeconds = 1;
    code->fadeOn = true;
    code->fadeSeconds = 1;
  }
  periodic.dateCode.periodSeconds = 2;
  periodic.timeCode.formatIndex = 9;
  periodic.timeCode.transparency = 30;
  expectSameAsOneThread(periodic, palIILong, dir, "pal type 2, periodic with fades");
  expectSameAsOneThread(periodic, ntscIIOdml, dir, "ntsc type 2 OpenDML, periodic with fades");

  // Between markers, the time counted from each start marker.
  MarkerList markers;
  markers.insert(5, kStartMarker);
  markers.insert(12, kEndMarker);
  markers.insert(17, kStartMarker);
  ASSERT_EQ(markers.save(markerPathFor(palIOdml)), 0);
  settings::StampSettings between;
  between.dateCode.intervalMode = IntervalMode::BetweenMarkers;
  between.timeCode.intervalMode = IntervalMode::BetweenMarkersZeroTime;
  between.timeCode.formatIndex = 10;
  between.timeCode.fadeOn = true;
  between.timeCode.fadeSeconds = 1;
  expectSameAsOneThread(between, palIOdml, dir, "pal type 1 OpenDML, between markers, zero time");
}

TEST(ParallelStamp, DateLinesOfSeveralRecordingDaysComeInOrder) {
  TempDir dir;
  // Two recordings on different days: a date line each, and every frame stamped.
  SampleScene a, b;
  a.durationSeconds = 1;
  b.year = 2006, b.month = 1, b.day = 2, b.hours = 8, b.minutes = 0, b.seconds = 0;
  b.durationSeconds = 1;
  const std::string in = sample(dir, "days.avi", 2, 2, false, 0, {a, b}, 30);
  settings::StampSettings s;
  const PassRun one = expectSameAsOneThread(s, in, dir, "two recording days");
  EXPECT_NE(std::find(one.events.begin(), one.events.end(), "log \t日期: 2006-1-2 帧数: 25 (86%) [00:00:01:00]"),
            one.events.end());
}

TEST(ParallelStamp, StopEndsThePassLikeTheOneThreadPass) {
  TempDir dir;
  const std::string in = sample(dir, "in.avi", 2, 2, false, 1);
  settings::StampSettings s;
  std::vector<std::string> first;
  for (int workers : {1, 3}) {
    StoppingTranscript t;
    RunStateCell state{kRunRunning};
    t.state = &state;
    t.after = 12;  // progress 0 of the pass, then 11 frames
    JobContext c{s, t, t, state};
    c.workers = workers;
    std::string out = dir.file("out.avi");
    EXPECT_EQ(runStampJob(c, in, out), JobOutcome::Failed);
    EXPECT_TRUE(t.inner.logged("加码进程给打断！"));
    EXPECT_FALSE(t.inner.logged("总共给 20 帧图像加了码。"));
    // A stopped file was not stamped: nothing of it is left, under any name.
    EXPECT_EQ(test::listDir(dir.path()), std::vector<std::string>{"in.avi"});
    if (workers == 1) {
      first = t.inner.events;
    } else {
      EXPECT_EQ(t.inner.events, first);
    }
  }
}

TEST(ParallelStamp, FullDiskDeletesTheOutputAtAnyPointAsInOneThread) {
  TempDir dir;
  const std::string in = sample(dir, "in.avi", 2, 2, true, 1);
  settings::StampSettings s;
  // Half way through the frames, inside the header, and just before the tail.
  const uint64_t size = test::readFile(in).size();
  for (uint64_t limit : {uint64_t{1} << 20, uint64_t{4096}, size - 100}) {
    auto layers = [limit] { return std::make_unique<FillingLayer>(limit); };
    const PassRun one = stamp(s, in, dir.file("one.avi"), 1, layers);
    const PassRun many = stamp(s, in, dir.file("many.avi"), 2, layers);
    EXPECT_EQ(one.result, JobOutcome::Failed) << limit;
    EXPECT_EQ(many.result, JobOutcome::Failed) << limit;
    EXPECT_FALSE(one.exists) << limit;
    EXPECT_FALSE(many.exists) << limit;
    EXPECT_EQ(many.events, one.events) << limit;
    EXPECT_NE(std::find(many.events.begin(), many.events.end(), std::string("log ") + kMsgWriteFailed),
              many.events.end())
        << limit;
  }
}

// Puts a JUNK chunk of `bytes` behind video chunk `after` of a plain type 2 file, fixing the
// RIFF and movi sizes (the sequential pass finds frames by scanning, not through idx1).
std::vector<uint8_t> withJunkAfterFrame(std::vector<uint8_t> file, int after, uint32_t bytes) {
  const std::string movi = "movi";
  const auto m = std::search(file.begin(), file.end(), movi.begin(), movi.end());
  const size_t moviAt = static_cast<size_t>(m - file.begin());
  size_t at = moviAt + 4;
  int frames = 0;
  while (at + 8 <= file.size()) {
    const bool video = file[at + 2] == 'd' && (file[at + 3] == 'c' || file[at + 3] == 'b');
    at += 8 + ((readLe32(&file[at + 4]) + 1) & ~1u);
    if (video && frames++ == after) break;
  }
  std::vector<uint8_t> junk(8 + bytes, 0);
  std::memcpy(junk.data(), "JUNK", 4);
  writeLe32(&junk[4], bytes);
  file.insert(file.begin() + static_cast<ptrdiff_t>(at), junk.begin(), junk.end());
  writeLe32(&file[4], readLe32(&file[4]) + static_cast<uint32_t>(junk.size()));
  writeLe32(&file[moviAt - 4], readLe32(&file[moviAt - 4]) + static_cast<uint32_t>(junk.size()));
  return file;
}

TEST(ParallelStamp, ALongStretchBetweenFramesIsPassedOnWithoutHoldingItAll) {
  TempDir dir;
  const std::string plain = sample(dir, "plain.avi", 2, 2, false, 1);
  const std::string in = dir.file("junk.avi");
  ASSERT_TRUE(test::writeFile(in, withJunkAfterFrame(test::readFile(plain), 15, 3u << 20)));
  settings::StampSettings s;
  expectSameAsOneThread(s, in, dir, "3 MB between frames 15 and 16");
  // On a disk that fills inside that stretch the outcome is the one-thread outcome too.
  auto layers = [] { return std::make_unique<FillingLayer>(uint64_t{4} << 20); };
  const PassRun one = stamp(s, in, dir.file("full-one.avi"), 1, layers);
  const PassRun many = stamp(s, in, dir.file("full-many.avi"), 2, layers);
  EXPECT_EQ(many.result, one.result);
  EXPECT_FALSE(many.exists);
  EXPECT_EQ(many.events, one.events);
  // A stop at each frame around the stretch, while the reading thread may be waiting to write it
  // itself, ends the pass as in one thread.
  for (int after : {15, 16, 17, 18}) {
    std::vector<std::string> first;
    for (int workers : {1, 2}) {
      StoppingTranscript t;
      RunStateCell state{kRunRunning};
      t.state = &state;
      t.after = after;
      JobContext c{s, t, t, state};
      c.workers = workers;
      std::string out = dir.file("stopped.avi");
      EXPECT_EQ(runStampJob(c, in, out), JobOutcome::Failed) << after;
      EXPECT_FALSE(platform::fileExists(out)) << after;
      if (workers == 1) {
        first = t.inner.events;
      } else {
        EXPECT_EQ(t.inner.events, first) << after;
      }
    }
  }
}

TEST(ParallelStamp, WorkerCountFollowsTheRequestAndTheFile) {
  EXPECT_EQ(stampWorkers(1, 100000), 1);
  EXPECT_EQ(stampWorkers(3, 10), 3);
  EXPECT_EQ(stampWorkers(0, 10), 1);  // a tiny file stays on one thread
  const int automatic = stampWorkers(0, 100000);
  EXPECT_GE(automatic, 1);
  EXPECT_LE(automatic, 8);
}

}  // namespace
}  // namespace kelo::engine

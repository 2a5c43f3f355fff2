// The batch driver with scripted file jobs: checks before a run, refusals that protect inputs and
// earlier outputs, stop and pause, the summary, and the power-off order.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "support/TestUtil.h"
#include "engine/BatchDriver.h"

namespace kelo::engine {
using namespace container;
namespace {

using test::TempDir;

// Records everything the engine reports, in order, from any thread.
struct Recorder final : RunObserver, Prompter, PowerOff {
  std::mutex mutex;
  std::vector<std::string> events;  // "log:", "msg:<caption>:", "select:", "running:", "poweroff"
  void add(std::string e) {
    std::lock_guard lock(mutex);
    events.push_back(std::move(e));
  }
  void logLine(const std::string& line) override { add("log:" + line); }
  void progress(int, const std::string&) override {}
  void selectListItem(int index) override { add("select:" + std::to_string(index)); }
  void setRunning(bool running) override { add(running ? "running:1" : "running:0"); }
  void message(MessageKind kind, const std::string& text) override {
    add(std::string("msg:") + captionOf(kind) + ":" + text);
  }
  bool askYesNo(MessageKind, const std::string&) override { return true; }
  int powerOff() override {
    add("poweroff");
    return 0;
  }
  std::vector<std::string> snapshot() {
    std::lock_guard lock(mutex);
    return events;
  }
  bool has(const std::string& prefix) {
    for (const auto& e : snapshot())
      if (e.rfind(prefix, 0) == 0) return true;
    return false;
  }
};

struct Fixture {
  settings::StampSettings settings;
  Recorder rec;
  BatchDriver driver{settings, rec, rec, rec};
  std::mutex mutex;
  std::vector<std::pair<std::string, std::string>> calls;  // input, output

  // A job that succeeds unless the input's name contains "bad".
  void useRecordingJob() {
    driver.setFileJob([this](const JobContext&, const std::string& in, std::string& out) {
      std::lock_guard lock(mutex);
      calls.emplace_back(in, out);
      return in.find("bad") == std::string::npos ? JobOutcome::Stamped : JobOutcome::Failed;
    });
  }
  const BatchSummary& run(const BatchRequest& request) {
    EXPECT_TRUE(driver.onStamp(request));
    driver.wait();
    EXPECT_EQ(driver.state(), kRunIdle);
    return driver.summary();
  }
};

std::vector<JobOutcome> outcomes(const BatchSummary& s) {
  std::vector<JobOutcome> v;
  for (const FileResult& r : s.files) v.push_back(r.outcome);
  return v;
}

void touch(const std::string& path) { ASSERT_TRUE(test::writeFile(path, {1, 2, 3})); }

TEST(BatchDriver, RefusesToStartWithoutFilesCodeOrFolder) {
  Fixture f;
  f.useRecordingJob();
  BatchRequest r;
  r.outputFolder = "/tmp";
  EXPECT_FALSE(f.driver.onStamp(r));
  r.inputs = {"/tmp/a.avi"};
  f.settings.dateCode.enabled = f.settings.timeCode.enabled = false;
  EXPECT_FALSE(f.driver.onStamp(r));
  f.settings.timeCode.enabled = true;
  r.outputFolder.clear();
  EXPECT_FALSE(f.driver.onStamp(r));
  EXPECT_EQ(f.rec.snapshot(), (std::vector<std::string>{"msg:信息:没有录像需要加码", "msg:信息:不知道要加什么码",
                                                        "msg:错误:加码的录像存放到哪个文件夹？"}));
  EXPECT_TRUE(f.calls.empty());
}

TEST(BatchDriver, SummaryCountsFailedFilesAndLogsEachFile) {
  TempDir dir;
  Fixture f;
  f.useRecordingJob();
  BatchRequest r;
  r.inputs = {dir.file("one.avi"), dir.file("bad.avi"), dir.file("three.avi")};
  r.outputFolder = dir.file("out");
  r.selectionBefore = 1;
  const BatchSummary& s = f.run(r);
  EXPECT_EQ(s.stamped, 2);
  EXPECT_EQ(f.driver.workerResult(), 0);
  ASSERT_EQ(f.calls.size(), 3u);
  EXPECT_EQ(f.calls[0].second, dir.file("out") + "/one.avi");
  auto ev = f.rec.snapshot();
  EXPECT_EQ(ev.back(), "msg:信息:2段录像已加码（总共3段），详细见运行记录。");
  EXPECT_EQ(ev[ev.size() - 2], "select:1");
  EXPECT_EQ(ev[ev.size() - 3], "running:0");
  EXPECT_TRUE(f.rec.has("log:需加码录像:  " + dir.file("bad.avi")));
  EXPECT_TRUE(f.rec.has("log:加码的录像:  " + dir.file("out") + "/three.avi"));
}

TEST(BatchDriver, OutputThatIsTheInputIsRefusedByIdentity) {
  TempDir dir;
  Fixture f;
  f.useRecordingJob();
  touch(dir.file("clip.avi"));
  touch(dir.file("other.avi"));
  // A second name of the output folder: the string comparison alone would not see it.
  ASSERT_EQ(symlink(dir.path().c_str(), dir.file("alias").c_str()), 0);
  BatchRequest r;
  r.inputs = {dir.file("clip.avi"), dir.file("alias") + "/other.avi"};
  r.outputFolder = dir.path();
  const BatchSummary& s = f.run(r);
  EXPECT_EQ(s.stamped, 0);
  EXPECT_TRUE(f.calls.empty());
  EXPECT_EQ(outcomes(s), (std::vector<JobOutcome>{JobOutcome::Refused, JobOutcome::Refused}));
  EXPECT_TRUE(f.rec.has("msg:警告:加码前和加码后的录像不能用同一个文件"));
}

TEST(BatchDriver, CollidingOutputsAreRefusedAndNoListedInputIsOverwritten) {
  TempDir dir;
  Fixture f;
  f.useRecordingJob();
  ASSERT_EQ(mkdir(dir.file("tape1").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("tape2").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  touch(dir.file("tape1/clip.avi"));
  touch(dir.file("tape2/clip.avi"));
  touch(dir.file("out/x.avi"));
  touch(dir.file("tape1/x.avi"));
  BatchRequest r;
  // Two clips of the same name, and a clip whose output would replace a listed input.
  r.inputs = {dir.file("tape1/clip.avi"), dir.file("tape2/clip.avi"), dir.file("tape1/x.avi"), dir.file("out/x.avi")};
  r.outputFolder = dir.file("out");
  const BatchSummary& s = f.run(r);
  EXPECT_EQ(outcomes(s), (std::vector<JobOutcome>{JobOutcome::Stamped, JobOutcome::Refused, JobOutcome::Refused,
                                                  JobOutcome::Refused}));
  EXPECT_EQ(s.files[1].refusal, Refusal::SameOutputAsEarlier);
  EXPECT_EQ(s.files[2].refusal, Refusal::OverwritesListedInput);
  // Each refused file is reported as not stamped, never with an earlier file's output.
  const std::vector<std::string> lines = f.rec.snapshot();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "log:加码的录像:  " + dir.file("out") + "/clip.avi"), 1);
  EXPECT_TRUE(f.rec.has("log:未加码的录像:  " + dir.file("tape2/clip.avi")));
  EXPECT_TRUE(f.rec.has("log:未加码的录像:  " + dir.file("out/x.avi")));
  ASSERT_EQ(f.calls.size(), 1u);
  EXPECT_TRUE(f.rec.has("log:*** 加码后的录像 " + dir.file("out") + "/clip.avi 会覆盖前面已加码的录像"));
  EXPECT_TRUE(f.rec.has("log:*** 加码后的录像 " + dir.file("out") + "/x.avi 会覆盖要加码的另一个录像"));
  EXPECT_EQ(f.rec.snapshot().back(), "msg:信息:1段录像已加码（总共4段），详细见运行记录。");
}

TEST(BatchDriver, StopWhilePausedEndsTheRunWithTheInterruptionBox) {
  TempDir dir;
  Fixture f;
  std::atomic<int> started{0};
  f.driver.setFileJob([&](const JobContext& c, const std::string&, std::string&) {
    ++started;
    // Like the frame loop: poll the state, sleep while paused, end on stop.
    for (;;) {
      const uint8_t s = c.runState.load();
      if (s == kRunStopRequested) return JobOutcome::Failed;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  BatchRequest r;
  r.inputs = {dir.file("a.avi"), dir.file("b.avi")};
  r.outputFolder = dir.file("out");
  ASSERT_TRUE(f.driver.onStamp(r));
  EXPECT_STREQ(f.driver.stampButtonCaption(), "暂停");
  EXPECT_FALSE(f.driver.onStamp(r));  // pause
  EXPECT_EQ(f.driver.state(), kRunPaused);
  EXPECT_STREQ(f.driver.stampButtonCaption(), "继续");
  EXPECT_FALSE(f.driver.onStamp(r));  // continue
  EXPECT_EQ(f.driver.state(), kRunRunning);
  f.driver.onStamp(r);
  f.driver.onStop();
  f.driver.wait();
  EXPECT_EQ(started.load(), 1);
  EXPECT_EQ(f.driver.workerResult(), 1);
  EXPECT_TRUE(f.driver.summary().stopped);
  EXPECT_FALSE(f.rec.has("log:加码的录像:"));
  EXPECT_EQ(f.rec.snapshot().back(), "msg:警告:加码进程给打断！");
  EXPECT_STREQ(f.driver.stampButtonCaption(), "加码");
}

TEST(BatchDriver, AutoShutdownWritesTheLogBeforePowerOffAndShowsTheSummaryAfter) {
  TempDir dir;
  Fixture f;
  f.useRecordingJob();
  BatchRequest r;
  r.inputs = {dir.file("a.avi")};
  r.outputFolder = dir.file("out");
  r.autoShutdown = true;
  r.writeLogFile = [&] { f.rec.add("logfile"); };
  f.run(r);
  auto ev = f.rec.snapshot();
  auto pos = [&](const std::string& e) { return std::find(ev.begin(), ev.end(), e) - ev.begin(); };
  EXPECT_LT(pos("logfile"), pos("poweroff"));
  EXPECT_LT(pos("poweroff"), pos("msg:信息:所有录像都已加码"));
}

TEST(BatchDriver, ParallelRunKeepsEachFilesLinesTogetherInListOrder) {
  TempDir dir;
  Fixture f;
  f.driver.setFileJob([](const JobContext& c, const std::string& in, std::string&) {
    c.observer.logLine("begin " + in);
    std::this_thread::sleep_for(std::chrono::milliseconds(in.find('a') != std::string::npos ? 20 : 0));
    c.observer.logLine("end " + in);
    return JobOutcome::Stamped;
  });
  BatchRequest r;
  r.inputs = {"/x/a.avi", "/x/b.avi", "/x/c.avi"};
  r.outputFolder = dir.path();
  r.jobs = 2;
  f.run(r);
  std::vector<std::string> logs;
  for (const auto& e : f.rec.snapshot())
    if (e.rfind("log:begin", 0) == 0 || e.rfind("log:end", 0) == 0) logs.push_back(e.substr(4));
  EXPECT_EQ(logs, (std::vector<std::string>{"begin /x/a.avi", "end /x/a.avi", "begin /x/b.avi", "end /x/b.avi",
                                            "begin /x/c.avi", "end /x/c.avi"}));
}

TEST(BatchDriver, RunLogTimeLooksLikeCtime) {
  std::tm t{};
  t.tm_year = 105;
  t.tm_mon = 2;
  t.tm_mday = 7;
  t.tm_hour = 23;
  t.tm_min = 59;
  t.tm_sec = 5;
  t.tm_isdst = -1;
  EXPECT_EQ(runLogTime(mktime(&t)), "Mon Mar 07 23:59:05 2005");
}

}  // namespace
}  // namespace kelo::engine

// The per-file pass and the batch run with real files: the pass's checks and their messages,
// faults (full disk, stop, bad input, output = input, missing folder), renaming, and that the
// input is never touched.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "engine/BatchDriver.h"
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

using test::TempDir;

struct Recorder final : RunObserver, Prompter, PowerOff {
  std::mutex mutex;
  std::vector<std::string> lines, messages;
  void logLine(const std::string& line) override {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  }
  void progress(int, const std::string&) override {}
  void selectListItem(int) override {}
  void setRunning(bool) override {}
  void message(MessageKind kind, const std::string& text) override {
    std::lock_guard lock(mutex);
    messages.push_back(std::string(captionOf(kind)) + ":" + text);
  }
  bool askYesNo(MessageKind, const std::string&) override { return false; }
  int powerOff() override { return 0; }
  bool logged(const std::string& prefix) {
    std::lock_guard lock(mutex);
    for (const auto& l : lines)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }
};

// A one-second 625/50 sample (25 frames) across midnight, made once for all tests.
const std::string& sampleClip() {
  static TempDir* dir = new TempDir;  // lives for the whole test program
  static std::string path;
  if (path.empty()) {
    SampleOptions o;
    SampleScene scene;
    scene.hours = 23, scene.minutes = 59, scene.seconds = 59;
    scene.durationSeconds = 1;
    o.scenes = {scene};
    std::string error;
    const std::string p = dir->file("clip.avi");
    EXPECT_EQ(writeSampleAvi(p, o, error), 0) << error;
    path = p;
  }
  return path;
}

std::string copyOf(const TempDir& dir, const std::string& name) {
  const std::string p = dir.file(name);
  EXPECT_TRUE(test::writeFile(p, test::readFile(sampleClip())));
  return p;
}

struct Job {
  settings::StampSettings settings;
  Recorder rec;
  RunStateCell state{kRunRunning};
  WriteLayerFactory layers;
  int run(const std::string& in, std::string& out) {
    JobContext c{settings, rec, rec, state, layers};
    return runStampJob(c, in, out);
  }
};

using test::FillingLayer;

TEST(StampJob, StampsOnlyVideoAndLogsTheRecordingDays) {
  TempDir dir;
  Job job;
  const std::string in = sampleClip();
  const std::string sum = test::sha256File(in);
  std::string out = dir.file("out.avi");
  ASSERT_EQ(job.run(in, out), kJobStamped);
  EXPECT_EQ(test::sha256File(in), sum);
  VerifyReport r;
  std::string error;
  ASSERT_EQ(verifyStamped(in, out, r, error), 0);
  EXPECT_TRUE(r.onlyVideoDiffers());
  EXPECT_EQ(r.framesDiffering, 25);
  EXPECT_TRUE(job.rec.logged("\t日期: 2005-3-7 帧数: 0 (0%) [00:00:00:00]"));
  EXPECT_TRUE(job.rec.logged("总共给 25 帧图像加了码。"));
  EXPECT_TRUE(job.rec.logged("加码文件 " + out + " 已生成。"));
}

TEST(StampJob, OptionChecksRefuseWithTheirMessages) {
  TempDir dir;
  const std::string in = copyOf(dir, "clip.avi");
  {
    Job job;
    job.settings.timeCode.intervalMode = settings::IntervalMode::BetweenMarkers;
    std::string out = dir.file("a.avi");
    EXPECT_EQ(job.run(in, out), kJobFailed);
    EXPECT_EQ(job.rec.messages.at(0), "错误:" + in + " 没有任何开始/结束标记，跳过去。");
    EXPECT_FALSE(platform::fileExists(out));
  }
  {
    Job job;
    job.settings.timeCode.intervalMode = settings::IntervalMode::BetweenMarkersZeroTime;
    job.settings.timeCode.enabled = false;
    job.settings.timeCode.formatIndex = 3;
    MarkerList markers;
    markers.insert(5, kStartMarker);
    ASSERT_EQ(markers.save(markerPathFor(in)), 0);
    std::string out = dir.file("b.avi");
    EXPECT_EQ(job.run(in, out), kJobFailed);
    EXPECT_EQ(job.rec.messages.at(0), "错误:加码区间选项与时间码格式选项不相容，请参考帮助文件。");
  }
  {
    Job job;
    std::string out = dir.file("missing/c.avi");
    EXPECT_EQ(job.run(in, out), kJobFailed);
    EXPECT_EQ(job.rec.messages.at(0), "错误:打不开 " + out + "，没法加码。");
  }
}

TEST(StampJob, FullDiskDeletesThePartialOutputAndTheRunGoesOn) {
  TempDir dir;
  Recorder rec;
  settings::StampSettings s;
  BatchDriver driver(s, rec, rec, rec);
  BatchRequest r;
  r.inputs = {copyOf(dir, "one.avi"), copyOf(dir, "two.avi")};
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  r.outputFolder = dir.file("out");
  int opened = 0;
  r.makeWriteLayer = [&opened]() -> std::unique_ptr<WriteLayer> {
    // The first output fills the disk half way, the second has room.
    if (opened++ == 0) return std::make_unique<FillingLayer>(1 << 20);
    return makeFileWriteLayer();
  };
  ASSERT_TRUE(driver.onStamp(r));
  driver.wait();
  EXPECT_EQ(driver.summary().results, (std::vector<int>{kJobFailed, kJobStamped}));
  EXPECT_FALSE(platform::fileExists(dir.file("out/one.avi")));
  EXPECT_TRUE(platform::fileExists(dir.file("out/two.avi")));
  EXPECT_TRUE(rec.logged("写加码文件时出错，硬盘可能满了。"));
  EXPECT_EQ(rec.messages.back(), "信息:1段录像已加码（总共2段），详细见运行记录。");
}

TEST(StampJob, StopLeavesThePartialOutput) {
  TempDir dir;
  Job job;
  job.state = kRunStopRequested;
  std::string out = dir.file("out.avi");
  EXPECT_EQ(job.run(sampleClip(), out), kJobFailed);
  EXPECT_TRUE(job.rec.logged("加码进程给打断！"));
  EXPECT_TRUE(platform::fileExists(out));
}

TEST(StampJob, BadFilesAmongGoodOnesAndOutputEqualToInputLeaveInputsIntact) {
  TempDir dir;
  const std::string good = copyOf(dir, "good.avi");
  const std::string text = dir.file("notes.avi");
  ASSERT_TRUE(test::writeFile(text, std::vector<uint8_t>(1000, 'x')));
  const std::string same = copyOf(dir, "same.avi");
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  ASSERT_EQ(link(same.c_str(), dir.file("out/same.avi").c_str()), 0);  // output would be the input
  const std::string sameSum = test::sha256File(same);
  const std::string textSum = test::sha256File(text);

  Recorder rec;
  settings::StampSettings s;
  BatchDriver driver(s, rec, rec, rec);
  BatchRequest r;
  r.inputs = {text, same, good};
  r.outputFolder = dir.file("out");
  ASSERT_TRUE(driver.onStamp(r));
  driver.wait();
  EXPECT_EQ(driver.summary().results, (std::vector<int>{kJobFailed, kJobRefused, kJobStamped}));
  EXPECT_TRUE(rec.logged("***错误: 此文件不是 DV 文件（AVI、DV 或 QuickTime）。"));
  EXPECT_EQ(test::sha256File(same), sameSum);
  EXPECT_EQ(test::sha256File(text), textSum);
  EXPECT_EQ(rec.messages.back(), "信息:1段录像已加码（总共3段），详细见运行记录。");
}

TEST(StampJob, RenamingNamesByRecordedTimeAndAFailedRenameKeepsTheFile) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  Recorder rec;
  settings::StampSettings s;
  s.renameOutput = true;
  BatchDriver driver(s, rec, rec, rec);
  BatchRequest r;
  r.inputs = {copyOf(dir, "Trip.avi")};
  r.outputFolder = dir.file("out");
  ASSERT_TRUE(driver.onStamp(r));
  driver.wait();
  ASSERT_EQ(driver.summary().stamped, 1);
  EXPECT_EQ(driver.summary().outputs[0], dir.file("out/Trip-20050307235959-050307235959.avi"));

  // A pattern that expands to a name longer than the file system takes: both files stay under
  // temporary names of their own and are reported.
  std::u16string pattern;
  while (pattern.size() < 98) pattern += u"@N";
  settings::setText(s.outputNamePattern, pattern);
  BatchDriver second(s, rec, rec, rec);
  const std::string longName(60, 'a');
  r.inputs = {copyOf(dir, longName + ".avi"), copyOf(dir, std::string(60, 'b') + ".avi")};
  ASSERT_TRUE(second.onStamp(r));
  second.wait();
  EXPECT_EQ(second.summary().results, (std::vector<int>{kJobRenameFailed, kJobRenameFailed}));
  EXPECT_NE(second.summary().outputs[0], second.summary().outputs[1]);
  EXPECT_TRUE(platform::fileExists(second.summary().outputs[0]));
  EXPECT_TRUE(platform::fileExists(second.summary().outputs[1]));
  EXPECT_EQ(rec.messages.back(), "信息:0段录像已加码（总共2段），详细见运行记录。");
}

}  // namespace
}  // namespace kelo::engine

// The per-file pass and the batch run with real files: the pass's checks and their messages,
// faults (full disk, stop, bad input, output = input, missing folder), renaming, and that the
// input is never touched.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>

#include "engine/BatchDriver.h"
#include "engine/MarkerList.h"
#include "container/SampleAvi.h"
#include "engine/StampJob.h"
#include "container/StampedFileWriter.h"
#include "container/Verify.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
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
  JobOutcome run(const std::string& in, std::string& out) {
    JobContext c{settings, rec, rec, state, layers};
    return runStampJob(c, in, out);
  }
};

using test::FillingLayer;

std::vector<JobOutcome> outcomes(const BatchSummary& s) {
  std::vector<JobOutcome> v;
  for (const FileResult& r : s.files) v.push_back(r.outcome);
  return v;
}

TEST(StampJob, StampsOnlyVideoAndLogsTheRecordingDays) {
  TempDir dir;
  Job job;
  const std::string in = sampleClip();
  const std::string sum = test::sha256File(in);
  std::string out = dir.file("out.avi");
  ASSERT_EQ(job.run(in, out), JobOutcome::Stamped);
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
    EXPECT_EQ(job.run(in, out), JobOutcome::Failed);
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
    EXPECT_EQ(job.run(in, out), JobOutcome::Failed);
    EXPECT_EQ(job.rec.messages.at(0), "错误:加码区间选项与时间码格式选项不相容，请参考帮助文件。");
  }
  {
    // No face and no fallback can draw the time code: the file fails instead of looking done.
    Job job;
    job.settings.timeCode.formatIndex = 0;
    settings::setText(job.settings.customTimeFormat, u"%H \u0378");
    std::string out = dir.file("d.avi");
    auto entries = [&] { return std::distance(std::filesystem::directory_iterator(dir.path()), {}); };
    const auto before = entries();
    EXPECT_EQ(job.run(in, out), JobOutcome::Failed);
    EXPECT_EQ(job.rec.messages.at(0), "错误:找不到能显示时间码的字体（Arial），没法加码。");
    // The check runs beside opening the files; nothing of that shows, and nothing is left behind.
    EXPECT_EQ(job.rec.lines, std::vector<std::string>{"找不到能显示时间码的字体（Arial），没法加码。"});
    EXPECT_FALSE(platform::fileExists(out));
    EXPECT_EQ(before, entries());
    // The font failure comes before an output that is there already.
    Job again;
    again.settings = job.settings;
    ASSERT_TRUE(test::writeFile(out, {'u', 's', 'e', 'r'}));
    EXPECT_EQ(again.run(in, out), JobOutcome::Failed);
    EXPECT_EQ(again.rec.lines, job.rec.lines);
    platform::removeFile(out);
  }
  {
    Job job;
    std::string out = dir.file("missing/c.avi");
    EXPECT_EQ(job.run(in, out), JobOutcome::Failed);
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
  EXPECT_EQ(outcomes(driver.summary()), (std::vector<JobOutcome>{JobOutcome::Failed, JobOutcome::Stamped}));
  EXPECT_FALSE(platform::fileExists(dir.file("out/one.avi")));
  EXPECT_TRUE(platform::fileExists(dir.file("out/two.avi")));
  EXPECT_TRUE(rec.logged("写加码文件时出错，硬盘可能满了。"));
  EXPECT_EQ(rec.messages.back(), "信息:1段录像已加码（总共2段），详细见运行记录。");
}

// The real file system, but the disk reports a failed write-back only when the output is made
// durable (as delayed allocation does with a full disk, or a failing device).
class LateFailureLayer final : public WriteLayer {
 public:
  explicit LateFailureLayer(int err) : err_(err) {}
  int open(const std::string& path) override { return real_->open(path); }
  int write(const void* data, size_t count) override { return real_->write(data, count); }
  int setModificationTime(std::time_t when) override { return real_->setModificationTime(when); }
  int makeDurable() override { return err_; }
  int close() override { return real_->close(); }
  int remove(const std::string& path) override { return real_->remove(path); }

 private:
  std::unique_ptr<WriteLayer> real_ = makeFileWriteLayer();
  int err_;
};

TEST(StampJob, AWriteBackFailingAtTheEndFailsTheFileAndLeavesNothing) {
  for (int err : {EIO, ENOSPC}) {
    TempDir dir;
    Recorder rec;
    settings::StampSettings s;
    BatchDriver driver(s, rec, rec, rec);
    BatchRequest r;
    r.inputs = {copyOf(dir, "one.avi")};
    ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
    r.outputFolder = dir.file("out");
    r.makeWriteLayer = [err]() -> std::unique_ptr<WriteLayer> { return std::make_unique<LateFailureLayer>(err); };
    ASSERT_TRUE(driver.onStamp(r));
    driver.wait();
    EXPECT_EQ(outcomes(driver.summary()), (std::vector<JobOutcome>{JobOutcome::Failed})) << err;
    EXPECT_TRUE(test::listDir(dir.file("out")).empty()) << err;
    EXPECT_TRUE(rec.logged("写加码文件时出错，硬盘可能满了。")) << err;
  }
}

TEST(StampJob, StopLeavesNothingUnderAnyName) {
  TempDir dir;
  Job job;
  job.state = kRunStopRequested;
  std::string out = dir.file("out.avi");
  EXPECT_EQ(job.run(sampleClip(), out), JobOutcome::Failed);
  EXPECT_TRUE(job.rec.logged("加码进程给打断！"));
  EXPECT_TRUE(test::listDir(dir.path()).empty());
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
  EXPECT_EQ(outcomes(driver.summary()),
            (std::vector<JobOutcome>{JobOutcome::Failed, JobOutcome::Refused, JobOutcome::Stamped}));
  EXPECT_TRUE(rec.logged("***错误: 此文件不是 DV 文件（AVI、DV 或 QuickTime）。"));
  // The refused input leaves nothing under its output name, nor under a temporary one.
  EXPECT_EQ(test::listDir(dir.file("out")), (std::vector<std::string>{"good.avi", "same.avi"}));
  EXPECT_TRUE(rec.logged("未加码的录像:  " + text));
  EXPECT_EQ(test::sha256File(same), sameSum);
  EXPECT_EQ(test::sha256File(text), textSum);
  EXPECT_EQ(rec.messages.back(), "信息:1段录像已加码（总共3段），详细见运行记录。");
}

TEST(StampJob, RenamingNamesByRecordedTimeAndShortensOverlongNames) {
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
  EXPECT_EQ(driver.summary().files[0].output, dir.file("out/Trip-20050307235959-050307235959.avi"));

  // A pattern that expands past the file system's name length (Chinese names take three bytes a
  // character): the name is cut at a character boundary, keeps its extension and the log says so.
  std::u16string pattern;
  while (pattern.size() < 98) pattern += u"@N";
  settings::setText(s.outputNamePattern, pattern);
  BatchDriver second(s, rec, rec, rec);
  std::string longName;
  while (longName.size() < 150) longName += "旅行";
  r.inputs = {copyOf(dir, longName + "一.avi"), copyOf(dir, longName + "二.avi")};
  ASSERT_TRUE(second.onStamp(r));
  second.wait();
  ASSERT_EQ(second.summary().stamped, 2);
  for (const FileResult& f : second.summary().files) {
    const std::string name = platform::fileNameOf(f.output);
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(platform::toUtf8(platform::fromUtf8(name)), name) << "cut inside a character";
    EXPECT_EQ(name.substr(name.size() - 4), ".avi");
    EXPECT_TRUE(platform::fileExists(f.output));
    EXPECT_TRUE(rec.logged("*** 文件名太长，缩短为 " + name + "。"));
  }
  EXPECT_NE(second.summary().files[0].output, second.summary().files[1].output);
}

// A temporary file of an earlier run that never finished is reused; the final names come from
// the pattern alone, also with two files at once on an empty folder.
TEST(StampJob, StaleTemporaryFilesNeverLeakIntoFinalNames) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  // Left by a run that was killed: marked as this program's scratch. A user's file of a
  // temporary-looking name is never touched.
  ASSERT_EQ(platform::createMarkedFile(dir.file("out/tmpKeloout.avi")), 0);
  ASSERT_TRUE(test::writeFile(dir.file("out/tmpKeloout-1.avi"), std::vector<uint8_t>(5000, 7)));
  Recorder rec;
  settings::StampSettings s;
  s.renameOutput = true;
  settings::setText(s.outputNamePattern, u"@N-@F@f");
  for (int jobs : {1, 2}) {
    BatchDriver driver(s, rec, rec, rec);
    BatchRequest r;
    r.inputs = {copyOf(dir, "a.avi"), copyOf(dir, "b.avi")};
    r.outputFolder = dir.file("out");
    r.jobs = jobs;
    ASSERT_TRUE(driver.onStamp(r));
    driver.wait();
    ASSERT_EQ(driver.summary().stamped, 2);
  }
  EXPECT_EQ(test::listDir(dir.file("out")),
            (std::vector<std::string>{"a-050307235959-1.avi", "a-050307235959.avi", "b-050307235959-1.avi",
                                      "b-050307235959.avi", "tmpKeloout-1.avi"}));
  EXPECT_EQ(test::readFile(dir.file("out/tmpKeloout-1.avi")), std::vector<uint8_t>(5000, 7));
}

// Two passes (of this program or another) that would write the same output: the second is refused
// while the first holds it, and leaves nothing behind.
TEST(StampJob, ASecondPassOnTheSameOutputIsRefused) {
  TempDir dir;
  platform::File first;  // what the first pass holds
  ASSERT_EQ(platform::createMarkedFile(dir.file("tmpKeloout-x.avi")), 0);
  ASSERT_EQ(first.openWrite(dir.file("tmpKeloout-x.avi")), 0);
  Job job;
  std::string out = dir.file("x.avi");
  EXPECT_EQ(job.run(sampleClip(), out), JobOutcome::Failed);
  EXPECT_EQ(job.rec.messages.at(0), "错误:其它软件正在用 " + out + "，没法加码。");
  EXPECT_TRUE(job.rec.logged("其它软件正在用 " + out + "，没法加码。"));
  EXPECT_FALSE(platform::fileExists(out));
}

// Without renaming, an output name already taken (an earlier run's output, another task's, a
// dangling link) is refused before anything is written, and what is there stays untouched.
TEST(StampJob, AnExistingOutputIsRefusedNotReplaced) {
  TempDir dir;
  const std::string taken = dir.file("x.avi");
  ASSERT_TRUE(test::writeFile(taken, std::vector<uint8_t>{1, 2, 3}));
  ASSERT_EQ(symlink(dir.file("nowhere").c_str(), dir.file("y.avi").c_str()), 0);
  for (const std::string& name : {std::string("x.avi"), std::string("y.avi")}) {
    Job job;
    std::string out = dir.file(name);
    EXPECT_EQ(job.run(sampleClip(), out), JobOutcome::Refused) << name;
    EXPECT_TRUE(job.rec.logged("*** 加码后的录像 " + out + " 已经有了，跳过去。")) << name;
  }
  EXPECT_EQ(test::readFile(taken), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(test::listDir(dir.path()), (std::vector<std::string>{"x.avi", "y.avi"}));

  // Through the batch run: counted as not stamped, its input named as such.
  Recorder rec;
  settings::StampSettings s;
  BatchDriver driver(s, rec, rec, rec);
  BatchRequest r;
  r.inputs = {copyOf(dir, "in.avi")};
  r.outputFolder = dir.file("out");
  ASSERT_EQ(mkdir(r.outputFolder.c_str(), 0755), 0);
  ASSERT_TRUE(test::writeFile(dir.file("out/in.avi"), std::vector<uint8_t>{4}));
  ASSERT_TRUE(driver.onStamp(r));
  driver.wait();
  EXPECT_EQ(driver.summary().stamped, 0);
  EXPECT_EQ(outcomes(driver.summary()), std::vector<JobOutcome>{JobOutcome::Refused});
  EXPECT_TRUE(rec.logged("未加码的录像:  " + r.inputs[0]));
  EXPECT_EQ(test::readFile(dir.file("out/in.avi")), std::vector<uint8_t>{4});
}

// An input that cannot be opened is named in the log, not only on the error stream.
TEST(StampJob, AnInputThatCannotBeOpenedIsLogged) {
  TempDir dir;
  Recorder rec;
  settings::StampSettings s;
  BatchDriver driver(s, rec, rec, rec);
  BatchRequest r;
  r.inputs = {dir.file("gone.avi")};
  r.outputFolder = dir.file("out");
  ASSERT_EQ(mkdir(r.outputFolder.c_str(), 0755), 0);
  ASSERT_TRUE(driver.onStamp(r));
  driver.wait();
  EXPECT_TRUE(rec.logged("打不开 " + dir.file("gone.avi") + "，没法加码。"));
  EXPECT_TRUE(rec.logged("未加码的录像:  " + dir.file("gone.avi")));
  EXPECT_FALSE(rec.logged("加码的录像:"));
  EXPECT_TRUE(test::listDir(r.outputFolder).empty());
}

// Names and the modification time take the last real recording time, also where the time code
// shows the elapsed time or the tape timecode.
TEST(StampJob, NamesAndFileTimesUseTheRecordedTimeWhateverTheTimeCodeShows) {
  TempDir dir;
  for (int format : {13, 14}) {
    Job job;
    job.settings.renameOutput = true;
    job.settings.modificationTimeFromLastTimecode = true;
    job.settings.timeCode.formatIndex = format;
    std::string out = dir.file("tmpKeloout.avi");
    ASSERT_EQ(job.run(sampleClip(), out), JobOutcome::Stamped);
    EXPECT_EQ(platform::fileNameOf(out), format == 13 ? "clip-20050307235959-050307235959.avi"
                                                      : "clip-20050307235959-050307235959-1.avi");
    std::tm last{};
    last.tm_year = 105, last.tm_mon = 2, last.tm_mday = 7, last.tm_hour = 23, last.tm_min = 59, last.tm_sec = 59;
    last.tm_isdst = -1;
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, std::mktime(&last));
  }
}

}  // namespace
}  // namespace kelo::engine

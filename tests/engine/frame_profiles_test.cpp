// Files whose frames are not all of the first frame's layout, frames Kelo cannot stamp, and DV it
// refuses: every frame is read by its own header, what cannot be stamped is copied unchanged and
// counted, and such a file is never reported as stamped.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <set>

#include "container/DvSource.h"
#include "container/FileInfo.h"
#include "container/QuickTimeWriter.h"
#include "container/Verify.h"
#include "dv/DifLayout.h"
#include "dv/SampleWriter.h"
#include "engine/RunLog.h"
#include "engine/StampJob.h"
#include "platform/FileSystem.h"
#include "support/AviFixture.h"
#include "support/TestUtil.h"

namespace kelo::engine {
using namespace container;
namespace {

using test::TempDir;

struct Lines final : RunObserver, Prompter {
  std::mutex mutex;
  std::vector<std::string> lines;
  void logLine(const std::string& line) override {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  }
  void progress(int, const std::string&) override {}
  void selectListItem(int) override {}
  void setRunning(bool) override {}
  void message(MessageKind, const std::string& text) override { logLine("box:" + text); }
  bool askYesNo(MessageKind, const std::string&) override { return false; }
  bool has(const std::string& line) {
    std::lock_guard lock(mutex);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

// One frame of our sample picture in `profile`'s layout (frame `index` of a default recording).
std::vector<uint8_t> sampleFrame(const dv::VideoProfile& profile, int index) {
  dv::SampleGenerator gen(profile, {});
  std::vector<uint8_t> frame(gen.frameBytes());
  for (int i = 0; i <= index; ++i) gen.next(frame.data());
  return frame;
}

// Sets PC3 of every VAUX source pack of sequence 0 as a damaged or inconsistent pack would.
void setSourcePc3(std::vector<uint8_t>& frame, uint8_t pc3) {
  for (int b = 0; b < dv::kVauxBlocksPerSequence; ++b)
    for (int j = 0; j < dv::kVauxPacksPerBlock; ++j) {
      uint8_t* pack = frame.data() + dv::vauxOffset(0, b) + dv::vauxPackOffset(j);
      if (pack[0] == 0x60) pack[3] = pc3;
    }
}

JobOutcome runJob(const std::string& in, std::string& out, Lines& lines, int workers) {
  settings::StampSettings s;
  RunStateCell state{kRunRunning};
  JobContext c{s, lines, lines, state};
  c.workers = workers;
  return runStampJob(c, in, out);
}

// A 525/60 file whose first frame's VAUX source pack claims 50 fields is still 525/60: DSF decides.
TEST(FrameProfiles, TheVauxFiftyFieldBitDoesNotOverruleTheHeader) {
  TempDir dir;
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < 4; ++i) frames.push_back(sampleFrame(test::ntscProfile(), i));
  setSourcePc3(frames[0], 0xE0);
  const std::string in = dir.file("ntsc.avi");
  ASSERT_EQ(0, test::writeAviFixture(in, frames, {}));
  FileInfo info;
  std::string message;
  ASSERT_EQ(InfoOutcome::Read, readFileInfo(in, info, message)) << message;
  EXPECT_EQ(info.frames, 4);
  EXPECT_EQ(info.profile, &test::ntscProfile());
  std::string out = dir.file("out.avi");
  Lines lines;
  EXPECT_EQ(runJob(in, out, lines, 1), JobOutcome::Stamped);
  VerifyReport r;
  ASSERT_EQ(verifyStamped(in, out, r, message), 0) << message;
  EXPECT_EQ(r.framesDiffering, 4);
}

// Frames of every layout in one file are read by their own size and stamped by their own layout;
// a frame of an unknown application ID and a 50 Mbit/s frame too large for the file's frame layout
// are copied unchanged and counted, and the file is not reported as stamped (in the one-thread and
// the parallel loop alike).
TEST(FrameProfiles, MixedLayoutsAreStampedAndUnstampableFramesCounted) {
  TempDir dir;
  std::vector<uint8_t> unknownApt = sampleFrame(test::palProfile(), 3);
  unknownApt[4] = 0xFA;  // APT 010
  std::vector<uint8_t> dv50 = sampleFrame(test::palProfile(), 4);
  setSourcePc3(dv50, 0xE4);
  dv50.insert(dv50.end(), dv50.begin(), dv50.end());  // 24 DIF sequences
  const std::vector<std::vector<uint8_t>> frames{sampleFrame(test::palProfile(), 0),
                                                 sampleFrame(test::ntscProfile(), 1),
                                                 sampleFrame(test::pal411Profile(), 2), unknownApt, dv50,
                                                 sampleFrame(test::palProfile(), 5)};
  const std::set<size_t> unstampable{3, 4};
  for (int type : {1, 2}) {
    test::AviFixtureOptions o;
    o.type = type;
    const std::string in = dir.file("mixed" + std::to_string(type) + ".avi");
    ASSERT_EQ(0, test::writeAviFixture(in, frames, o));
    const std::string sum = test::sha256File(in);
    for (int workers : {1, 2}) {
      SCOPED_TRACE("type " + std::to_string(type) + ", workers " + std::to_string(workers));
      std::string out = dir.file("out" + std::to_string(type) + std::to_string(workers) + ".avi");
      Lines lines;
      EXPECT_EQ(runJob(in, out, lines, workers), JobOutcome::PartlyStamped);
      EXPECT_TRUE(lines.has("总共给 5 帧图像加了码。"));
      EXPECT_TRUE(lines.has(formatMessage(kMsgUnstampableFrames, 2)));
      EXPECT_EQ(test::sha256File(in), sum);
      // Every frame but the unstampable one changed, each only where its own layout put the text.
      const std::vector<int64_t>& at = test::lastFixtureFramePositions();
      const std::vector<uint8_t> a = test::readFile(in), b = test::readFile(out);
      ASSERT_EQ(a.size(), b.size());
      for (size_t f = 0; f < frames.size(); ++f) {
        const auto begin = a.begin() + at[f] + 8, end = begin + long(frames[f].size());
        const bool same = std::equal(begin, end, b.begin() + at[f] + 8);
        EXPECT_EQ(same, unstampable.count(f) == 1) << "frame " << f;
      }
    }
  }
  // kelo-cli stamp does not report such a file as stamped.
  if (test::keloCli().empty()) return;
  const std::string folder = dir.file("cli");
  ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
  const test::CommandResult r = test::runCommand(test::shellQuote(test::keloCli()) + " stamp --output " +
                                                 test::shellQuote(folder) + " " + test::shellQuote(dir.file("mixed2.avi")));
  EXPECT_EQ(r.exitCode, 1) << r.output;
}

// 50 Mbit/s DV is refused before anything is stamped, with the variant named, whatever the
// container, and nothing is left under the output's name.
TEST(FrameProfiles, DvOfAnotherBitRateIsRefusedByNameInEveryContainer) {
  TempDir dir;
  std::vector<std::vector<uint8_t>> frames;
  std::vector<uint8_t> raw;
  for (int i = 0; i < 3; ++i) {
    frames.push_back(sampleFrame(test::palProfile(), i));
    setSourcePc3(frames.back(), 0xE4);  // STYPE 00100: 50 Mbit/s
    raw.insert(raw.end(), frames.back().begin(), frames.back().end());
  }
  const std::string avi = dir.file("dv50.avi"), dv = dir.file("dv50.dv"), mov = dir.file("dv50.mov");
  ASSERT_EQ(0, test::writeAviFixture(avi, frames, {}));
  ASSERT_TRUE(test::writeFile(dv, raw));
  std::string error;
  const QuickTimeVideo video{720, 576, 25, 1, 144000, 3};
  ASSERT_EQ(0, writeSampleQuickTime(
                   mov, video, {},
                   [&](int64_t n, uint8_t* data) {
                     std::copy(frames[size_t(n)].begin(), frames[size_t(n)].end(), data);
                     return true;
                   },
                   error))
      << error;
  const std::string refused = formatMessage(kMsgRefusedVariant, "50 Mbit/s DV (DVCPRO50)");
  for (const std::string& in : {avi, dv, mov}) {
    SCOPED_TRACE(in);
    const std::string folder = dir.file("out-" + platform::fileNameOf(in));
    ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
    std::string out = folder + "/out";
    Lines lines;
    EXPECT_EQ(runJob(in, out, lines, 1), JobOutcome::Failed);
    EXPECT_TRUE(lines.has(refused));
    EXPECT_FALSE(lines.has("总共给 0 帧图像加了码。"));
    EXPECT_TRUE(test::listDir(folder).empty());
    FileInfo info;
    std::string message;
    EXPECT_EQ(readFileInfo(in, info, message), InfoOutcome::Invalid);
    EXPECT_EQ(message, refused);
  }
}

// A 50 Mbit/s frame inside a raw 25 Mbit/s stream is copied unchanged and counted once.
TEST(FrameProfiles, RawStreamCopiesAFrameOfAnotherBitRateAndCountsIt) {
  TempDir dir;
  std::vector<uint8_t> dv50 = sampleFrame(test::palProfile(), 1);
  setSourcePc3(dv50, 0xE4);
  // The second channel of a 50 Mbit/s frame starts with FSC set.
  std::vector<uint8_t> second = dv50;
  for (size_t at = 0; at < second.size(); at += dv::kDifBlockBytes) second[at + 1] |= 0x08;
  dv50.insert(dv50.end(), second.begin(), second.end());
  std::vector<uint8_t> raw;
  for (const auto& f : {sampleFrame(test::palProfile(), 0), dv50, sampleFrame(test::ntscProfile(), 2)})
    raw.insert(raw.end(), f.begin(), f.end());
  const std::string in = dir.file("mixed.dv");
  ASSERT_TRUE(test::writeFile(in, raw));
  std::string out = dir.file("out.dv");
  Lines lines;
  EXPECT_EQ(runJob(in, out, lines, 1), JobOutcome::PartlyStamped);
  EXPECT_TRUE(lines.has("总共给 2 帧图像加了码。"));
  EXPECT_TRUE(lines.has(formatMessage(kMsgUnstampableFrames, 1)));
  const std::vector<uint8_t> b = test::readFile(out);
  ASSERT_EQ(raw.size(), b.size());
  const size_t from = 144000;
  EXPECT_TRUE(std::equal(raw.begin() + long(from), raw.begin() + long(from + dv50.size()), b.begin() + long(from)));
}

}  // namespace
}  // namespace kelo::engine

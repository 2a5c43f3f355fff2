// Every container through the same checks, on files the peers made: FFmpeg (raw DV, AVI, MOV) and
// dvgrab (raw, type 1 and type 2 AVI, QuickTime). A stamped copy keeps the input's size, differs
// only in video DIF blocks, decodes in FFmpeg without errors and keeps its recording dates.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "dv/DifLayout.h"
#include "support/TestUtil.h"

namespace kelo::container {
namespace {

using nlohmann::json;
using test::runCommand;
using test::shellQuote;

constexpr int kFrames = 10;
constexpr const char* kRecorded = "2003-06-22 21:50:38";

json infoOf(const std::string& path) {
  const auto r = runCommand(shellQuote(test::keloCli()) + " info " + shellQuote(path) + " 2>/dev/null");
  if (r.exitCode != 0) return {};
  return json::parse(r.output, nullptr, false);
}

class Containers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    // FFmpeg's DV muxer writes the recording date and time packs from creation_time.
    raw_ = dir_.file("ffmpeg.dv");
    const auto r = runCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
        "sine=frequency=440:sample_rate=48000 -t 0.4 -ac 2 -metadata creation_time=2003-06-22T21:50:38 -pix_fmt "
        "yuv420p -f dv " +
        shellQuote(raw_));
    ASSERT_EQ(0, r.exitCode) << r.output;
  }

  std::string ffmpegRewrap(const char* format, const char* name) {
    const std::string out = dir_.file(name);
    const auto r = runCommand("ffmpeg -nostdin -v error -y -i " + shellQuote(raw_) + " -c copy -f " + format + " " +
                              shellQuote(out));
    return r.exitCode == 0 ? out : std::string();
  }

  std::string dvgrab(const char* format, const char* prefix) {
    if (!test::haveProgram("dvgrab")) return {};
    return test::rewrapWithDvgrab(raw_, format, dir_.file(prefix), kFrames);
  }

  // The one set of checks; `container` as kelo-cli info names it.
  void stampAndCheck(const std::string& in, const char* container) {
    SCOPED_TRACE(in);
    const json before = infoOf(in);
    ASSERT_FALSE(before.is_null() || before.is_discarded());
    EXPECT_EQ(container, before["container"]);
    EXPECT_EQ(kFrames, before["frames"]);
    EXPECT_EQ(kRecorded, before["firstRecorded"]);
    const std::string sum = test::sha256File(in);

    const std::string outDir = dir_.file(std::string("out-") + std::filesystem::path(in).filename().string());
    std::filesystem::create_directory(outDir);
    const auto stamp = runCommand(shellQuote(test::keloCli()) + " stamp --output " + shellQuote(outDir) + " " +
                                  shellQuote(in));
    ASSERT_EQ(0, stamp.exitCode) << stamp.output;
    const std::string out = outDir + "/" + std::filesystem::path(in).filename().string();
    EXPECT_EQ(std::filesystem::file_size(in), std::filesystem::file_size(out));
    EXPECT_EQ(sum, test::sha256File(in));

    const auto verify = runCommand(shellQuote(test::keloCli()) + " verify --json " + shellQuote(in) + " " + shellQuote(out));
    EXPECT_EQ(0, verify.exitCode) << verify.output;
    const json v = json::parse(verify.output.substr(0, verify.output.rfind('}') + 1), nullptr, false);
    ASSERT_FALSE(v.is_discarded()) << verify.output;
    EXPECT_EQ(kFrames, v["framesFound"]);
    EXPECT_EQ(kFrames, v["framesDiffering"]);

    const auto decoded = runCommand("ffmpeg -nostdin -v error -i " + shellQuote(out) + " -f null -");
    EXPECT_EQ(0, decoded.exitCode);
    EXPECT_EQ("", decoded.output);

    const json after = infoOf(out);
    for (const char* key : {"container", "frames", "firstRecorded", "lastRecorded", "system"})
      EXPECT_EQ(before[key], after[key]) << key;
  }

  test::TempDir dir_;
  std::string raw_;
};

TEST_F(Containers, StampedCopiesOfPeerFilesKeepLayoutDatesAndDecode) {
  struct Case {
    const char* container;
    std::function<std::string()> make;
    bool flaky;  // dvgrab now and then fails to write its file; that decides nothing
  };
  const Case cases[] = {
      {"dv", [&] { return raw_; }, false},
      {"avi", [&] { return ffmpegRewrap("avi", "ffmpeg.avi"); }, false},
      {"mov", [&] { return ffmpegRewrap("mov", "ffmpeg.mov"); }, false},
      {"dv", [&] { return dvgrab("raw", "raw-"); }, true},
      {"avi", [&] { return dvgrab("dv1", "dv1-"); }, true},
      {"avi", [&] { return dvgrab("dv2", "dv2-"); }, true},
      {"mov", [&] { return dvgrab("qt", "qt-"); }, true},
  };
  for (const Case& c : cases) {
    const std::string in = c.make();
    if (in.empty()) {
      if (!c.flaky) ADD_FAILURE() << "the peer wrote no " << c.container << " file";
      continue;
    }
    stampAndCheck(in, c.container);
  }
}

TEST_F(Containers, DateFromVauxWhenTheSubcodePacksAreGone) {
  std::vector<uint8_t> bytes = test::readFile(raw_);
  ASSERT_EQ(static_cast<size_t>(kFrames) * 144000, bytes.size());
  // Frame 0 loses every subcode block's payload.
  for (int sequence = 0; sequence < 12; ++sequence)
    for (int i = 0; i < 2; ++i) std::fill_n(bytes.begin() + dv::subcodeOffset(sequence, i) + 3, 77, 0xFF);
  const std::string damaged = dir_.file("damaged.dv");
  ASSERT_TRUE(test::writeFile(damaged, bytes));
  const json j = infoOf(damaged);
  EXPECT_EQ(kRecorded, j["firstRecorded"]);
  EXPECT_EQ(0, j["framesWithoutDate"]);
}

TEST_F(Containers, PartialLastFrameOfARawStreamIsCopiedAndReported) {
  std::vector<uint8_t> bytes = test::readFile(raw_);
  bytes.resize(bytes.size() - 100000);  // the last frame keeps 44 000 of its bytes
  const std::string cut = dir_.file("cut.dv");
  ASSERT_TRUE(test::writeFile(cut, bytes));
  const json j = infoOf(cut);
  EXPECT_EQ(kFrames - 1, j["frames"]);
  EXPECT_EQ(44000, j["partialFrameBytes"]);

  const std::string outDir = dir_.file("out");
  std::filesystem::create_directory(outDir);
  const auto stamp = runCommand(shellQuote(test::keloCli()) + " stamp --output " + shellQuote(outDir) + " " + shellQuote(cut));
  EXPECT_EQ(0, stamp.exitCode) << stamp.output;
  EXPECT_NE(std::string::npos, stamp.output.find("*** 文件末尾有不完整的一帧（44000 字节），原样复制，没有加码。"));
  const std::vector<uint8_t> out = test::readFile(outDir + "/cut.dv");
  ASSERT_EQ(bytes.size(), out.size());
  EXPECT_TRUE(std::equal(bytes.end() - 44000, bytes.end(), out.end() - 44000));
}

// Unknown content, FIFOs and folders: a one-line reason, a failing status, nothing under the final
// name, and no wait on a FIFO that nobody writes.
TEST_F(Containers, RefusedInputsAndOutputs) {
  const std::string cli = shellQuote(test::keloCli());
  const std::string text = dir_.file("notes.dv");
  ASSERT_TRUE(test::writeFile(text, std::vector<uint8_t>(200000, 'x')));
  const std::string fifo = dir_.file("pipe.dv");
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  const std::string outDir = dir_.file("out");
  std::filesystem::create_directory(outDir);
  struct Case {
    std::string command;
    const char* says;
  };
  const Case cases[] = {
      {"info " + shellQuote(text), "此文件不是 DV 文件"},
      {"info " + shellQuote(fifo), "不是普通文件"},
      {"info " + shellQuote(dir_.path()), "不是普通文件"},
      {"stamp --output " + shellQuote(outDir) + " " + shellQuote(text), "此文件不是 DV 文件"},
      {"stamp --output " + shellQuote(outDir) + " " + shellQuote(fifo), "不是普通文件"},
      {"frame " + shellQuote(fifo) + " --out " + shellQuote(dir_.file("f.png")), "不是普通文件"},
  };
  for (const Case& c : cases) {
    const auto r = runCommand("timeout 60 " + cli + " " + c.command + " 2>&1");
    EXPECT_NE(0, r.exitCode) << c.command;
    EXPECT_NE(-1, r.exitCode) << c.command;
    EXPECT_NE(std::string::npos, r.output.find(c.says)) << c.command << "\n" << r.output;
  }
  EXPECT_FALSE(std::filesystem::exists(outDir + "/notes.dv"));
  EXPECT_FALSE(std::filesystem::exists(outDir + "/pipe.dv"));

  // An output path that is a FIFO is refused before it is opened.
  const std::string fifoOut = outDir + "/ffmpeg.dv";
  ASSERT_EQ(0, ::mkfifo(fifoOut.c_str(), 0600));
  const auto r = runCommand("timeout 60 " + cli + " stamp --output " + shellQuote(outDir) + " " + shellQuote(raw_) + " 2>&1");
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("不是普通文件")) << r.output;
}

}  // namespace
}  // namespace kelo::container

// Real files from the peers: DV made by FFmpeg, wrapped by dvgrab (type 1, type 2, OpenDML) and by
// FFmpeg (type 2). kelo-cli info must agree with MediaInfo, and a copy through reader and writer
// must be byte-identical.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/AviFixture.h"
#include "support/TestUtil.h"

namespace kelo::container {
namespace {

using nlohmann::json;
using test::runCommand;
using test::shellQuote;

struct Clip {
  const char* name;
  bool pal;
  const char* creationTime;  // ISO, as FFmpeg takes it
  const char* recorded;      // as kelo-cli info prints it
  double seconds;  // length of the clip
};

class AviPeers : public ::testing::TestWithParam<Clip> {
 protected:
  void SetUp() override {
    for (const char* p : {"ffmpeg", "dvgrab", "mediainfo"}) {
      if (!test::haveProgram(p)) GTEST_SKIP() << p << " is not installed";
    }
  }

  // Raw DV with sound (FFmpeg's DV muxer wants audio for every frame); sets frames_.
  std::string makeDv(const Clip& c) {
    const std::string dv = dir_.file("clip.dv");
    const std::string d = std::to_string(c.seconds);
    const std::string cmd =
        std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=") +
        (c.pal ? "720x576:rate=25" : "720x480:rate=30000/1001") + ":duration=" + d +
        " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=" + d + " -ac 2 -metadata creation_time=" +
        c.creationTime + " -pix_fmt " + (c.pal ? "yuv420p" : "yuv411p") + " -f dv " + shellQuote(dv);
    const auto r = runCommand(cmd);
    EXPECT_EQ(0, r.exitCode) << r.output;
    frames_ = static_cast<int>(test::readFile(dv).size() / (c.pal ? 144000 : 120000));
    EXPECT_GE(frames_, 5);
    return dv;
  }

  std::string dvgrab(const std::string& dv, const std::string& format, bool openDml) {
    return test::rewrapWithDvgrab(dv, format + (openDml ? " -opendml" : ""),
                                  dir_.file(format + (openDml ? "-odml-" : "-")), frames_);
  }

  json info(const std::string& avi) {
    const auto r = runCommand(shellQuote(test::keloCli()) + " info " + shellQuote(avi));
    EXPECT_EQ(0, r.exitCode) << r.output;
    return json::parse(r.output, nullptr, false);
  }

  json mediainfoTrack(const std::string& avi, const std::string& type) {
    const auto r = runCommand("mediainfo --Output=JSON " + shellQuote(avi));
    const json j = json::parse(r.output, nullptr, false);
    if (j.is_discarded()) return {};
    for (const json& t : j["media"]["track"]) {
      if (t.value("@type", "") == type) return t;
    }
    return {};
  }

  void check(const std::string& avi, int aviType, const Clip& c) {
    if (avi.empty()) {
      ADD_FAILURE() << "dvgrab wrote no file";
      return;
    }
    SCOPED_TRACE(avi);
    const json j = info(avi);
    ASSERT_FALSE(j.is_discarded());
    EXPECT_EQ(aviType, j["aviType"]);
    EXPECT_EQ(c.pal ? "625/50" : "525/60", j["system"]);
    EXPECT_EQ(frames_, j["frames"]);
    EXPECT_EQ(c.recorded, j["firstRecorded"]);
    EXPECT_EQ(0, j["framesWithoutDate"]);
    EXPECT_EQ(1, j["recordingDays"]);

    // MediaInfo: frame count, system and the first recording date. The MediaInfo of Debian 12
    // reads years 2025 and later as 1925 and later; the pack's two digits are what counts.
    const json general = mediainfoTrack(avi, "General");
    const json video = mediainfoTrack(avi, "Video");
    EXPECT_EQ(std::to_string(frames_), video.value("FrameCount", ""));
    EXPECT_EQ(c.pal ? "PAL" : "NTSC", video.value("Standard", ""));
    std::string theirs = general.value("Recorded_Date", "").substr(0, 19);
    std::string ours = c.recorded;
    EXPECT_EQ(ours.substr(2), theirs.substr(2));

    // A frame-by-frame copy is the same file, and the input is left as it was.
    const std::string before = test::sha256File(avi);
    const std::string copy = dir_.file("copy.avi");
    int frames = 0;
    ASSERT_EQ(0, test::copyThroughReader(avi, copy, &frames));
    EXPECT_EQ(frames_, frames);
    EXPECT_EQ(before, test::sha256File(copy));
    EXPECT_EQ(before, test::sha256File(avi));
  }

  test::TempDir dir_;
  int frames_ = 0;
};

TEST_P(AviPeers, InfoAndCopyAgreeWithThePeers) {
  const Clip c = GetParam();
  const std::string dv = makeDv(c);
  check(dvgrab(dv, "dv1", false), 1, c);
  check(dvgrab(dv, "dv1", true), 1, c);
  check(dvgrab(dv, "dv2", false), 2, c);
  check(dvgrab(dv, "dv2", true), 2, c);
  const std::string ff = dir_.file("ffmpeg.avi");
  ASSERT_EQ(0, runCommand("ffmpeg -nostdin -v error -y -i " + shellQuote(dv) + " -c copy " + shellQuote(ff)).exitCode);
  check(ff, 2, c);
}

INSTANTIATE_TEST_SUITE_P(Systems, AviPeers,
                         ::testing::Values(Clip{"pal", true, "2003-06-22T21:50:38", "2003-06-22 21:50:38", 0.32},
                                           Clip{"ntsc", false, "2026-01-02T03:04:05", "2026-01-02 03:04:05", 0.3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AviPeerRejects, OtherCodecsAndContainers) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  test::TempDir dir;
  struct Case {
    std::string args;
    std::string file;
    std::string message;
  };
  const std::vector<Case> cases{
      {"-c:v mjpeg -pix_fmt yuvj420p", "mjpeg.avi", "***错误: 此文件不是有效 DV AVI 文件。"},
      {"-c:v rawvideo -pix_fmt yuv420p", "raw.avi", "***错误: 此文件不是有效 DV AVI 文件。"},
      {"-c:v mjpeg -pix_fmt yuvj420p -f matroska", "clip.dv", "***错误: 此文件不是 DV 文件（AVI、DV 或 QuickTime）。"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(c.file);
    ASSERT_EQ(0, runCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -frames:v 10 -q:v 2 " +
                            c.args + " " + shellQuote(path))
                     .exitCode);
    const std::string before = test::sha256File(path);
    const auto r = runCommand(shellQuote(test::keloCli()) + " info " + shellQuote(path));
    EXPECT_NE(0, r.exitCode);
    EXPECT_NE(std::string::npos, r.output.find(c.message)) << r.output;
    EXPECT_EQ(before, test::sha256File(path));
  }
}

}  // namespace
}  // namespace kelo::container

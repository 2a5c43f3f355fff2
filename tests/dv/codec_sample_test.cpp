// The sample media made by our own encoder: readable by FFmpeg and MediaInfo, faithful to the test
// picture, with the recording times and timecodes of its scenes; kelo-cli sample and frame.
#include <gtest/gtest.h>

#include <cstring>

#include "codec_media.h"
#include "dv/FrameCodec.h"
#include "dv/Packs.h"
#include "dv/SampleWriter.h"
#include "dv/TestPicture.h"

namespace kelo::dv {
namespace {

std::vector<uint8_t> generate(const VideoProfile& profile, std::vector<SampleScene> scenes, int frames) {
  SampleGenerator gen(profile, std::move(scenes));
  gen.limitFrames(frames);
  std::vector<uint8_t> out(gen.frameBytes() * static_cast<size_t>(gen.frameCount()));
  for (int64_t i = 0; i < gen.frameCount(); ++i) EXPECT_EQ(0, gen.next(out.data() + i * gen.frameBytes()));
  std::vector<uint8_t> extra(gen.frameBytes());
  EXPECT_EQ(1, gen.next(extra.data()));
  return out;
}

class SampleMedia : public ::testing::TestWithParam<const VideoProfile*> {};

TEST_P(SampleMedia, EncodesTheTestPictureFaithfullyAndFfmpegAgrees) {
  const VideoProfile& profile = *GetParam();
  const std::vector<uint8_t> dv = generate(profile, {}, 2);
  const size_t frameBytes = test::codec::frameBytes(profile);
  ASSERT_EQ(2 * frameBytes, dv.size());
  Picture expected, decoded;
  allocatePicture(expected, profile);
  for (int f = 0; f < 2; ++f) {
    drawTestPicture(expected, f);
    FrameDecodeStats stats;
    ASSERT_EQ(0, decodeFrame(dv.data() + f * frameBytes, frameBytes, profile, decoded, &stats));
    EXPECT_EQ(0, stats.damagedSegments);
    const auto y = test::codec::comparePlanes(decoded.y.data(), expected.y.data(), expected.y.size());
    const auto cb = test::codec::comparePlanes(decoded.cb.data(), expected.cb.data(), expected.cb.size());
    std::printf("%s frame %d: our encoder, Y %.2f dB, Cb %.2f dB against the picture\n", profile.name, f, y.psnr, cb.psnr);
    EXPECT_GT(y.psnr, 30.0);
    EXPECT_GT(cb.psnr, 30.0);
  }
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  test::TempDir dir;
  const std::string path = dir.file("sample.dv");
  ASSERT_TRUE(test::writeFile(path, dv));
  const test::CommandResult check = test::runCommand("ffmpeg -nostdin -v error -i " + test::shellQuote(path) + " -f null -");
  EXPECT_EQ(0, check.exitCode);
  EXPECT_EQ("", check.output);
  const std::string pixfmt = test::ffmpegPixelFormat(profile);
  const std::string yuv = dir.file("sample.yuv");
  ASSERT_EQ(0, test::runCommand("ffmpeg -nostdin -v error -i " + test::shellQuote(path) + " -f rawvideo -pix_fmt " +
                                pixfmt + " " + test::shellQuote(yuv))
                   .exitCode);
  const std::vector<uint8_t> ref = test::readFile(yuv);
  ASSERT_EQ(test::codec::yuvFrameBytes(profile) * 2, ref.size());
  ASSERT_EQ(0, decodeFrame(dv.data() + frameBytes, frameBytes, profile, decoded));
  const uint8_t* r = ref.data() + test::codec::yuvFrameBytes(profile);
  EXPECT_LE(test::codec::comparePlanes(decoded.y.data(), r, decoded.y.size()).maxDiff, 2);
  EXPECT_LE(test::codec::comparePlanes(decoded.cb.data(), r + decoded.y.size(), decoded.cb.size()).maxDiff, 2);
}

TEST_P(SampleMedia, PeersReadTheRecordingDateAndTimecode) {
  if (!test::haveProgram("mediainfo") || !test::haveProgram("ffprobe")) GTEST_SKIP() << "mediainfo or ffprobe missing";
  test::TempDir dir;
  const std::string path = dir.file("sample.dv");
  ASSERT_TRUE(test::writeFile(path, generate(*GetParam(), {}, 2)));
  const test::CommandResult mi = test::runCommand("mediainfo " + test::shellQuote(path));
  EXPECT_NE(std::string::npos, mi.output.find("2005-03-07 23:59:55")) << mi.output;
  const test::CommandResult probe =
      test::runCommand("ffprobe -v error -show_entries format_tags=timecode -of default=nw=1 " + test::shellQuote(path));
  EXPECT_NE(std::string::npos, probe.output.find("timecode=00:00:00:00")) << probe.output;
}

INSTANTIATE_TEST_SUITE_P(Layouts, SampleMedia,
                         ::testing::Values(&test::palProfile(), &test::ntscProfile(), &test::pal411Profile()),
                         [](const ::testing::TestParamInfo<const VideoProfile*>& info) {
                           return std::string(info.param == &test::palProfile()    ? "pal"
                                              : info.param == &test::ntscProfile() ? "ntsc"
                                                                                   : "pal411");
                         });

TEST(SampleScenes, EachSceneStartsItsOwnRecordingTimeWhileTheTimecodeRunsOn) {
  // Scene 1: 2005-03-07 23:59:59 for 1 s (25 frames), scene 2: 2006-01-01 08:00:00.
  SampleScene a{2005, 3, 7, 23, 59, 59, 1};
  SampleScene b{2006, 1, 1, 8, 0, 0, 2};
  SampleGenerator gen(test::palProfile(), {a, b});
  ASSERT_EQ(75, gen.frameCount());
  std::vector<uint8_t> frame(gen.frameBytes());
  DateTimeReadOptions options;
  options.wantTapeTimecode = true;
  struct Expect {
    int index, year, month, day, seconds, tcSeconds, tcFrames;
  };
  const Expect expect[] = {{0, 2005, 3, 7, 23 * 3600 + 59 * 60 + 59, 0, 0},
                           {24, 2005, 3, 7, 23 * 3600 + 59 * 60 + 59, 0, 24},
                           {25, 2006, 1, 1, 8 * 3600, 1, 0},
                           {50, 2006, 1, 1, 8 * 3600 + 1, 2, 0}};
  size_t e = 0;
  for (int i = 0; i < 75 && e < std::size(expect); ++i) {
    ASSERT_EQ(0, gen.next(frame.data()));
    if (i != expect[e].index) continue;
    DvFrameInfo info;
    ASSERT_EQ(0, readRecordedDateTime(info, options, frame.data(), frame.size())) << i;
    EXPECT_EQ(expect[e].year - 1900, info.recorded.tm_year) << i;
    EXPECT_EQ(expect[e].month - 1, info.recorded.tm_mon) << i;
    EXPECT_EQ(expect[e].day, info.recorded.tm_mday) << i;
    EXPECT_EQ(expect[e].seconds, info.secondsOfDay) << i;
    EXPECT_EQ(expect[e].tcSeconds, info.timecodeSeconds) << i;
    EXPECT_EQ(expect[e].tcFrames, info.timecodeFrames) << i;
    ++e;
  }
  EXPECT_EQ(std::size(expect), e);
}

TEST(SampleScenes, SceneTextsAreCheckedBeforeAnythingIsWritten) {
  SampleScene s;
  std::string error;
  EXPECT_TRUE(parseSampleScene("2004-02-29 12:30:00,3", s, error)) << error;
  EXPECT_EQ(2004, s.year);
  EXPECT_EQ(29, s.day);
  EXPECT_EQ(3, s.durationSeconds);
  EXPECT_TRUE(parseSampleScene("\"1999-12-31 23:59:59\",1", s, error)) << error;
  for (const char* bad : {"2005-02-29 12:00:00,3", "2005-03-07 24:00:00,3", "1994-01-01 00:00:00,3",
                          "2005-03-07 23:59:55,0", "2005-03-07 23:59:55", "2005-03-07 23:59:55,3x", "tomorrow,3",
                          "2005-03-07 23:59:55,86401"}) {
    error.clear();
    EXPECT_FALSE(parseSampleScene(bad, s, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(SampleCli, SampleAndFrameCommandsRoundTripThroughFiles) {
  const std::string cli = test::keloCli();
  if (cli.empty()) GTEST_SKIP() << "KELO_CLI is not set";
  test::TempDir dir;
  const std::string dv = dir.file("clip.dv");
  const test::CommandResult made = test::runCommand(test::shellQuote(cli) + " sample " + test::shellQuote(dv) +
                                                    " --system ntsc --frames 2 --scene \"2010-06-01 12:00:00,5\"");
  ASSERT_EQ(0, made.exitCode) << made.output;
  const std::vector<uint8_t> bytes = test::readFile(dv);
  ASSERT_EQ(2 * test::codec::frameBytes(test::ntscProfile()), bytes.size());

  // .yuv holds the planes exactly as decoded; .png and .ppm are pictures.
  const std::string yuv = dir.file("f1.yuv");
  ASSERT_EQ(0, test::runCommand(test::shellQuote(cli) + " frame " + test::shellQuote(dv) + " --index 1 --out " +
                                test::shellQuote(yuv))
                   .exitCode);
  Picture p;
  ASSERT_EQ(0, decodeFrame(bytes.data() + test::codec::frameBytes(test::ntscProfile()), test::codec::frameBytes(test::ntscProfile()),
                           test::ntscProfile(), p));
  std::vector<uint8_t> planes = p.y;
  planes.insert(planes.end(), p.cb.begin(), p.cb.end());
  planes.insert(planes.end(), p.cr.begin(), p.cr.end());
  EXPECT_EQ(planes, test::readFile(yuv));
  for (const char* name : {"f0.png", "f0.ppm"}) {
    const test::CommandResult r = test::runCommand(test::shellQuote(cli) + " frame " + test::shellQuote(dv) +
                                                   " --index 0 --out " + test::shellQuote(dir.file(name)));
    EXPECT_EQ(0, r.exitCode) << r.output;
    EXPECT_GT(test::readFile(dir.file(name)).size(), 1000u) << name;
  }

  // Bad input: a clear one-line error, a failing status, nothing written.
  struct Bad {
    std::string args;
    const char* says;
  };
  const std::string notDv = dir.file("notdv.dv");
  ASSERT_TRUE(test::writeFile(notDv, std::vector<uint8_t>(200000, 0xFF)));
  const Bad bad[] = {{" frame " + test::shellQuote(dv) + " --index 2 --out " + test::shellQuote(dir.file("x.png")), "outside"},
                     {" frame " + test::shellQuote(notDv) + " --out " + test::shellQuote(dir.file("x.png")), "此文件不是 DV 文件"},
                     {" frame " + test::shellQuote(dir.file("missing.dv")) + " --out " + test::shellQuote(dir.file("x.png")),
                      "cannot open"},
                     {" frame " + test::shellQuote(dv) + " --out " + test::shellQuote(dir.file("x.bmp")), ".png, .ppm or .yuv"},
                     {" sample " + test::shellQuote(dir.file("x.dv")) + " --scene \"2005-13-01 00:00:00,2\"", "no such date"}};
  for (const Bad& b : bad) {
    const test::CommandResult r = test::runCommand(test::shellQuote(cli) + b.args);
    EXPECT_NE(0, r.exitCode) << b.args;
    EXPECT_NE(std::string::npos, r.output.find(b.says)) << r.output;
  }
  EXPECT_TRUE(test::readFile(dir.file("x.png")).empty());
  EXPECT_TRUE(test::readFile(dir.file("x.dv")).empty());
}

}  // namespace
}  // namespace kelo::dv

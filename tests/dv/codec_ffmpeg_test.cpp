// Our decoder against FFmpeg's on frames FFmpeg encoded, in every layout and both DCT modes.
#include <gtest/gtest.h>

#include "codec_media.h"
#include "dv/FrameCodec.h"

namespace kelo::dv {
namespace {

using test::codec::Clip;

struct Case {
  const char* name;
  const char* source;
  const char* filter;
  const VideoProfile& (*profile)();
  bool interlacedDct;
};

class DecodeAgainstFfmpeg : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeAgainstFfmpeg, PlanesMatchFfmpegsDecoding) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const Case& c = GetParam();
  test::TempDir dir;
  Clip clip;
  ASSERT_TRUE(test::codec::makeFfmpegClip(dir, c.name, c.source, c.filter, c.profile(), c.interlacedDct, 2, clip));
  Picture picture;
  for (int f = 0; f < clip.frames; ++f) {
    const uint8_t* frame = clip.dv.data() + f * test::codec::frameBytes(c.profile());
    FrameDecodeStats stats;
    ASSERT_EQ(0, decodeFrame(frame, test::codec::frameBytes(c.profile()), c.profile(), picture, &stats));
    EXPECT_EQ(0, stats.damagedSegments);
    const uint8_t* ref = clip.yuv.data() + f * test::codec::yuvFrameBytes(c.profile());
    const size_t ySize = picture.y.size(), cSize = picture.cb.size();
    const auto y = test::codec::comparePlanes(picture.y.data(), ref, ySize);
    const auto cb = test::codec::comparePlanes(picture.cb.data(), ref + ySize, cSize);
    const auto cr = test::codec::comparePlanes(picture.cr.data(), ref + ySize + cSize, cSize);
    EXPECT_GE(y.psnr, 50.0) << "frame " << f;
    EXPECT_LE(y.maxDiff, 2) << "frame " << f;
    EXPECT_LE(cb.maxDiff, 2) << "frame " << f;
    EXPECT_LE(cr.maxDiff, 2) << "frame " << f;
    RecordProperty("luma_psnr", std::to_string(y.psnr));
    std::printf("%s frame %d: Y %.2f dB (max %d), Cb %.2f dB (max %d), Cr %.2f dB (max %d)\n", c.name, f, y.psnr,
                y.maxDiff, cb.psnr, cb.maxDiff, cr.psnr, cr.maxDiff);
  }
}

const char* kNoise = test::codec::kNoiseFilter;

INSTANTIATE_TEST_SUITE_P(
    Sources, DecodeAgainstFfmpeg,
    ::testing::Values(Case{"pal_testsrc", "testsrc", "", test::palProfile, false},
                      Case{"ntsc_testsrc", "testsrc", "", test::ntscProfile, false},
                      Case{"pal_smptebars_ildct", "smptebars", "", test::palProfile, true},
                      Case{"ntsc_smptebars", "smptebars", "", test::ntscProfile, false},
                      Case{"pal_mandelbrot_ildct", "mandelbrot", "", test::palProfile, true},
                      Case{"ntsc_mandelbrot_ildct", "mandelbrot", "", test::ntscProfile, true},
                      Case{"pal_noise_ildct", "nullsrc", kNoise, test::palProfile, true},
                      Case{"ntsc_noise", "nullsrc", kNoise, test::ntscProfile, false},
                      Case{"ntsc_noise_ildct", "nullsrc", kNoise, test::ntscProfile, true},
                      Case{"pal411_testsrc", "testsrc", "", test::pal411Profile, false},
                      Case{"pal411_mandelbrot_ildct", "mandelbrot", "", test::pal411Profile, true},
                      Case{"pal411_noise", "nullsrc", kNoise, test::pal411Profile, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelo::dv

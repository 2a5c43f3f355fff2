// Decoding and re-encoding segments: unchanged macroblocks keep their coefficients, changed
// segments always fit their budget and stay readable to FFmpeg.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "codec_media.h"
#include "dv/FrameCodec.h"
#include "dv/SegmentDecoder.h"
#include "dv/SegmentEncoder.h"

namespace kelo::dv {
namespace {

using test::codec::Clip;

std::unique_ptr<VideoSegment> parsed(const uint8_t* bytes, const VideoProfile& profile, int s, int k) {
  auto seg = std::make_unique<VideoSegment>();
  loadSegment(*seg, bytes, profile, s, k);
  parseSegment(*seg);
  return seg;
}

void expectSameCoefficients(const Macroblock& a, const Macroblock& b, const std::string& where) {
  EXPECT_EQ(a.qno, b.qno) << where;
  for (int i = 0; i < kBlocksPerMacroblock; ++i) {
    const DctBlock& x = a.blocks[i];
    const DctBlock& y = b.blocks[i];
    EXPECT_EQ(x.dctMode, y.dctMode) << where << " block " << i;
    EXPECT_EQ(x.classNumber, y.classNumber) << where << " block " << i;
    EXPECT_EQ(0, std::memcmp(x.coeffs, y.coeffs, sizeof x.coeffs)) << where << " block " << i;
  }
}

bool segmentIsClean(const VideoSegment& seg) {
  for (const Macroblock& mb : seg.macroblocks) {
    if (mb.vlcError || mb.eobCount != kBlocksPerMacroblock) return false;
  }
  return true;
}

struct Source {
  const char* name;
  const char* source;
  const char* filter;
  const VideoProfile& (*profile)();
  bool interlacedDct;
};

class CodecRoundTrip : public ::testing::TestWithParam<Source> {
 protected:
  void SetUp() override {
    if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const Source& s = GetParam();
    const Clip* clip = test::codec::sharedFfmpegClip(s.name, s.source, s.filter, s.profile(), s.interlacedDct, 1);
    ASSERT_NE(nullptr, clip);
    clip_ = *clip;
    profile_ = &s.profile();
  }
  test::TempDir dir_;
  Clip clip_;
  const VideoProfile* profile_ = nullptr;
};

TEST_P(CodecRoundTrip, UnchangedSegmentsKeepEveryCoefficient) {
  std::vector<uint8_t> frame = clip_.dv;
  int identical = 0, segments = 0;
  for (int s = 0; s < profile_->sequenceCount; ++s) {
    for (int k = 0; k < kSegmentsPerSequence; ++k) {
      uint8_t* bytes = frame.data() + segmentOffset(s, k);
      const auto before = parsed(bytes, *profile_, s, k);
      ASSERT_TRUE(segmentIsClean(*before));
      auto work = parsed(bytes, *profile_, s, k);
      prepareForEncoding(*work);
      uint8_t out[kSegmentBytes];
      std::memcpy(out, bytes, kSegmentBytes);
      encodeSegment(*work, out);
      identical += std::memcmp(out, bytes, kSegmentBytes) == 0 ? 1 : 0;
      ++segments;
      const auto after = parsed(out, *profile_, s, k);
      ASSERT_TRUE(segmentIsClean(*after)) << s << "/" << k;
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        expectSameCoefficients(before->macroblocks[m], after->macroblocks[m],
                               std::to_string(s) + "/" + std::to_string(k) + "/" + std::to_string(m));
      }
    }
  }
  std::printf("%s: %d of %d re-encoded segments byte-identical to FFmpeg's\n", GetParam().name, identical, segments);
}

// Paints high-contrast detail into macroblocks `mask` of every segment, re-encodes, and checks the
// result: every segment parses cleanly, FFmpeg decodes the frame without complaint, and the
// painted area comes back close to what was painted.
void paintAndCheck(const test::TempDir& dir, const Clip& clip, const VideoProfile& profile, unsigned mask,
                   bool noise, const char* name) {
  std::vector<uint8_t> frame = clip.dv;
  std::mt19937 rng(1);
  double sse = 0;
  long samples = 0;
  int keptUntouched = 0, untouched = 0;
  for (int s = 0; s < profile.sequenceCount; ++s) {
    for (int k = 0; k < kSegmentsPerSequence; ++k) {
      uint8_t* bytes = frame.data() + segmentOffset(s, k);
      const auto before = parsed(bytes, profile, s, k);
      auto work = parsed(bytes, profile, s, k);
      int16_t painted[kMacroblocksPerSegment][4][64];
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        if (!(mask & (1u << m))) continue;
        Macroblock& mb = work->macroblocks[m];
        decodeMacroblock(mb);
        mb.modified = 1;
        for (int b = 0; b < 4; ++b) {
          for (int i = 0; i < 64; ++i) {
            int16_t& v = mb.blocks[b].coeffs[i];
            if (noise) {
              v = (rng() & 1) ? 254 : -256;  // levels 255 and 0
            } else {
              const int r = i / 8, c = i % 8;
              const bool glyph = (r >= 2 && r <= 5 && c >= 1 && c <= 6) && !((r == 3 || r == 4) && c >= 3 && c <= 4);
              if (glyph) v = 220;                              // bright glyph body
              if (glyph && (r == 2 || r == 5 || c == 1)) v = -200;  // dark outline
            }
            painted[m][b][i] = v;
          }
        }
      }
      prepareForEncoding(*work);
      encodeSegment(*work, bytes);
      const auto after = parsed(bytes, profile, s, k);
      ASSERT_TRUE(segmentIsClean(*after)) << name << " " << s << "/" << k;
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        Macroblock mb = after->macroblocks[m];
        if (!(mask & (1u << m))) {
          ++untouched;
          const Macroblock& b = before->macroblocks[m];
          bool same = mb.qno == b.qno;
          for (int i = 0; i < 6 && same; ++i) same = std::memcmp(mb.blocks[i].coeffs, b.blocks[i].coeffs, 128) == 0;
          keptUntouched += same ? 1 : 0;
          continue;
        }
        decodeMacroblock(mb);
        for (int b = 0; b < 4; ++b) {
          for (int i = 0; i < 64; ++i) {
            const double e = (mb.blocks[b].coeffs[i] - painted[m][b][i]) / 2.0;  // in levels
            sse += e * e;
            ++samples;
          }
        }
      }
    }
  }
  const double psnr = 10 * std::log10(255.0 * 255.0 * samples / std::max(sse, 1e-9));
  std::printf("%s: painted area %.2f dB; %d of %d untouched macroblocks kept their coefficients\n", name, psnr,
              keptUntouched, untouched);
  // Not a quality bar (that is measured, not asserted): a misplaced or transposed block is far below.
  if (!noise) {
    EXPECT_GT(psnr, 20.0);
  }
  const std::string path = dir.file(std::string(name) + ".dv");
  ASSERT_TRUE(test::writeFile(path, frame));
  const test::CommandResult r = test::runCommand("ffmpeg -nostdin -v error -i " + test::shellQuote(path) + " -f null -");
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ("", r.output);
}

TEST_P(CodecRoundTrip, PaintedSegmentsFitAndDecodeInFfmpeg) {
  paintAndCheck(dir_, clip_, *profile_, 0b00101, false, (std::string(GetParam().name) + "_glyph").c_str());
}

TEST_P(CodecRoundTrip, SegmentsOfMaximalDetailStillFit) {
  paintAndCheck(dir_, clip_, *profile_, 0b11111, true, (std::string(GetParam().name) + "_noise").c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CodecRoundTrip,
    ::testing::Values(Source{"pal_testsrc", "testsrc", "", test::palProfile, false},
                      Source{"ntsc_mandelbrot_ildct", "mandelbrot", "", test::ntscProfile, true},
                      Source{"pal_noise_ildct", "nullsrc", test::codec::kNoiseFilter, test::palProfile, true}),
    [](const ::testing::TestParamInfo<Source>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelo::dv

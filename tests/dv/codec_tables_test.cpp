// The codec's tables and transforms: code table completeness, quantisation steps, the transforms'
// accuracy, and the vectorised inverse transforms against the scalar one.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <array>
#include <cstring>
#include <random>

#include "dv/Dct.h"
#include "dv/QuantTables.h"
#include "dv/ScanTables.h"
#include "dv/VlcTables.h"

namespace kelo::dv {
namespace {

TEST(CodecVlc, EverySixteenBitWindowStartsWithExactlyTheCodeOfTheTable) {
  const VlcDecodeTable& t = vlcDecodeTable();
  // Every explicit code decodes to itself, with either sign, whatever follows it.
  std::mt19937 rng(7);
  for (const AcCode& c : kAcCodes) {
    for (int sign = 0; sign < (c.amplitude ? 2 : 1); ++sign) {
      const int length = c.length + (c.amplitude ? 1 : 0);
      const uint32_t bits = c.amplitude ? (uint32_t{c.bits} << 1) | uint32_t(sign) : c.bits;
      const uint32_t tail = rng() & ((1u << (16 - length)) - 1);
      const VlcEntry e = decodeVlc(t, (bits << (16 - length)) | tail);
      EXPECT_EQ(length, e.length);
      EXPECT_EQ(c.run, e.run);
      EXPECT_EQ(sign ? -c.amplitude : c.amplitude, e.amplitude);
    }
  }
  // The set is complete: every window decodes to some code of 2 to 16 bits.
  for (uint32_t w = 0; w < 65536; ++w) {
    const VlcEntry e = decodeVlc(t, w);
    ASSERT_GE(e.length, 2) << w;
    ASSERT_LE(e.length, 16) << w;
  }
  EXPECT_EQ(kEobLength, decodeVlc(t, 0x6000).length);
  EXPECT_EQ(kRunEob, decodeVlc(t, 0x6000).run);
  // Escapes: 1111110 + 6-bit run; 1111111 + 8-bit amplitude + sign.
  const VlcEntry run = decodeVlc(t, (0x7Eu << 9) | (40u << 3));
  EXPECT_EQ(13, run.length);
  EXPECT_EQ(40, run.run);
  EXPECT_EQ(0, run.amplitude);
  const VlcEntry amp = decodeVlc(t, (0x7Fu << 9) | (200u << 1) | 1u);
  EXPECT_EQ(16, amp.length);
  EXPECT_EQ(-200, amp.amplitude);
}

TEST(CodecVlc, EncodingUsesOwnCodesThenZeroRunPlusAmplitude) {
  const VlcEncodeTable& t = vlcEncodeTable();
  uint32_t codes[2];
  // (0, -1): "00" + sign 1.
  ASSERT_EQ(1, encodePair(t, 0, -1, codes));
  EXPECT_EQ(packCode(0b001, 3), codes[0]);
  // (3, 8) has no code of its own: (2, 0) "111110101100" then (0, 8) "110011" + sign.
  ASSERT_EQ(2, encodePair(t, 3, 8, codes));
  EXPECT_EQ(packCode(0b111110101100, 12), codes[0]);
  EXPECT_EQ(packCode(0b1100110, 7), codes[1]);
  // (10, 30): zero-run escape for 10 zeros (R = 9), then the amplitude escape.
  ASSERT_EQ(2, encodePair(t, 10, 30, codes));
  EXPECT_EQ(packCode((0x7Eu << 6) | 9u, 13), codes[0]);
  EXPECT_EQ(packCode(((0x7Fu << 8) | 30u) << 1, 16), codes[1]);
  EXPECT_EQ(29, t.pairLength[10][30]);
  // Every encodable pair decodes back to the same coefficients.
  const VlcDecodeTable& d = vlcDecodeTable();
  for (int run = 0; run <= 62; ++run) {
    for (int a = 1; a <= 255; a += (a < 30 ? 1 : 17)) {
      const int n = encodePair(t, run, -a, codes);
      int zeros = 0, got = 0, bits = 0;
      for (int i = 0; i < n; ++i) {
        const VlcEntry e = decodeVlc(d, (codeBits(codes[i]) << (16 - codeLength(codes[i]))) & 0xFFFF);
        ASSERT_EQ(codeLength(codes[i]), e.length);
        bits += e.length;
        if (e.amplitude == 0) {
          zeros += e.run + 1;
        } else {
          zeros += e.run;
          got = e.amplitude;
        }
      }
      EXPECT_EQ(run, zeros);
      EXPECT_EQ(-a, got);
      EXPECT_EQ(t.pairLength[run][a], bits);
    }
  }
}

TEST(CodecQuant, StepShiftsMatchTheStandardsTable) {
  // class 3 at QNO 15: step 2 everywhere; class 2 at QNO 8: 1 1 2 2; QNO 12 by class.
  for (int a = 0; a < 4; ++a) EXPECT_EQ(1, stepShift(3, 15, a));
  const int c2q8[4] = {1, 1, 2, 2};
  const int c3q12[4] = {1, 1, 2, 2};
  const int c0q0[4] = {1, 2, 2, 3};
  for (int a = 0; a < 4; ++a) {
    EXPECT_EQ(c2q8[a], stepShift(2, 8, a));
    EXPECT_EQ(c3q12[a], stepShift(3, 12, a));
    EXPECT_EQ(c0q0[a], stepShift(0, 0, a));
    EXPECT_EQ(0, stepShift(0, 12, a));
    EXPECT_EQ(0, stepShift(1, 12, a));
  }
  EXPECT_EQ(5, stepShift(3, 0, 3));
  // Weights: the 2-4-8 difference DC is 1/2, the DCs 1/4.
  EXPECT_DOUBLE_EQ(0.25, weights(kDct88)[0]);
  EXPECT_DOUBLE_EQ(0.25, weights(kDct248)[0]);
  EXPECT_NEAR(0.5, weights(kDct248)[32], 1e-12);
  EXPECT_NEAR(0.490393, weights(kDct88)[1], 1e-6);
  EXPECT_NEAR(0.259892, weights(kDct88)[63], 1e-6);
}

TEST(CodecQuant, ScansArePermutationsAndTheTwoFourEightScanPairsFields) {
  for (const uint8_t* scan : {kScan88, kScan248}) {
    bool seen[64] = {};
    for (int i = 0; i < 64; ++i) seen[scan[i]] = true;
    for (bool s : seen) EXPECT_TRUE(s);
  }
  for (int t = 0; t < 32; ++t) EXPECT_EQ(kScan248[2 * t] + 32, kScan248[2 * t + 1]);
  EXPECT_EQ(32, kScan248[1]);  // the first difference-field coefficient
}

// The exact inverse of the standard in double precision, as level offsets P (level - 128).
void exactInverse(const int16_t* x, int mode, double* p) {
  const double pi = std::acos(-1.0);
  auto c = [](int k) { return k == 0 ? 1.0 / (2.0 * std::sqrt(2.0)) : 0.5; };
  for (int y = 0; y < 8; ++y) {
    for (int col = 0; col < 8; ++col) {
      double s = 0;
      if (mode == kDct88) {
        for (int v = 0; v < 8; ++v)
          for (int h = 0; h < 8; ++h)
            s += c(h) * c(v) * x[8 * v + h] / 4.0 * std::cos((2 * col + 1) * h * pi / 16) *
                 std::cos((2 * y + 1) * v * pi / 16);
      } else {
        const int z = y / 2;
        for (int u = 0; u < 4; ++u)
          for (int h = 0; h < 8; ++h) {
            const double k = c(u) * c(h) * std::cos((2 * z + 1) * u * pi / 8) * std::cos((2 * col + 1) * h * pi / 16);
            s += k * x[8 * u + h] / 4.0 + (y % 2 ? -1 : 1) * k * x[8 * (u + 4) + h] / 4.0;
          }
      }
      p[8 * y + col] = s;
    }
  }
}

std::vector<std::array<int16_t, 64>> randomCoefficientBlocks(int count, int range, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::array<int16_t, 64>> blocks(count);
  for (auto& b : blocks) {
    const int density = static_cast<int>(rng() % 64);
    for (int i = 0; i < 64; ++i) {
      b[i] = static_cast<int16_t>(int(rng() % 64) < density ? int(rng() % (2 * range + 1)) - range : 0);
    }
  }
  return blocks;
}

TEST(CodecDct, InverseTransformIsWithinRoundingOfTheExactOne) {
  const DctKernels& scalar = scalarDctKernels();
  for (int mode : {kDct88, kDct248}) {
    for (const auto& x : randomCoefficientBlocks(500, 600, 11 + mode)) {
      double exact[64];
      exactInverse(x.data(), mode, exact);
      int16_t s[64];
      uint8_t levels[64];
      scalar.toSamples(x.data(), s, mode);
      scalar.toLevels(x.data(), levels, 8, mode);
      for (int i = 0; i < 64; ++i) {
        EXPECT_NEAR(2 * exact[i], s[i], 0.6);
        const double level = std::clamp(exact[i] + 128, 0.0, 255.0);
        EXPECT_NEAR(level, levels[i], 0.6);
      }
    }
  }
}

TEST(CodecDct, VectorisedTransformsAreBitExactWithTheScalarOnes) {
  int count = 0;
  const DctKernels* vectors = vectorDctKernels(count);
  if (count == 0) GTEST_SKIP() << "no vectorised transform for this processor";
  const DctKernels& scalar = scalarDctKernels();
  // Ordinary blocks and hostile ones (full-scale values that saturate every stage).
  auto blocks = randomCoefficientBlocks(2000, 2000, 3);
  auto extreme = randomCoefficientBlocks(500, 32767, 4);
  blocks.insert(blocks.end(), extreme.begin(), extreme.end());
  for (int v = 0; v < count; ++v) {
    for (int mode : {kDct88, kDct248}) {
      for (const auto& x : blocks) {
        int16_t a[64], b[64];
        uint8_t la[8 * 12], lb[8 * 12];
        scalar.toSamples(x.data(), a, mode);
        vectors[v].toSamples(x.data(), b, mode);
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << vectors[v].name << " mode " << mode;
        std::memset(la, 0xAB, sizeof la);
        std::memset(lb, 0xAB, sizeof lb);
        scalar.toLevels(x.data(), la, 12, mode);
        vectors[v].toLevels(x.data(), lb, 12, mode);
        ASSERT_EQ(0, std::memcmp(la, lb, sizeof la)) << vectors[v].name << " mode " << mode;
        // The forward transform takes samples; coefficients make as good (and as hostile) input.
        scalar.forward(x.data(), mode, a);
        vectors[v].forward(x.data(), mode, b);
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << vectors[v].name << " forward mode " << mode;
      }
    }
  }
}

TEST(CodecDct, TransposeSwapsRowsAndColumns) {
  int16_t block[64], original[64];
  for (int i = 0; i < 64; ++i) original[i] = block[i] = static_cast<int16_t>(i * 977 - 31000);
  transposeBlock(block);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(original[8 * x + y], block[8 * y + x]) << y << "," << x;
  transposeBlock(block);
  EXPECT_EQ(0, std::memcmp(block, original, sizeof block));
}

TEST(CodecDct, ForwardTransformInvertsTheInverseOne) {
  std::mt19937 rng(5);
  for (int mode : {kDct88, kDct248}) {
    for (int n = 0; n < 200; ++n) {
      // Samples S of a smooth block plus some noise, in transposed order.
      int16_t t[64];
      for (int i = 0; i < 64; ++i) t[i] = static_cast<int16_t>(2 * (int(rng() % 160) - 80));
      int16_t w[64];
      forwardDct(t, mode, w);
      // Back: dequantise at step 1 (the weighted values) and run the inverse transform.
      const double* weight = weights(mode);
      int16_t x[64];
      for (int i = 0; i < 64; ++i) x[i] = static_cast<int16_t>(std::lround(4.0 * w[i] / weight[i]));
      x[0] = static_cast<int16_t>(16 * w[0]);
      int16_t s[64];
      scalarDctKernels().toSamples(x, s, mode);
      // Rounding the weighted values to integers costs about one level at most places.
      double absError = 0;
      for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
          EXPECT_NEAR(t[8 * c + r], s[8 * r + c], 8) << "mode " << mode;
          absError += std::abs(t[8 * c + r] - s[8 * r + c]);
        }
      EXPECT_LT(absError / 64, 2.0) << "mode " << mode;
    }
  }
}

}  // namespace
}  // namespace kelo::dv

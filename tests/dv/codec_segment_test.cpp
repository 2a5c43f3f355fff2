// Segment decoding and re-encoding on hand-made segments: header fields, codes that continue in
// another block's area, damaged blocks, and the rules of the quantiser search and of trimming.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "dv/DifLayout.h"
#include "dv/QuantTables.h"
#include "dv/SampleWriter.h"
#include "dv/ScanTables.h"
#include "dv/SegmentDecoder.h"
#include "dv/SegmentEncoder.h"
#include "dv/VlcTables.h"

namespace kelo::dv {
namespace {

// A video DIF block of a flat grey picture as FFmpeg writes it: luma DC -4 (level 126), chroma DC 0,
// QNO 15, every block ending at once.
const uint8_t kGreyBlock[80] = {
    0x96, 0x07, 0x00, 0x0f, 0xfe, 0x06, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xfe, 0x06, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xfe, 0x06, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xfe, 0x06,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x16, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x16, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
};

// Macroblock 1 of segment 8 of FFmpeg's 625/50 test pattern: its colour blocks finish in the
// spare bits of its luminance blocks (pass 2), with codes split across areas.
const uint8_t kPassTwoBlock[80] = {
    0x96, 0x07, 0x29, 0x0f, 0x0a, 0x2f, 0xee, 0x4f, 0xad, 0xfe, 0x4b, 0xfc, 0x3f, 0xf1, 0x77, 0xe2,
    0xfb, 0xec, 0xea, 0x06, 0x7f, 0xe3, 0x4f, 0xc5, 0x7f, 0x1e, 0x7b, 0x0c, 0xb2, 0x0c, 0xff, 0xff,
    0x0a, 0x2f, 0xee, 0x4f, 0xad, 0xfe, 0x4b, 0xfc, 0x3f, 0xf1, 0x77, 0xe2, 0xfb, 0xec, 0xea, 0x06,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x2a, 0xbf, 0xf0, 0x3f,
    0xac, 0xfe, 0xb1, 0xfe, 0x53, 0xfc, 0x41, 0x3f, 0x7f, 0xeb, 0x3b, 0x79, 0x7f, 0x0f, 0x2f, 0xc5,
};

struct Bytes {
  uint8_t b[kSegmentBytes];
};

Bytes greySegment() {
  Bytes s;
  for (int m = 0; m < 5; ++m) std::memcpy(s.b + 80 * m, kGreyBlock, 80);
  return s;
}

std::unique_ptr<VideoSegment> parse(const Bytes& bytes, int* result = nullptr) {
  auto seg = std::make_unique<VideoSegment>();
  loadSegment(*seg, bytes.b, profileOf(VideoSystem::k625_50), 0, 8);
  const int r = parseSegment(*seg);
  if (result) *result = r;
  return seg;
}

int16_t at(const DctBlock& b, int scanIndex) { return b.coeffs[kScan88[scanIndex]]; }

TEST(CodecSegmentDecode, ReadsHeadersAndFlatBlocks) {
  Bytes s = greySegment();
  // DC fields 0x1FF and 0x100 in block 0 of macroblocks 1 and 2: -1 and -256.
  s.b[80 + 4] = 0xFF;
  s.b[80 + 5] = 0x86;
  s.b[160 + 4] = 0x80;
  s.b[160 + 5] = 0x06;
  int result = -2;
  const auto seg = parse(s, &result);
  EXPECT_EQ(0, result);
  EXPECT_EQ(-1, seg->macroblocks[1].blocks[0].coeffs[0]);
  EXPECT_EQ(-256, seg->macroblocks[2].blocks[0].coeffs[0]);
  const Macroblock& mb = seg->macroblocks[0];
  EXPECT_EQ(15, mb.qno);
  EXPECT_EQ(6, mb.eobCount);
  for (int b = 0; b < 6; ++b) {
    EXPECT_EQ(b < 4 ? -4 : 0, mb.blocks[b].coeffs[0]);
    EXPECT_EQ(b < 4 ? 0 : 1, mb.blocks[b].classNumber);
    uint8_t levels[64];
    decodeBlockToLevels(mb.blocks[b], mb.qno, levels, 8);
    for (uint8_t l : levels) EXPECT_EQ(b < 4 ? 126 : 128, l);
  }
}

TEST(CodecSegmentDecode, CodesSplitAcrossAreasAreDecodedWholeInPassTwo) {
  Bytes s = greySegment();
  std::memcpy(s.b + 80, kPassTwoBlock, 80);
  int result = -2;
  const auto seg = parse(s, &result);
  EXPECT_EQ(0, result);
  const Macroblock& mb = seg->macroblocks[1];
  EXPECT_EQ(6, mb.eobCount);
  EXPECT_EQ(0, mb.vlcError);
  struct Expect {
    int dc, cls;
    std::vector<std::pair<int, int>> ac;
  };
  const Expect expect[6] = {
      {20, 2, {{1, 114}, {6, -37}, {15, 23}, {28, -17}}},
      {-44, 0, {}},
      {20, 2, {{1, 114}, {6, -37}, {15, 23}, {28, -17}}},
      {-44, 0, {}},
      {85, 3, {{1, -129}, {5, -88}, {6, -41}, {15, 26}, {27, 30}, {28, 19}}},
      {130, 3, {{1, -22}, {5, -15}, {6, -7}, {15, 4}, {27, 5}, {28, 3}}},
  };
  for (int b = 0; b < 6; ++b) {
    const DctBlock& blk = mb.blocks[b];
    EXPECT_EQ(expect[b].dc, blk.coeffs[0]) << b;
    EXPECT_EQ(expect[b].cls, blk.classNumber) << b;
    int nonzero = 0;
    for (int i = 1; i < 64; ++i) nonzero += at(blk, i) != 0;
    EXPECT_EQ(static_cast<int>(expect[b].ac.size()), nonzero) << b;
    for (auto [i, v] : expect[b].ac) EXPECT_EQ(v, at(blk, i)) << "block " << b << " scan " << i;
  }
  // Y0 is two flat halves: 170 on the left, 106 on the right, in all eight rows.
  uint8_t levels[64];
  decodeBlockToLevels(mb.blocks[0], mb.qno, levels, 8);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) EXPECT_EQ(c < 4 ? 170 : 106, levels[8 * r + c]) << r << "," << c;
}

TEST(CodecSegmentDecode, ACodeRunningPastTheLastCoefficientEndsOnlyItsBlock) {
  Bytes s = greySegment();
  // Block 0 of macroblock 0: a zero run to position 62 ("1111110" + 61), (0, +1) at 63, then
  // another (0, +1) that would be position 64, then the end-of-block code.
  uint8_t* area = s.b;
  std::memset(area + 4, 0, 14);
  orBits(area, 80, 32, 0xFE0 >> 3, 9);                 // DC -4
  orBits(area, 80, 44, (0x7Eu << 6) | 61u, 13);        // 62 zeros
  orBits(area, 80, 57, 0b000, 3);                      // +1 at 63
  orBits(area, 80, 60, 0b000, 3);                      // past the end
  orBits(area, 80, 63, kEobBits, 4);
  int result = -2;
  const auto seg = parse(s, &result);
  EXPECT_EQ(0, result);
  const DctBlock& b = seg->macroblocks[0].blocks[0];
  EXPECT_EQ(1, b.error);
  EXPECT_EQ(0, b.eob);
  EXPECT_EQ(1, seg->macroblocks[0].vlcError);
  EXPECT_EQ(1, at(b, 63));
  for (int i = 1; i < 63; ++i) EXPECT_EQ(0, at(b, i));
  // The other blocks and macroblocks are unharmed.
  EXPECT_EQ(5, seg->macroblocks[0].eobCount);
  for (int m = 1; m < 5; ++m) EXPECT_EQ(6, seg->macroblocks[m].eobCount);
}

// ---- encoder ----

// An untouched macroblock whose blocks hold +1 at every AC position (class 2, QNO 15): 193 bits a
// block. `flat` gives one with only DCs. Values set by hand have no codes in the segment's bytes
// for the encoder to take over: as far as the encoder knows, parsing never reached their end.
void untouched(Macroblock& mb, bool flat) {
  mb.modified = 0;
  mb.qno = 15;
  for (DctBlock& b : mb.blocks) {
    std::memset(b.coeffs, 0, sizeof b.coeffs);
    b.dctMode = kDct88;
    b.classNumber = 2;
    b.eob = 0;
    if (!flat)
      for (int i = 1; i < 64; ++i) b.coeffs[i] = 1;
  }
}

// A modified macroblock holding samples (transposed order): a gentle diagonal ramp, or flat.
void painted(Macroblock& mb, bool flat) {
  mb.modified = 1;
  mb.qno = 15;
  for (DctBlock& b : mb.blocks) {
    for (int i = 0; i < 64; ++i) b.coeffs[i] = static_cast<int16_t>(flat ? 40 : 4 * (i % 8 + i / 8));
    b.holdsSamples = 1;
    b.dctMode = kDct88;
    b.classNumber = 1;
  }
}

std::unique_ptr<VideoSegment> encodeAndParse(VideoSegment& seg, SegmentFit expectFit = SegmentFit::ChangedOnly) {
  Bytes out = greySegment();
  EXPECT_EQ(expectFit, encodeSegment(seg, out.b));
  auto back = parse(out);
  for (const Macroblock& mb : back->macroblocks) {
    EXPECT_EQ(6, mb.eobCount);
    EXPECT_EQ(0, mb.vlcError);
  }
  return back;
}

TEST(CodecSegmentEncode, ChangedMacroblockThatFitsTakesTheFinestQno) {
  auto seg = parse(greySegment());
  for (int m = 0; m < 5; ++m) untouched(seg->macroblocks[m], true);
  painted(seg->macroblocks[2], false);
  const auto back = encodeAndParse(*seg);
  EXPECT_EQ(15, back->macroblocks[2].qno);
  for (int m : {0, 1, 3, 4}) EXPECT_EQ(15, back->macroblocks[m].qno);
}

// Untouched macroblocks keep every code while the changed one alone gives way; only when it
// cannot fit even at QNO 1 are the untouched ones coarsened, those with more bits first, each
// once per round.
TEST(CodecSegmentEncode, OnlyTheChangedMacroblockGivesWayUnlessItCannotFit) {
  auto seg = parse(greySegment());
  untouched(seg->macroblocks[0], false);
  untouched(seg->macroblocks[1], true);
  untouched(seg->macroblocks[3], true);
  untouched(seg->macroblocks[4], true);
  // Noise: far more than the bits left beside 1158 at QNO 15, in either DCT mode.
  painted(seg->macroblocks[2], false);
  uint32_t noise = 12345;
  for (DctBlock& b : seg->macroblocks[2].blocks)
    for (int i = 0; i < 64; ++i) b.coeffs[i] = static_cast<int16_t>(((noise = noise * 1103515245u + 12345u) >> 16) % 511 - 256);
  auto back = encodeAndParse(*seg);
  EXPECT_EQ(15, back->macroblocks[0].qno);
  for (const DctBlock& b : back->macroblocks[0].blocks)
    for (int i = 1; i < 64; ++i) ASSERT_EQ(1, at(b, i)) << "scan " << i;
  EXPECT_LT(back->macroblocks[2].qno, 15);

  seg = parse(greySegment());
  untouched(seg->macroblocks[0], false);
  untouched(seg->macroblocks[1], false);
  untouched(seg->macroblocks[3], false);
  untouched(seg->macroblocks[4], true);
  painted(seg->macroblocks[2], true);
  // 3 x 1158 bits of untouched detail do not fit whatever the changed one does; one step each
  // (QNO 14 drops area 3) does.
  back = encodeAndParse(*seg, SegmentFit::AllMacroblocks);
  for (int m : {0, 1, 3}) {
    const Macroblock& mb = back->macroblocks[m];
    EXPECT_EQ(14, mb.qno) << m;
    for (const DctBlock& b : mb.blocks) {
      for (int i = 1; i < 64; ++i) EXPECT_EQ(i < 43 ? 1 : 0, at(b, i)) << m << " scan " << i;
    }
  }
  EXPECT_EQ(15, back->macroblocks[2].qno);  // the changed one from its own start again, untouched ones first
  EXPECT_EQ(15, back->macroblocks[4].qno);
}

// In a changed macroblock the blocks that hold no samples keep their coefficients as long as the
// new QNO is no coarser, and no QNO is chosen at which a value would exceed the largest amplitude.
TEST(CodecSegmentEncode, UnpaintedBlocksOfAChangedMacroblockKeepTheirCoefficients) {
  auto seg = parse(greySegment());
  for (int m = 0; m < 5; ++m) untouched(seg->macroblocks[m], true);
  Macroblock& mb = seg->macroblocks[1];
  mb.qno = 6;  // class 3 at QNO 6: steps 4, 8, 8, 16 in areas 0-3
  for (int b = 1; b < 6; ++b) {
    DctBlock& blk = mb.blocks[b];
    blk.classNumber = 3;
    blk.coeffs[kScan88[1]] = -200;
    blk.coeffs[kScan88[30]] = 100;
    blk.coeffs[kScan88[50]] = 7;
  }
  decodeBlock(mb.blocks[0], mb.qno);
  mb.modified = 1;
  mb.blocks[0].coeffs[9] = 200;
  prepareForEncoding(*seg);
  const auto back = encodeAndParse(*seg);
  const Macroblock& out = back->macroblocks[1];
  // 200 x 4 in area 0 needs a step of 4 to stay within 255: class 3 at QNO 8 is the finest such.
  EXPECT_EQ(8, out.qno);
  for (int b = 1; b < 6; ++b) {
    const DctBlock& blk = out.blocks[b];
    EXPECT_EQ(3, blk.classNumber);
    const uint8_t* shift = stepShiftsByScan(3, out.qno);
    EXPECT_EQ(-200 * 4, at(blk, 1) * (1 << shift[1])) << b;
    EXPECT_EQ(100 * 8, at(blk, 30) * (1 << shift[30])) << b;
    EXPECT_EQ(7 * 16, at(blk, 50) * (1 << shift[50])) << b;
  }
}

TEST(CodecSegmentEncode, ColourClassesFollowTheDecodedSteps) {
  EXPECT_EQ(3, classifyColour(2, 8));   // shifts 1 1 2 2 = class 3 at QNO 12
  EXPECT_EQ(1, classifyColour(0, 12));  // sum 0: class 1 is the coarsest with sum 0
  EXPECT_EQ(2, classifyColour(2, 12));
  EXPECT_EQ(3, classifyColour(3, 0));
  int16_t block[64] = {};
  EXPECT_EQ(0, classifyLuminance(block));
  block[7] = -12;
  EXPECT_EQ(1, classifyLuminance(block));
  block[9] = 36;
  EXPECT_EQ(3, classifyLuminance(block));
}

// Unchanged macroblocks of a real picture whose codes run on into other macroblocks' room keep
// every value when one macroblock of their segment is stamped, whatever buffer the segment is
// written to.
TEST(CodecSegmentEncode, UnchangedMacroblocksWhoseCodesSpillKeepTheirValues) {
  const VideoProfile& profile = profileOf(VideoSystem::k625_50);
  SampleGenerator generator(profile, {});
  std::vector<uint8_t> frame(generator.frameBytes());
  ASSERT_EQ(0, generator.next(frame.data()));
  int spilling = 0;
  for (int s = 0; s < profile.sequenceCount; ++s) {
    for (int k = 0; k < 27; ++k) {
      VideoSegment original;
      loadSegment(original, frame.data() + segmentOffset(s, k), profile, s, k);
      parseSegment(original);
      bool spills = false;
      for (int m : {0, 1, 3, 4})
        for (const DctBlock& b : original.macroblocks[m].blocks) spills = spills || b.thirdTo > b.thirdFrom;
      if (!spills) continue;
      ++spilling;
      auto seg = std::make_unique<VideoSegment>(original);
      Macroblock& stamped = seg->macroblocks[2];
      decodeMacroblock(stamped);
      stamped.modified = 1;
      for (int i = 0; i < 32; ++i) stamped.blocks[0].coeffs[i] = 200;
      prepareForEncoding(*seg);
      Bytes out = greySegment();
      if (encodeSegment(*seg, out.b) != SegmentFit::ChangedOnly) continue;
      const auto back = parse(out);
      for (int m : {0, 1, 3, 4}) {
        const Macroblock& before = original.macroblocks[m];
        const Macroblock& after = back->macroblocks[m];
        ASSERT_EQ(before.qno, after.qno);
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
          ASSERT_EQ(before.blocks[b].classNumber, after.blocks[b].classNumber);
          ASSERT_EQ(0, std::memcmp(before.blocks[b].coeffs, after.blocks[b].coeffs, sizeof before.blocks[b].coeffs))
              << "sequence " << s << " segment " << k << " macroblock " << m << " block " << b;
        }
      }
    }
  }
  EXPECT_GT(spilling, 10);
}

TEST(CodecSegmentEncode, TrimmingKeepsEveryEndOfBlockAndTakesFromTheLastBlocksFirst) {
  // Thirty blocks of 63 values (+1, -200): far over budget.
  int16_t q[30][64];
  int16_t* values[30];
  int bits[30];
  BlockCodes codes;
  for (int b = 0; b < 30; ++b) {
    for (int i = 0; i < 64; ++i) q[b][i] = static_cast<int16_t>(i == 0 ? 0 : (i % 3) ? 1 : -200);
    values[b] = q[b];
    bits[b] = packCodes(q[b], codes);
  }
  const int total = dropTrailingValues(values, bits, 30, kSegmentAcBits);
  int sum = 0;
  for (int b = 0; b < 30; ++b) {
    EXPECT_EQ(packCodes(q[b], codes), bits[b]) << b;
    sum += bits[b];
  }
  EXPECT_EQ(sum, total);
  EXPECT_LE(total, kSegmentAcBits);
  auto valuesLeft = [&](int b) { return std::count_if(q[b] + 1, q[b] + 64, [](int16_t v) { return v != 0; }); };
  EXPECT_LE(valuesLeft(29), valuesLeft(0));
  // Blocks of nothing but the end-of-block code stay so, and 30 of them fit.
  for (int b = 0; b < 30; ++b) {
    std::fill(q[b], q[b] + 64, int16_t{0});
    bits[b] = kEobLength;
  }
  EXPECT_EQ(30 * kEobLength, dropTrailingValues(values, bits, 30, kSegmentAcBits));
}

}  // namespace
}  // namespace kelo::dv

namespace kelo::dv {
namespace {

// The vectorised steps against their plain definitions, on random and extreme samples.
TEST(CodecSegmentEncode, ClassAndQnoTwelveLimitsFollowTheirDefinitions) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 2000; ++round) {
    alignas(32) int16_t t[64];
    for (int16_t& x : t) {
      switch (round % 4) {
        case 0: x = static_cast<int16_t>(next() >> 16); break;                       // whole range
        case 1: x = static_cast<int16_t>(int(next() >> 23) - 256); break;            // picture samples
        case 2: x = (next() >> 31) ? int16_t{32767} : int16_t{-32768}; break;       // extremes
        default: x = static_cast<int16_t>(((next() >> 28) & 1) * 60 + round % 7); break;  // stripes
      }
    }
    int largest = 0;
    for (int i = 1; i < 64; ++i) largest = std::max(largest, std::abs(int{t[i]}));
    EXPECT_EQ(largest > 35 ? 3 : largest > 23 ? 2 : largest > 11 ? 1 : 0, classifyLuminance(t)) << "round " << round;

    const int cls = round % 4;
    int16_t clamped[64];
    std::memcpy(clamped, t, sizeof t);
    clampForQno12(clamped, cls);
    EXPECT_EQ(t[0], clamped[0]);
    for (int i = 1; i < 64; ++i) {
      const int limit = 255 << stepShift(cls, 12, kAreaOfScan[i]);
      ASSERT_EQ(std::clamp<int>(t[i], -limit, limit), clamped[i]) << "class " << cls << " scan " << i;
    }
  }
}

TEST(CodecSegmentEncode, QuantisationRoundsAtItsShareLimitsAndCountsItsCodes) {
  int16_t in[64], q[64];
  for (int i = 0; i < 64; ++i) in[i] = static_cast<int16_t>((i % 2 ? -1 : 1) * (i * 37 % 700));
  in[5] = -32768;
  in[50] = 32767;
  for (int cls = 0; cls < 4; ++cls) {
    for (int qno = 0; qno < 16; ++qno) {
      for (int rounding : {0, 5, 7, 8}) {
        const int bits = quantiseBlock(in, q, qno, cls, rounding);
        EXPECT_EQ(in[0], q[0]);
        for (int i = 1; i < 64; ++i) {
          const int s = stepShift(cls, qno, kAreaOfScan[i]);
          const int mag = std::min(((in[i] < 0 ? -in[i] : in[i]) + ((rounding << s) >> 4)) >> s, 255);
          EXPECT_EQ(in[i] < 0 ? -mag : mag, q[i]) << cls << "/" << qno << "/" << rounding << " scan " << i;
        }
        BlockCodes codes;
        EXPECT_EQ(packCodes(q, codes), bits) << cls << "/" << qno << "/" << rounding;
      }
    }
  }
}

}  // namespace
}  // namespace kelo::dv

// DIF layout arithmetic and telling 525/60 from 625/50.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "support/TestUtil.h"

namespace kelo::dv {
namespace {

TEST(FrameLayout, BlockOrderAndOffsetsAgree) {
  std::set<int> audio, video;
  int headers = 0, subcode = 0, vaux = 0;
  for (int q = 0; q < kBlocksPerSequence; ++q) {
    const BlockSlot slot = blockInSequence(q);
    switch (slot.type) {
      case BlockType::Header: ++headers; break;
      case BlockType::Subcode: EXPECT_EQ(q, 1 + slot.dbn); ++subcode; break;
      case BlockType::Vaux: EXPECT_EQ(q, 3 + slot.dbn); ++vaux; break;
      case BlockType::Audio: EXPECT_EQ(audioBlockIndex(slot.dbn), q); audio.insert(slot.dbn); break;
      case BlockType::Video: EXPECT_EQ(videoBlockIndex(slot.dbn), q); video.insert(slot.dbn); break;
    }
  }
  EXPECT_EQ(headers, 1);
  EXPECT_EQ(subcode, kSubcodeBlocksPerSequence);
  EXPECT_EQ(vaux, kVauxBlocksPerSequence);
  EXPECT_EQ(audio.size(), size_t(kAudioBlocksPerSequence));
  EXPECT_EQ(video.size(), size_t(kVideoBlocksPerSequence));
  EXPECT_EQ(*video.rbegin(), kVideoBlocksPerSequence - 1);
}

TEST(FrameLayout, SegmentsAreFiveConsecutiveVideoBlocks) {
  for (const SystemProfile* p : {&kProfile525_60, &kProfile625_50}) {
    EXPECT_EQ(p->frameBytes, p->sequenceCount * kSequenceBytes);
    EXPECT_EQ(p->segmentsPerFrame, p->sequenceCount * kSegmentsPerSequence);
    for (int s = 0; s < p->sequenceCount; ++s)
      for (int k = 0; k < kSegmentsPerSequence; ++k) {
        const size_t off = segmentOffset(s, k);
        for (int m = 0; m < kBlocksPerSegment; ++m)
          ASSERT_EQ(videoBlockOffset(s, 5 * k + m), off + size_t(m) * kDifBlockBytes) << s << " " << k;
        ASSERT_LE(off + kSegmentBytes, size_t(p->frameBytes));
      }
  }
  EXPECT_EQ(profileFor(1), &kProfile525_60);
  EXPECT_EQ(profileFor(2), &kProfile625_50);
  EXPECT_EQ(profileFor(0), nullptr);
  EXPECT_EQ(profileFor(3), nullptr);
}

// A frame start with a header block and empty VAUX blocks.
std::vector<uint8_t> headerOnly(int dsf) {
  std::vector<uint8_t> f(kDetectBytes, 0xFF);
  f[0] = 0x1F;
  f[1] = 0x07;
  f[2] = 0x00;
  f[3] = uint8_t(dsf << 7 | 0x3F);
  for (int b = 0; b < 3; ++b) f[vauxOffset(0, b)] = 0x5F;
  return f;
}

TEST(FrameLayout, DetectSystemRejectsWhatIsNotAHeaderBlock) {
  DvFrameInfo info;
  info.system = 7;
  info.sequenceCount = 9;
  std::vector<uint8_t> f = headerOnly(1);
  // Too short: the VAUX blocks are needed; nothing past the given length may be read.
  for (size_t len : {size_t(0), size_t(3), size_t(kDetectBytes - 1)}) {
    std::vector<uint8_t> shortCopy(f.begin(), f.begin() + long(len));
    EXPECT_EQ(detectSystem(info, shortCopy.data(), shortCopy.size()), -1) << len;
  }
  EXPECT_EQ(detectSystem(info, nullptr, 1000), -1);
  std::vector<uint8_t> bad = f;
  bad[0] = 0x3F;  // a subcode block
  EXPECT_EQ(detectSystem(info, bad.data(), bad.size()), -1);
  bad = f;
  bad[3] |= 0x40;  // bit after DSF
  EXPECT_EQ(detectSystem(info, bad.data(), bad.size()), -1);
  std::vector<uint8_t> text(kDetectBytes, 'A');
  EXPECT_EQ(detectSystem(info, text.data(), text.size()), -1);
  EXPECT_EQ(info.system, 7);
  EXPECT_EQ(info.sequenceCount, 9);
}

TEST(FrameLayout, DetectSystemByDsfAndVauxSource) {
  DvFrameInfo info;
  std::vector<uint8_t> f = headerOnly(1);
  ASSERT_EQ(detectSystem(info, f.data(), f.size()), 0);
  EXPECT_EQ(info.system, kSystem625_50);
  EXPECT_EQ(info.sequenceCount, 12);
  EXPECT_EQ(info.vauxFiftyField, -1);

  f = headerOnly(0);
  ASSERT_EQ(detectSystem(info, f.data(), f.size()), 0);
  EXPECT_EQ(info.system, kSystem525_60);
  EXPECT_EQ(info.sequenceCount, 10);

  // DSF 0 but the first VAUX source pack says 50 fields: 625/50. Only the first such pack counts.
  const size_t pack = vauxOffset(0, 1) + vauxPackOffset(4);
  const uint8_t source50[5] = {0x60, 0xFF, 0xFF, 0x20, 0xFF};
  std::copy(source50, source50 + 5, f.begin() + long(pack));
  const size_t later = vauxOffset(0, 2) + vauxPackOffset(9);
  const uint8_t source60[5] = {0x60, 0xFF, 0xFF, 0xC0, 0xFF};
  std::copy(source60, source60 + 5, f.begin() + long(later));
  ASSERT_EQ(detectSystem(info, f.data(), f.size()), 0);
  EXPECT_EQ(info.system, kSystem625_50);
  EXPECT_EQ(info.vauxFiftyField, 32);
}

TEST(FrameLayout, DetectSystemOnFramesMadeByFfmpeg) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  test::TempDir dir;
  struct Case {
    const char* size;
    const char* rate;
    const char* pixfmt;
    int system;
    int sequences;
    int fiftyField;
  };
  for (const Case& c : {Case{"720x576", "25", "yuv420p", kSystem625_50, 12, 32},
                        Case{"720x480", "30000/1001", "yuv411p", kSystem525_60, 10, 0}}) {
    const std::string out = dir.file("x.dv");
    const auto r = test::runCommand(std::string("ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=") +
                                    c.size + ":rate=" + c.rate + " -frames:v 1 -pix_fmt " + c.pixfmt +
                                    " -f dv " + test::shellQuote(out));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::vector<uint8_t> frame = test::readFile(out);
    const SystemProfile* p = profileFor(c.system);
    ASSERT_EQ(frame.size(), size_t(p->frameBytes));
    DvFrameInfo info;
    ASSERT_EQ(detectSystem(info, frame.data(), frame.size()), 0);
    EXPECT_EQ(info.system, c.system);
    EXPECT_EQ(info.sequenceCount, c.sequences);
    EXPECT_EQ(info.vauxFiftyField, c.fiftyField);
    // Every block's section type matches the block order.
    for (int s = 0; s < p->sequenceCount; ++s)
      for (int q = 0; q < kBlocksPerSequence; ++q) {
        const uint8_t* b = frame.data() + blockOffset(s, q);
        ASSERT_EQ(b[0] >> 5, int(blockInSequence(q).type)) << s << " " << q;
        ASSERT_EQ(b[1] >> 4, s);
        ASSERT_EQ(b[2], blockInSequence(q).dbn);
      }
  }
}

}  // namespace
}  // namespace kelo::dv

// DIF layout arithmetic, the profile table, and telling a frame's kind and layout from its header.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/VideoProfile.h"
#include "codec_media.h"
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

TEST(FrameLayout, EveryProfileTilesItsPictureWithItsSegments) {
  for (int i = 0; i < kProfileCount; ++i) {
    const VideoProfile& p = profileAt(i);
    EXPECT_EQ(p.frameBytes, p.sequenceCount * kSequenceBytes) << p.name;
    for (int s = 0; s < p.sequenceCount; ++s)
      for (int k = 0; k < kSegmentsPerSequence; ++k) {
        const size_t off = segmentOffset(s, k);
        for (int m = 0; m < kBlocksPerSegment; ++m)
          ASSERT_EQ(videoBlockOffset(s, 5 * k + m), off + size_t(m) * kDifBlockBytes) << s << " " << k;
        ASSERT_LE(off + kSegmentBytes, size_t(p.frameBytes));
      }
    // Every luma sample is covered by exactly one macroblock.
    std::vector<int> cover(size_t(p.width) * size_t(p.height), 0);
    for (int s = 0; s < p.sequenceCount; ++s)
      for (int k = 0; k < kSegmentsPerSequence; ++k)
        for (int m = 0; m < kBlocksPerSegment; ++m) {
          const MacroblockPlace& mb = p.place(s, k, m);
          const int w = mb.shape == MacroblockShape::k411 ? 32 : 16, h = mb.shape == MacroblockShape::k411 ? 8 : 16;
          ASSERT_LE(mb.x + w, p.width) << p.name;
          ASSERT_LE(mb.y + h, p.height) << p.name;
          for (int y = mb.y; y < mb.y + h; ++y)
            for (int x = mb.x; x < mb.x + w; ++x) ++cover[size_t(y) * size_t(p.width) + size_t(x)];
        }
    EXPECT_EQ(std::count(cover.begin(), cover.end(), 1), long(cover.size())) << p.name;
  }
}

// A frame start with a header block (DSF, APT) and VAUX blocks holding one source pack with the
// given PC3 (none when negative).
std::vector<uint8_t> frameStart(int dsf, int apt, int sourcePc3) {
  std::vector<uint8_t> f(kDetectBytes, 0xFF);
  f[0] = 0x1F;
  f[1] = 0x07;
  f[2] = 0x00;
  f[3] = uint8_t(dsf << 7 | 0x3F);
  f[4] = uint8_t(0xF8 | apt);
  for (int b = 0; b < 3; ++b) f[vauxOffset(0, b)] = 0x5F;
  if (sourcePc3 >= 0) {
    const size_t pack = vauxOffset(0, 1) + vauxPackOffset(4);
    const uint8_t source[5] = {0x60, 0xFF, 0xFF, uint8_t(sourcePc3), 0xFF};
    std::copy(source, source + 5, f.begin() + long(pack));
  }
  return f;
}

TEST(FrameLayout, KindAndProfileComeFromTheHeaderBlock) {
  const VideoProfile* ntsc = &test::ntscProfile();
  const VideoProfile* pal = &test::palProfile();
  const VideoProfile* pal411 = &test::pal411Profile();
  struct Case {
    int dsf, apt, sourcePc3;
    FrameKind kind;
    const VideoProfile* profile;
    bool vauxDisagrees;
  };
  for (const Case& c : {
           Case{1, 0, -1, FrameKind::Stampable, pal, false},
           Case{0, 0, -1, FrameKind::Stampable, ntsc, false},
           Case{0, 1, 0xC0, FrameKind::Stampable, ntsc, false},
           Case{1, 0, 0xE0, FrameKind::Stampable, pal, false},
           Case{1, 1, 0xE0, FrameKind::Stampable, pal411, false},
           // The 50/60 bit of the source pack only confirms: DSF decides.
           Case{0, 0, 0xE0, FrameKind::Stampable, ntsc, true},
           Case{1, 0, 0xC0, FrameKind::Stampable, pal, true},
           // Variants that are refused by name.
           Case{1, 1, 0xE4, FrameKind::Dv50, nullptr, false},
           Case{0, 1, 0xD4, FrameKind::DvHd1080, nullptr, false},
           Case{1, 1, 0xF8, FrameKind::DvHd720, nullptr, false},
           Case{1, 0, 0xE9, FrameKind::UnknownStype, nullptr, false},
           Case{1, 2, -1, FrameKind::UnknownApt, nullptr, false},
       }) {
    const std::vector<uint8_t> f = frameStart(c.dsf, c.apt, c.sourcePc3);
    const FrameIdentity id = identifyFrame(f.data(), f.size());
    const std::string where = "dsf " + std::to_string(c.dsf) + " apt " + std::to_string(c.apt) + " pc3 " +
                              std::to_string(c.sourcePc3);
    EXPECT_EQ(id.kind, c.kind) << where;
    EXPECT_EQ(id.profile, c.profile) << where;
    EXPECT_EQ(id.vauxDisagrees, c.vauxDisagrees) << where;
    if (!c.profile) EXPECT_NE(std::string(frameKindName(c.kind)), "") << where;
  }
}

TEST(FrameLayout, WhatIsNotAWholeDvFrameHasNoProfile) {
  const std::vector<uint8_t> f = frameStart(1, 0, -1);
  // Too short: the VAUX blocks are needed; nothing past the given length may be read.
  for (size_t len : {size_t(0), size_t(3), size_t(kDetectBytes - 1)}) {
    std::vector<uint8_t> shortCopy(f.begin(), f.begin() + long(len));
    EXPECT_EQ(identifyFrame(shortCopy.data(), shortCopy.size()).kind, FrameKind::NotDv) << len;
  }
  EXPECT_EQ(identifyFrame(nullptr, 1000).kind, FrameKind::NotDv);
  std::vector<uint8_t> bad = f;
  bad[0] = 0x3F;  // a subcode block
  EXPECT_EQ(identifyFrame(bad.data(), bad.size()).kind, FrameKind::NotDv);
  bad = f;
  bad[3] |= 0x40;  // bit after DSF
  EXPECT_EQ(identifyFrame(bad.data(), bad.size()).kind, FrameKind::NotDv);
  // The kind is told from the first blocks, but a profile only for the whole frame.
  EXPECT_EQ(identifyFrame(f.data(), f.size()).profile, &test::palProfile());
  EXPECT_EQ(profileForFrame(f.data(), f.size()), nullptr);
}

TEST(FrameLayout, EveryLayoutFfmpegWritesIsTold) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  test::TempDir dir;
  for (const VideoProfile* p : {&test::palProfile(), &test::ntscProfile(), &test::pal411Profile()}) {
    const std::string out = dir.file("x.dv");
    const auto r = test::runCommand(std::string("ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=") +
                                    test::ffmpegSize(*p) + ":rate=" + test::ffmpegRate(*p) +
                                    " -frames:v 1 -pix_fmt " + test::ffmpegPixelFormat(*p) + " -f dv " +
                                    test::shellQuote(out));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::vector<uint8_t> frame = test::readFile(out);
    ASSERT_EQ(frame.size(), size_t(p->frameBytes)) << p->name;
    EXPECT_EQ(profileForFrame(frame.data(), frame.size()), p) << p->name;
    if (p == &test::pal411Profile()) EXPECT_EQ(frame[4] & 7, 1);  // APT 001
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

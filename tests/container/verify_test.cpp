// The stamped-file comparison on FFmpeg-made DV AVI files with hand-made changes.
#include <gtest/gtest.h>

#include <cstring>

#include "dv/DifLayout.h"
#include "container/Verify.h"
#include "support/AviFixture.h"
#include "support/TestUtil.h"

namespace kelo::container {
namespace {

using test::TempDir;

std::string makeClip(const TempDir& dir, const std::string& size, const std::string& rate, const std::string& pix) {
  const std::string path = dir.file("in.avi");
  const auto r = test::runCommand("ffmpeg -v error -f lavfi -i testsrc=size=" + size + ":rate=" + rate +
                                  " -f lavfi -i anullsrc=r=48000:cl=stereo -frames:v 3 -c:v dvvideo -pix_fmt " + pix +
                                  " -c:a pcm_s16le -shortest -y " + test::shellQuote(path));
  return r.exitCode == 0 ? path : std::string();
}

struct Clip {
  TempDir dir;
  std::string in;
  std::vector<FrameSpan> frames;
  std::vector<uint8_t> bytes;
};

bool prepare(Clip& c, bool pal) {
  c.in = pal ? makeClip(c.dir, "720x576", "25", "yuv420p") : makeClip(c.dir, "720x480", "30000/1001", "yuv411p");
  if (c.in.empty()) return false;
  if (findDvFrames(c.in, c.frames) != 0) return false;
  c.bytes = test::readFile(c.in);
  return true;
}

VerifyReport compareWith(Clip& c, const std::vector<uint8_t>& changed) {
  const std::string out = c.dir.file("out.avi");
  EXPECT_TRUE(test::writeFile(out, changed));
  VerifyReport r;
  std::string error;
  EXPECT_EQ(verifyStamped(c.in, out, r, error), 0) << error;
  return r;
}

TEST(Verify, FindsEveryFrameAndClassifiesChangesByBlock) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  for (bool pal : {true, false}) {
    Clip c;
    ASSERT_TRUE(prepare(c, pal));
    const int frameBytes = pal ? 144000 : 120000;
    ASSERT_EQ(c.frames.size(), 3u);
    for (const auto& f : c.frames) EXPECT_EQ(f.bytes, frameBytes);

    EXPECT_TRUE(compareWith(c, c.bytes).onlyVideoDiffers());

    // Two bytes of one video segment (sequence 1, segment 4) of frame 1, one of frame 2.
    std::vector<uint8_t> changed = c.bytes;
    const size_t seg = static_cast<size_t>(c.frames[1].offset) + dv::segmentOffset(1, 4);
    changed[seg + 20] ^= 0xFF;
    changed[seg + 3 * 80 + 9] ^= 0xFF;
    changed[static_cast<size_t>(c.frames[2].offset) + dv::segmentOffset(0, 26) + 50] ^= 1;
    VerifyReport r = compareWith(c, changed);
    EXPECT_TRUE(r.onlyVideoDiffers());
    EXPECT_EQ(r.framesDiffering, 2);
    EXPECT_EQ(r.videoBlocksDiffering, 3);
    EXPECT_EQ(r.segmentsDiffering, 2);
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[0].frame, 1);
    EXPECT_EQ(r.frames[0].segments, std::vector<int>{27 + 4});

    // A subcode byte and an audio block byte are not video.
    changed = c.bytes;
    changed[static_cast<size_t>(c.frames[0].offset) + dv::subcodeOffset(0, 1) + 10] ^= 1;
    changed[static_cast<size_t>(c.frames[0].offset) + dv::audioOffset(2, 3) + 10] ^= 1;
    r = compareWith(c, changed);
    EXPECT_FALSE(r.onlyVideoDiffers());
    EXPECT_EQ(r.otherBytesDiffering, 2);
    EXPECT_EQ(r.videoBlocksDiffering, 0);
  }
}

TEST(Verify, HeaderChangesAndSizeChangesFail) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  Clip c;
  ASSERT_TRUE(prepare(c, true));
  std::vector<uint8_t> changed = c.bytes;
  changed[40] ^= 1;
  EXPECT_EQ(compareWith(c, changed).otherBytesDiffering, 1);
  changed = c.bytes;
  changed.pop_back();
  VerifyReport r = compareWith(c, changed);
  EXPECT_TRUE(r.sizesDiffer);
  EXPECT_FALSE(r.onlyVideoDiffers());
}

TEST(Verify, ChunkCodesInCapitalsAreFoundAsTheReaderFindsThem) {
  Clip c;
  test::AviFixtureOptions o;
  o.upperCase = true;
  c.in = c.dir.file("CAPS.AVI");
  ASSERT_EQ(0, test::writeAviFixture(c.in, test::syntheticFrames(test::palProfile(), 3), o));
  c.bytes = test::readFile(c.in);
  std::vector<uint8_t> changed = c.bytes;
  changed[static_cast<size_t>(test::lastFixtureFramePositions()[1]) + 8 + dv::segmentOffset(2, 3) + 30] ^= 1;
  const VerifyReport r = compareWith(c, changed);
  EXPECT_EQ(r.framesFound, 3);
  EXPECT_TRUE(r.onlyVideoDiffers());
  EXPECT_EQ(r.videoBlocksDiffering, 1);
}

TEST(Verify, DamagedChunkSizesDoNotLeadOutsideTheFile) {
  Clip c;
  // RIFF header claiming far more than the file holds, a LIST inside, a frame chunk cut short.
  std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0x7F, 'A', 'V', 'I', ' ',
                                'L', 'I', 'S', 'T', 0xF0, 0xFF, 0xFF, 0xFF, 'm', 'o', 'v', 'i',
                                '0', '0', 'd', 'c', 0x80, 0x32, 0x02, 0x00, 0x1F, 0x07, 0x00, 0x80};
  const std::string path = c.dir.file("bad.avi");
  ASSERT_TRUE(test::writeFile(path, bytes));
  std::vector<FrameSpan> frames;
  EXPECT_EQ(findDvFrames(path, frames), 0);
  EXPECT_TRUE(frames.empty());
  VerifyReport r;
  std::string error;
  EXPECT_EQ(verifyStamped(path, path, r, error), 0);
  EXPECT_TRUE(r.onlyVideoDiffers());
  EXPECT_NE(verifyStamped(c.dir.file("missing.avi"), path, r, error), 0);
}

}  // namespace
}  // namespace kelo::container

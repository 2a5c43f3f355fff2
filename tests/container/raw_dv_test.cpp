// Raw DV streams: frames found by their own headers, whatever lies between them copied through,
// frame n for the preview by arithmetic where the frames are uniform and by counting where not.
#include <gtest/gtest.h>

#include "container/RawDvStream.h"
#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "support/AviFixture.h"
#include "support/TestUtil.h"

namespace kelo::container {
namespace {

// Frame `n` through random access on a fresh stream: its timecode frame number, -1 if none.
int timecodeOfFrame(const std::string& path, int n) {
  RawDvStream stream;
  if (stream.open(path) != 0) return -1;
  stream.setRandomAccess(true);
  if (stream.validateHeader(nullptr, nullptr) != HeaderOutcome::Valid) return -1;
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  dv::DvFrameInfo info;
  size_t length = 0;
  if (stream.readFrame(info, nullptr, buffer.data(), length, n, nullptr) != ReadOutcome::Frame) return -1;
  return test::timecodeFrameNumber(buffer.data(), length);
}

TEST(RawDvStream, OtherBytesAndAPartialLastFrameAreCopiedThroughAndFramesStillFound) {
  test::TempDir dir;
  const auto frames = test::syntheticFrames(test::palProfile(), 5);
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < frames.size(); ++i) {
    bytes.insert(bytes.end(), frames[i].begin(), frames[i].end());
    if (i == 2) bytes.insert(bytes.end(), 1000, 0xAB);  // not a frame: copied, not counted
  }
  const std::string uniform = dir.file("uniform.dv");
  std::vector<uint8_t> plain;
  for (const auto& f : frames) plain.insert(plain.end(), f.begin(), f.end());
  ASSERT_TRUE(test::writeFile(uniform, plain));
  bytes.insert(bytes.end(), frames[0].begin(), frames[0].begin() + 5000);  // a partial last frame
  const std::string odd = dir.file("odd.dv");
  ASSERT_TRUE(test::writeFile(odd, bytes));

  int count = 0;
  std::vector<std::string> log;
  ASSERT_EQ(0, test::copyThroughReader(odd, dir.file("copy.dv"), &count, nullptr, &log));
  EXPECT_EQ(5, count);
  EXPECT_EQ(test::sha256File(odd), test::sha256File(dir.file("copy.dv")));
  EXPECT_EQ(std::vector<std::string>{"*** 文件末尾有不完整的一帧（5000 字节），原样复制，没有加码。"}, log);

  for (int n : {0, 3, 4}) {
    EXPECT_EQ(n, timecodeOfFrame(uniform, n)) << n;
    EXPECT_EQ(n, timecodeOfFrame(odd, n)) << n;
  }
  EXPECT_EQ(-1, timecodeOfFrame(odd, 5));
}

// A frame is read in one go at the first frame's size; a longer one (625/50 behind 525/60) is read
// on to its end, a shorter one leaves the rest for the next frame.
TEST(RawDvStream, FramesOfAnotherSizeThanTheFirstAreReadWhole) {
  test::TempDir dir;
  const auto ntsc = test::syntheticFrames(test::ntscProfile(), 2);
  const auto pal = test::syntheticFrames(test::palProfile(), 2);
  std::vector<uint8_t> bytes;
  for (const auto* f : {&ntsc[0], &pal[0], &pal[1], &ntsc[1]}) bytes.insert(bytes.end(), f->begin(), f->end());
  const std::string mixed = dir.file("mixed.dv");
  ASSERT_TRUE(test::writeFile(mixed, bytes));
  int count = 0;
  ASSERT_EQ(0, test::copyThroughReader(mixed, dir.file("copy.dv"), &count));
  EXPECT_EQ(4, count);
  EXPECT_EQ(test::sha256File(mixed), test::sha256File(dir.file("copy.dv")));
}

}  // namespace
}  // namespace kelo::container

// The frame skeleton writer: read back by our own readers, laid out as FFmpeg lays out its frames,
// and accepted by FFmpeg and MediaInfo (audio format, timecode, recording date).
#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/FrameSkeleton.h"
#include "dv/Packs.h"
#include "codec_media.h"
#include "dv/VideoProfile.h"
#include "support/TestUtil.h"

namespace kelo::dv {
namespace {

FrameStampInfo june2003() {
  FrameStampInfo s;
  s.year = 2003;
  s.month = 6;
  s.day = 22;
  s.hours = 21;
  s.minutes = 50;
  s.seconds = 38;
  s.timecodeHours = 1;
  s.timecodeMinutes = 2;
  s.timecodeSeconds = 3;
  s.timecodeFrames = 4;
  return s;
}

class FrameSkeleton : public testing::TestWithParam<const VideoProfile*> {
 protected:
  const VideoProfile& profile() const { return *GetParam(); }

  // FFmpeg-made frames of this system, recorded 2003-06-22 21:50:38, no audio.
  std::vector<uint8_t> ffmpegFrames(const test::TempDir& dir, int count) const {
    const std::string out = dir.file("ffmpeg.dv");
    const auto r = test::runCommand(
        std::string("ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=") +
        test::ffmpegSize(profile()) + ":rate=" + test::ffmpegRate(profile()) + " -frames:v " +
        std::to_string(count) + " -metadata creation_time=2003-06-22T21:50:38 -pix_fmt " +
        test::ffmpegPixelFormat(profile()) + " -f dv " + test::shellQuote(out));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return test::readFile(out);
  }

  // FFmpeg's frames with our skeleton written over each (frame index i; with `countTimecode` the
  // timecode frames run on from 4).
  std::vector<uint8_t> skeletonStream(const test::TempDir& dir, int count, bool countTimecode) const {
    std::vector<uint8_t> stream = ffmpegFrames(dir, count);
    const size_t bytes = size_t(count) * size_t(profile().frameBytes);
    EXPECT_EQ(stream.size(), bytes);
    if (stream.size() != bytes) return {};
    for (int i = 0; i < count; ++i) {
      FrameStampInfo s = june2003();
      if (countTimecode) s.timecodeFrames = 4 + i;
      s.frameIndex = i;
      writeFrameSkeleton(profile(), s, stream.data() + size_t(i) * size_t(profile().frameBytes));
    }
    return stream;
  }
};

TEST_P(FrameSkeleton, ReadsBackThroughOurReaders) {
  std::vector<uint8_t> frame(size_t(profile().frameBytes), 0xAB);
  writeFrameSkeleton(profile(), june2003(), frame.data());

  const FrameIdentity id = identifyFrame(frame.data(), frame.size());
  EXPECT_EQ(id.profile, &profile());
  EXPECT_FALSE(id.vauxDisagrees);
  DvFrameInfo info;
  ASSERT_EQ(readRecordedDateTime(info, DateTimeReadOptions{{}, true}, frame.data(), frame.size()), 0);
  EXPECT_EQ(info.dateKey, 2003 * 2048 + 6 * 64 + 22);
  EXPECT_EQ(info.secondsOfDay, 21 * 3600 + 50 * 60 + 38);
  EXPECT_EQ(info.timecodeHours, 1);
  EXPECT_EQ(info.timecodeFrames, 4);

  // Video payloads are left for the encoder; every block ID names its place.
  for (int s = 0; s < profile().sequenceCount; ++s)
    for (int q = 0; q < kBlocksPerSequence; ++q) {
      const uint8_t* b = frame.data() + blockOffset(s, q);
      const BlockSlot slot = blockInSequence(q);
      ASSERT_EQ(b[0] >> 5, int(slot.type));
      ASSERT_EQ(b[1], s << 4 | 7);
      ASSERT_EQ(b[2], slot.dbn);
      if (slot.type == BlockType::Video) {
        ASSERT_EQ(b[3], 0xAB);
      } else if (slot.type == BlockType::Audio) {
        ASSERT_EQ(b[40], 0x00);
      }
    }

  // Without the packs: "no date", and the year window holds for recordings after 2024.
  FrameStampInfo bare = june2003();
  bare.hasDate = bare.hasTime = bare.hasTimecode = false;
  writeFrameSkeleton(profile(), bare, frame.data());
  DvFrameInfo none;
  EXPECT_EQ(readRecordedDateTime(none, DateTimeReadOptions{{}, true}, frame.data(), frame.size()), kStatusNoPacks);
  EXPECT_FALSE(none.hasDate);
  EXPECT_EQ(none.timecodeStatus, kTimecodeMissing);

  FrameStampInfo late = june2003();
  late.year = 2031;
  writeFrameSkeleton(profile(), late, frame.data());
  ASSERT_EQ(readRecordedDateTime(none, DateTimeReadOptions{}, frame.data(), frame.size()), 0);
  EXPECT_EQ(none.recorded.tm_year + 1900, 2031);
}

TEST_P(FrameSkeleton, MatchesFfmpegLayout) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  test::TempDir dir;
  const std::vector<uint8_t> theirs = ffmpegFrames(dir, 1);
  ASSERT_EQ(theirs.size(), size_t(profile().frameBytes));
  std::vector<uint8_t> ours = theirs;
  writeFrameSkeleton(profile(), june2003(), ours.data());
  for (int s = 0; s < profile().sequenceCount; ++s) {
    for (int q = 0; q < kBlocksPerSequence; ++q) {
      const size_t b = blockOffset(s, q);
      ASSERT_EQ(ours[b] >> 5, theirs[b] >> 5);
      ASSERT_EQ(ours[b + 1], theirs[b + 1]);
      ASSERT_EQ(ours[b + 2], theirs[b + 2]);
    }
    // Main VAUX packs (source, control, date, time) byte for byte.
    const size_t va2 = vauxOffset(s, 2);
    for (int i = vauxPackOffset(9); i < vauxPackOffset(13); ++i) ASSERT_EQ(ours[va2 + size_t(i)], theirs[va2 + size_t(i)]);
  }
  if (profile().dsf == 1) {
    for (int i = 3; i < 8; ++i) EXPECT_EQ(ours[size_t(i)], theirs[size_t(i)]) << i;  // header
  }
  // Subcode of the second half: date and time packs as FFmpeg writes them.
  const uint8_t* sc = theirs.data() + subcodeOffset(6, 0);
  const uint8_t* mine = ours.data() + subcodeOffset(6, 0);
  for (int n = 0; n < kSubcodeSyncBlocks; ++n) {
    const uint8_t* p = sc + subcodePackOffset(n);
    if (p[0] != kPackRecordingDate && p[0] != kPackRecordingTime) continue;
    bool found = false;
    for (int m = 0; m < kSubcodeSyncBlocks && !found; ++m)
      found = std::equal(p, p + kPackBytes, mine + subcodePackOffset(m));
    EXPECT_TRUE(found) << "pack " << n;
  }
}

TEST_P(FrameSkeleton, PeersReadAudioTimecodeAndRecordingDate) {
  if (!test::haveProgram("ffmpeg") || !test::haveProgram("ffprobe") || !test::haveProgram("mediainfo"))
    GTEST_SKIP() << "ffmpeg, ffprobe or mediainfo is not installed";
  test::TempDir dir;
  const int count = 6;
  const std::vector<uint8_t> stream = skeletonStream(dir, count, true);
  ASSERT_FALSE(stream.empty());
  const std::string file = dir.file("skeleton.dv");
  ASSERT_TRUE(test::writeFile(file, stream));

  const auto decode = test::runCommand("ffmpeg -hide_banner -nostdin -v error -f dv -i " + test::shellQuote(file) +
                                       " -map 0 -f null -");
  EXPECT_EQ(decode.exitCode, 0);
  EXPECT_EQ(decode.output, "");

  const auto probe = test::runCommand(
      "ffprobe -v error -f dv -show_entries stream=codec_type,sample_rate,channels:format_tags=timecode -of flat " +
      test::shellQuote(file));
  ASSERT_EQ(probe.exitCode, 0) << probe.output;
  EXPECT_NE(probe.output.find("sample_rate=\"48000\""), std::string::npos) << probe.output;
  EXPECT_NE(probe.output.find("channels=2"), std::string::npos) << probe.output;
  EXPECT_NE(probe.output.find("01:02:03"), std::string::npos) << probe.output;

  const auto info = test::runCommand("mediainfo " + test::shellQuote(file));
  ASSERT_EQ(info.exitCode, 0) << info.output;
  EXPECT_NE(info.output.find("2003-06-22 21:50:38"), std::string::npos) << info.output;
  EXPECT_EQ(info.output.find("DVCAM"), std::string::npos) << info.output;
}

TEST_P(FrameSkeleton, DvgrabRewrapsTheStream) {
  if (!test::haveProgram("ffmpeg") || !test::haveProgram("dvgrab") || !test::haveProgram("mediainfo"))
    GTEST_SKIP() << "ffmpeg, dvgrab or mediainfo is not installed";
  test::TempDir dir;
  const int count = 6;
  const std::vector<uint8_t> stream = skeletonStream(dir, count, false);
  ASSERT_FALSE(stream.empty());
  ASSERT_TRUE(test::writeFile(dir.file("in.dv"), stream));
  std::string log;
  const std::string avi = test::rewrapWithDvgrab(dir.file("in.dv"), "dv2", dir.file("out-"), count, &log);
  ASSERT_FALSE(avi.empty()) << log;
  const auto info = test::runCommand("mediainfo " + test::shellQuote(avi));
  EXPECT_NE(info.output.find("2003-06-22 21:50:38"), std::string::npos) << info.output;
}

INSTANTIATE_TEST_SUITE_P(BothSystems, FrameSkeleton, testing::Values(&test::palProfile(), &test::ntscProfile()),
                         [](const testing::TestParamInfo<const VideoProfile*>& p) {
                           return std::string(p.param->isFiftyField() ? "Pal" : "Ntsc");
                         });

}  // namespace
}  // namespace kelo::dv

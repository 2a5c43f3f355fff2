// QuickTime files: the frame positions the box reader finds must be the packets FFmpeg finds, in
// files FFmpeg wrote and in files our writer wrote; damaged files must be refused with the right
// reason and a one-line message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "container/ByteOrder.h"
#include "container/QuickTimeIndex.h"
#include "container/QuickTimeWriter.h"
#include "dv/FrameSkeleton.h"
#include "dv/SampleWriter.h"
#include "support/TestUtil.h"

namespace kelo::container {
namespace {

using test::runCommand;
using test::shellQuote;
using Outcome = QuickTimeOutcome;

// A peer's run with a deadline, repeated when it fails (peers flake under load).
test::CommandResult peer(const std::string& commandLine) {
  test::CommandResult r;
  for (int attempt = 0; attempt < 3 && r.exitCode != 0; ++attempt) r = runCommand("timeout -k 5 60 " + commandLine);
  return r;
}

// FFmpeg's video packets as (byte position, size).
std::vector<QuickTimeSample> ffprobePackets(const std::string& path) {
  const auto r = peer("ffprobe -v error -select_streams v -show_entries packet=pos,size -of csv=p=0 " + shellQuote(path));
  std::vector<QuickTimeSample> packets;
  if (r.exitCode != 0) return packets;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    QuickTimeSample s;
    char comma;
    std::istringstream fields(line);
    if (fields >> s.size >> comma >> s.offset) packets.push_back(s);  // "size,pos"
  }
  return packets;
}

QuickTimeIndex indexOfFile(const std::string& path) {
  FileByteSource source;
  EXPECT_EQ(0, source.open(path)) << path;
  return readQuickTimeIndex(source);
}

QuickTimeIndex indexOf(const std::vector<uint8_t>& bytes) {
  MemoryByteSource source(bytes.data(), bytes.size());
  return readQuickTimeIndex(source);
}

void expectSameSamples(const std::vector<QuickTimeSample>& want, const std::vector<QuickTimeSample>& got) {
  ASSERT_EQ(want.size(), got.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(want[i].offset, got[i].offset) << "sample " << i;
    EXPECT_EQ(want[i].size, got[i].size) << "sample " << i;
  }
}

class QuickTimePeers : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* p : {"ffmpeg", "ffprobe"}) {
      if (!test::haveProgram(p)) GTEST_SKIP() << p << " is not installed";
    }
  }
  test::TempDir dir_;
};

struct FfmpegCase {
  const char* name;
  bool pal;
  bool audio;
  bool faststart;  // the movie box in front of the media data
  const char* entry;
};

TEST_F(QuickTimePeers, FramesOfFfmpegFilesAreFfprobesPackets) {
  const FfmpegCase cases[] = {
      {"pal", true, false, false, "dvcp"},
      {"pal-audio-faststart", true, true, true, "dvcp"},
      {"ntsc-audio", false, true, false, "dvc "},
      {"ntsc-faststart", false, false, true, "dvc "},
  };
  for (const FfmpegCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string mov = dir_.file(std::string(c.name) + ".mov");
    const std::string cmd =
        std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=") +
        (c.pal ? "720x576:rate=25" : "720x480:rate=30000/1001") + ":duration=1" +
        (c.audio ? " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -ac 2 -c:a pcm_s16le" : "") +
        " -c:v dvvideo -pix_fmt " + (c.pal ? "yuv420p" : "yuv411p") + (c.faststart ? " -movflags faststart" : "") +
        " -f mov " + shellQuote(mov);
    const auto made = peer(cmd);
    ASSERT_EQ(0, made.exitCode) << made.output;
    const auto packets = ffprobePackets(mov);
    ASSERT_GE(packets.size(), 20u);
    const QuickTimeIndex index = indexOfFile(mov);
    ASSERT_EQ(Outcome::Ok, index.outcome) << quickTimeMessage(index, mov);
    EXPECT_EQ(c.entry, index.sampleEntry);
    expectSameSamples(packets, index.samples);
  }
}

// Our writer with the sample generator's frames, without sound through the plain writer and with
// sound as `kelo-cli sample` writes it: FFmpeg decodes every frame without complaint and finds them
// where our reader does.
TEST_F(QuickTimePeers, OwnSamplesDecodeInFfmpeg) {
  for (const dv::VideoProfile* profile : {&test::palProfile(), &test::ntscProfile()}) {
    const bool pal = profile->isFiftyField();
    for (bool audio : {false, true}) {
      SCOPED_TRACE(std::string(profile->name) + (audio ? " with audio" : ""));
      const std::string mov = dir_.file("own.mov");
      std::string error;
      if (audio) {
        ASSERT_EQ(0, writeSampleQuickTime(mov, *profile, {}, 12, error)) << error;
      } else {
        const dv::VideoProfile& p = *profile;
        dv::SampleGenerator generator(p, {});
        const QuickTimeVideo video{p.width, p.height, static_cast<uint32_t>(p.rateNumerator),
                                   static_cast<uint32_t>(p.rateDenominator), static_cast<uint32_t>(p.frameBytes), 12};
        ASSERT_EQ(0, writeSampleQuickTime(mov, video, {},
                                          [&](int64_t, uint8_t* frame) { return generator.next(frame) == 0; }, error))
            << error;
      }

      const QuickTimeIndex index = indexOfFile(mov);
      ASSERT_EQ(Outcome::Ok, index.outcome) << quickTimeMessage(index, mov);
      EXPECT_EQ(pal ? "dvcp" : "dvc ", index.sampleEntry);
      expectSameSamples(ffprobePackets(mov), index.samples);
      ASSERT_EQ(12u, index.samples.size());

      const auto decoded = peer("ffmpeg -nostdin -v error -xerror -i " + shellQuote(mov) + " -f null -");
      EXPECT_EQ(0, decoded.exitCode) << decoded.output;
      EXPECT_EQ("", decoded.output);
      const auto streams = peer("ffprobe -v error -show_entries stream=codec_name,nb_frames,r_frame_rate -of csv=p=0 " +
                                shellQuote(mov));
      EXPECT_NE(std::string::npos,
                streams.output.find(std::string("dvvideo,") + test::ffmpegRate(*profile) +
                                    ",12"))
          << streams.output;
      EXPECT_EQ(audio, streams.output.find("pcm_s16be") != std::string::npos) << streams.output;
    }
  }
}

// --- damaged files: mutations of a small sample of our writer, one table through one check ---

std::vector<uint8_t> smallSample(const std::string& folder, bool audio) {
  const auto frames = [](int64_t n, uint8_t* frame) {
    std::memset(frame, static_cast<int>(n), 120000);
    return true;
  };
  QuickTimeAudio sound;
  if (audio) sound.samplesInFrame = [](int64_t) { return 1602; };
  const std::string path = folder + "/small.mov";
  std::string error;
  EXPECT_EQ(0, writeSampleQuickTime(path, {720, 480, 30000, 1001, 120000, 3}, sound, frames, error)) << error;
  return test::readFile(path);
}

// Offset of the first box of type `type` (its size field), searching the whole file.
size_t boxAt(const std::vector<uint8_t>& f, const char* type) {
  for (size_t i = 4; i + 4 <= f.size(); ++i) {
    if (std::memcmp(f.data() + i, type, 4) == 0) return i - 4;
  }
  ADD_FAILURE() << "no " << type;
  return 0;
}

struct Damage {
  const char* name;
  void (*apply)(std::vector<uint8_t>&);
  Outcome outcome;
};

const Damage kDamage[] = {
    {"not a box", [](std::vector<uint8_t>& f) { std::memcpy(f.data(), "RIFF", 4), std::memcpy(f.data() + 4, "AVI ", 4); },
     Outcome::NotQuickTime},
    {"empty", [](std::vector<uint8_t>& f) { f.clear(); }, Outcome::NotQuickTime},
    {"cut inside the movie box", [](std::vector<uint8_t>& f) { f.resize(f.size() - 40); }, Outcome::Truncated},
    {"cut before the movie box", [](std::vector<uint8_t>& f) { f.resize(boxAt(f, "moov")); }, Outcome::Truncated},
    {"cut inside the media data", [](std::vector<uint8_t>& f) { f.resize(200000); }, Outcome::Truncated},
    {"box size past its parent", [](std::vector<uint8_t>& f) { writeBe32(&f[boxAt(f, "stsz")], 0x7FFFFFF0); },
     Outcome::BoxOutsideFile},
    {"box smaller than its header", [](std::vector<uint8_t>& f) { writeBe32(&f[boxAt(f, "mdia")], 4); },
     Outcome::BadBox},
    {"64-bit size below 16",
     [](std::vector<uint8_t>& f) {
       const size_t at = boxAt(f, "tkhd");
       writeBe32(&f[at], 1), writeBe64(&f[at + 8], 8);
     },
     Outcome::BadBox},
    {"chunk offset outside the media data", [](std::vector<uint8_t>& f) { writeBe32(&f[boxAt(f, "stco") + 16], 8); },
     Outcome::ChunkOutsideMdat},
    {"chunk offset past the end",
     [](std::vector<uint8_t>& f) { writeBe32(&f[boxAt(f, "stco") + 20], static_cast<uint32_t>(f.size()) - 100); },
     Outcome::ChunkOutsideMdat},
    {"two chunks at one place",
     [](std::vector<uint8_t>& f) {
       const size_t at = boxAt(f, "stco") + 16;
       std::memcpy(&f[at + 4], &f[at], 4);
     },
     Outcome::SamplesOverlap},
    {"sample count above the chunks'", [](std::vector<uint8_t>& f) { writeBe32(&f[boxAt(f, "stsz") + 16], 4); },
     Outcome::TablesDisagree},
    {"sample count below the chunks'", [](std::vector<uint8_t>& f) { writeBe32(&f[boxAt(f, "stsz") + 16], 2); },
     Outcome::TablesDisagree},
    {"chunk count above its box", [](std::vector<uint8_t>& f) { writeBe32(&f[boxAt(f, "stco") + 12], 0x40000000); },
     Outcome::TablesDisagree},
    {"run naming a missing description", [](std::vector<uint8_t>& f) { writeBe32(&f[boxAt(f, "stsc") + 24], 2); },
     Outcome::TablesDisagree},
    {"no sample sizes", [](std::vector<uint8_t>& f) { std::memcpy(&f[boxAt(f, "stsz") + 4], "free", 4); },
     Outcome::TablesDisagree},
    {"two movie boxes",
     [](std::vector<uint8_t>& f) {
       const std::vector<uint8_t> moov(f.begin() + static_cast<std::ptrdiff_t>(boxAt(f, "moov")), f.end());
       f.insert(f.end(), moov.begin(), moov.end());
     },
     Outcome::TablesDisagree},
    {"DVCPRO 50", [](std::vector<uint8_t>& f) { std::memcpy(&f[boxAt(f, "dvc ") + 4], "dv5p", 4); },
     Outcome::UnsupportedVariant},
    {"media in another file", [](std::vector<uint8_t>& f) { writeBe32(&f[boxAt(f, "alis") + 8], 0); },
     Outcome::ExternalMedia},
    {"not DV", [](std::vector<uint8_t>& f) { std::memcpy(&f[boxAt(f, "dvc ") + 4], "avc1", 4); }, Outcome::NoDvTrack},
};

TEST(QuickTimeIndex, DamagedFilesAreRefusedWithTheirReason) {
  test::TempDir dir;
  const std::vector<uint8_t> good = smallSample(dir.path(), false);
  ASSERT_EQ(Outcome::Ok, indexOf(good).outcome);
  for (const Damage& d : kDamage) {
    SCOPED_TRACE(d.name);
    std::vector<uint8_t> f = good;
    d.apply(f);
    const QuickTimeIndex index = indexOf(f);
    EXPECT_EQ(d.outcome, index.outcome);
    EXPECT_TRUE(index.samples.empty());
    const std::string message = quickTimeMessage(index, "/videos/a.mov");
    EXPECT_NE(std::string::npos, message.find("/videos/a.mov")) << message;
    EXPECT_EQ(std::string::npos, message.find('\n'));
  }
}

TEST(QuickTimeIndex, MessageIsOnePrintableLine) {
  test::TempDir dir;
  std::vector<uint8_t> f = smallSample(dir.path(), false);
  std::memcpy(&f[boxAt(f, "dvc ") + 4], "dvh\n", 4);
  const QuickTimeIndex index = indexOf(f);
  ASSERT_EQ(Outcome::UnsupportedVariant, index.outcome);
  EXPECT_EQ("***错误: a?.mov 的视频是 DV 变体 'dvh?'，不能加码。", quickTimeMessage(index, "a\n.mov"));
}

TEST(QuickTimeWriter, FailureLeavesNoFile) {
  test::TempDir dir;
  const std::string path = dir.file("failed.mov");
  std::string error;
  const auto failAtTwo = [](int64_t n, uint8_t* frame) {
    std::memset(frame, 0, 120000);
    return n < 2;
  };
  EXPECT_NE(0, writeSampleQuickTime(path, {720, 480, 30000, 1001, 120000, 5}, {}, failAtTwo, error));
  EXPECT_FALSE(error.empty());
  EXPECT_NE(0, ::access(path.c_str(), F_OK));
  EXPECT_NE(0, writeSampleQuickTime(path, {720, 480, 0, 1001, 120000, 5}, {}, failAtTwo, error));
  EXPECT_NE(0, ::access(path.c_str(), F_OK));
}

// Layouts the reader must accept beyond what the writers make: the audio track's chunks between the
// frames, a 64-bit media data header, a box that runs to the end of the file, and old files
// without `ftyp`.
TEST(QuickTimeIndex, AcceptsOtherLayouts) {
  test::TempDir dir;
  const std::vector<uint8_t> withAudio = smallSample(dir.path(), true);
  const QuickTimeIndex reference = indexOf(withAudio);
  ASSERT_EQ(Outcome::Ok, reference.outcome);
  ASSERT_EQ(3u, reference.samples.size());
  EXPECT_EQ(reference.samples[0].offset + 120000 + 1602 * 4, reference.samples[1].offset);
  EXPECT_EQ(30000u, reference.timeScale);
  EXPECT_EQ(1u, reference.trackId);

  std::vector<uint8_t> noFtyp = withAudio;  // `ftyp` becomes `free`
  std::memcpy(&noFtyp[4], "free", 4);
  std::vector<uint8_t> largeMdat = withAudio;  // `wide` + 32-bit `mdat` as one 64-bit header
  const size_t wide = boxAt(largeMdat, "wide");
  const uint64_t mdatBytes = readBe32(&largeMdat[wide + 8]) + 8;
  writeBe32(&largeMdat[wide], 1), std::memcpy(&largeMdat[wide + 4], "mdat", 4), writeBe64(&largeMdat[wide + 8], mdatBytes);
  std::vector<uint8_t> openEnded = withAudio;  // the movie box as the last box, size 0
  writeBe32(&openEnded[boxAt(openEnded, "moov")], 0);
  for (const auto* f : {&noFtyp, &largeMdat, &openEnded}) {
    const QuickTimeIndex index = indexOf(*f);
    ASSERT_EQ(Outcome::Ok, index.outcome) << quickTimeMessage(index, "f");
    expectSameSamples(reference.samples, index.samples);
  }
}

// A file over 4 GiB with 64-bit chunk offsets, made sparse so it costs no disk: frames behind the
// 4 GiB mark are found where FFmpeg finds them.
TEST_F(QuickTimePeers, SamplesPastFourGigabytes) {
  test::TempDir dir;
  const std::vector<uint8_t> small = smallSample(dir.path(), false);
  // Rebuild as ftyp + 64-bit mdat with a hole + moov whose stco becomes co64 with shifted offsets.
  const size_t moovAt = boxAt(small, "moov");
  const size_t stcoAt = boxAt(small, "stco");
  const uint64_t shift = uint64_t{5} << 30;
  std::vector<uint8_t> moov(small.begin() + static_cast<std::ptrdiff_t>(moovAt), small.end());
  const size_t stco = stcoAt - moovAt;
  const uint32_t chunks = readBe32(&moov[stco + 12]);
  std::vector<uint8_t> co64(16 + 8 * chunks);
  writeBe32(&co64[0], static_cast<uint32_t>(co64.size())), std::memcpy(&co64[4], "co64", 4);
  writeBe32(&co64[12], chunks);
  for (uint32_t i = 0; i < chunks; ++i) writeBe64(&co64[16 + 8 * i], readBe32(&moov[stco + 16 + 4 * i]) + shift);
  const size_t oldSize = readBe32(&moov[stco]);
  moov.erase(moov.begin() + static_cast<std::ptrdiff_t>(stco), moov.begin() + static_cast<std::ptrdiff_t>(stco + oldSize));
  moov.insert(moov.begin() + static_cast<std::ptrdiff_t>(stco), co64.begin(), co64.end());
  for (const char* parent : {"moov", "trak", "mdia", "minf", "stbl"}) {  // each holds the grown table
    const size_t at = boxAt(moov, parent);
    writeBe32(&moov[at], readBe32(&moov[at]) + static_cast<uint32_t>(co64.size() - oldSize));
  }
  const size_t wide = boxAt(small, "wide");
  const uint64_t mdatEnd = moovAt + shift;
  std::vector<uint8_t> head(small.begin(), small.begin() + static_cast<std::ptrdiff_t>(wide));
  const size_t mdat = head.size();
  head.resize(mdat + 16);
  writeBe32(&head[mdat], 1), std::memcpy(&head[mdat + 4], "mdat", 4), writeBe64(&head[mdat + 8], mdatEnd - wide);

  const std::string path = dir.file("large.mov");
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(static_cast<ssize_t>(head.size()), ::pwrite(fd, head.data(), head.size(), 0));
  // The frames, moved behind the hole.
  const size_t firstFrame = wide + 16;
  ASSERT_EQ(static_cast<ssize_t>(moovAt - firstFrame),
            ::pwrite(fd, small.data() + firstFrame, moovAt - firstFrame, static_cast<off_t>(firstFrame + shift)));
  ASSERT_EQ(static_cast<ssize_t>(moov.size()), ::pwrite(fd, moov.data(), moov.size(), static_cast<off_t>(mdatEnd)));
  ::close(fd);

  const QuickTimeIndex index = indexOfFile(path);
  ASSERT_EQ(Outcome::Ok, index.outcome) << quickTimeMessage(index, path);
  ASSERT_EQ(3u, index.samples.size());
  EXPECT_EQ(static_cast<int64_t>(firstFrame + shift), index.samples[0].offset);
  expectSameSamples(ffprobePackets(path), index.samples);
}

}  // namespace
}  // namespace kelo::container

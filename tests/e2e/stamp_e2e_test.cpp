// kelo-cli stamp end to end on files made by the peers (FFmpeg, dvgrab) and by our own sample
// writer, for both systems: same size, only video DIF blocks differ, FFmpeg decodes the output
// without a word, MediaInfo reads the same recorded date, the input is untouched, and the text
// lands where the settings put it. Also: --jobs 2 writes the same bytes as --jobs 1.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "engine/PreviewPass.h"
#include "container/SampleAvi.h"
#include "platform/FileSystem.h"
#include "support/TestUtil.h"

namespace kelo {
namespace {

using test::TempDir;

struct Clip {
  std::string path;
  std::string name;
};

// One second of FFmpeg DV across midnight, as raw DV and rewrapped by dvgrab and FFmpeg.
std::vector<Clip> peerClips(const TempDir& dir, const dv::VideoProfile& profile) {
  std::vector<Clip> clips;
  const std::string sys = test::ffmpegSize(profile) + "-" + test::ffmpegPixelFormat(profile);
  const std::string raw = dir.file(sys + ".dv");
  const std::string source = "testsrc=size=" + test::ffmpegSize(profile) + ":rate=" + test::ffmpegRate(profile);
  const std::string pixfmt = test::ffmpegPixelFormat(profile);
  const std::string common = "ffmpeg -v error -f lavfi -i " + source +
                             " -f lavfi -i anullsrc=r=48000:cl=stereo -t 1 -pix_fmt " + pixfmt +
                             " -c:v dvvideo -c:a pcm_s16le -ar 48000"
                             " -metadata creation_time=2005-03-07T23:59:59 -y ";
  if (test::runCommand(common + "-f dv " + test::shellQuote(raw)).exitCode != 0) return clips;
  // FFmpeg writes the recording date packs only into raw DV: wrap that stream as type 2.
  const std::string ff = dir.file(sys + "-ffmpeg.avi");
  if (test::runCommand("ffmpeg -v error -i " + test::shellQuote(raw) + " -c copy -y " + test::shellQuote(ff)).exitCode == 0)
    clips.push_back({ff, "ffmpeg type 2"});
  if (test::haveProgram("dvgrab")) {
    const int frames = static_cast<int>(test::readFile(raw).size() / static_cast<size_t>(profile.frameBytes));
    for (const char* form : {"dv1", "dv2", "dv1 -opendml"}) {
      std::string tag = std::string(form);
      for (char& c : tag)
        if (c == ' ') c = '_';
      const std::string prefix = dir.file(sys + "-" + tag + "-");
      const std::string avi = test::rewrapWithDvgrab(raw, form, prefix, frames);
      if (!avi.empty()) clips.push_back({avi, "dvgrab " + std::string(form)});
    }
  }
  return clips;
}

std::vector<Clip> ourClips(const TempDir& dir, bool pal) {
  std::vector<Clip> clips;
  for (int type : {1, 2})
    for (bool odml : {false, true}) {
      container::SampleOptions o;
      o.profile = pal ? &test::palProfile() : &test::ntscProfile();
      o.type = type;
      o.openDml = odml;
      o.framesPerPart = 10;
      container::SampleScene scene;
      scene.seconds = 59;
      scene.durationSeconds = 1;
      o.scenes = {scene};
      const std::string path = dir.file(std::string(pal ? "pal" : "ntsc") + "-ours-" + std::to_string(type) +
                                        (odml ? "-odml" : "") + ".avi");
      std::string error;
      if (container::writeSampleAvi(path, o, error) == 0) clips.push_back({path, "ours type " + std::to_string(type) + (odml ? " OpenDML" : "")});
    }
  return clips;
}

std::string recordedDate(const std::string& path) {
  auto r = test::runCommand("mediainfo --Inform='General;%Recorded_Date%' " + test::shellQuote(path));
  return r.output;
}

engine::PreviewFrame frameOf(const std::string& path, int index, bool draw) {
  engine::NullObserver quiet;
  engine::PreviewPass pass(quiet);
  engine::PreviewFrame f;
  settings::StampSettings s;
  EXPECT_EQ(pass.preview(s, path, index, f, draw), 0) << path;
  return f;
}

void checkStamped(const Clip& clip, const std::string& out, const std::string& inputSum) {
  SCOPED_TRACE(clip.name + " " + clip.path);
  ASSERT_TRUE(platform::fileExists(out));
  struct stat a {}, b {};
  stat(clip.path.c_str(), &a);
  stat(out.c_str(), &b);
  EXPECT_EQ(a.st_size, b.st_size);
  EXPECT_EQ(test::sha256File(clip.path), inputSum);
  auto verify = test::runCommand(test::keloCli() + " verify --json " + test::shellQuote(clip.path) + " " + test::shellQuote(out));
  EXPECT_EQ(verify.exitCode, 0) << verify.output;
  EXPECT_EQ(verify.output.find("\"framesDiffering\": 0"), std::string::npos) << "nothing was stamped";
  auto decode = test::runCommand("ffmpeg -v error -i " + test::shellQuote(out) + " -f null - 2>&1");
  EXPECT_EQ(decode.output, "");
  if (test::haveProgram("mediainfo")) {
    EXPECT_EQ(recordedDate(out), recordedDate(clip.path));
  }

  // The texts are in the bottom band where the default settings put them, nowhere else, and the
  // stamped frame looks like the preview of the input.
  const engine::PreviewFrame before = frameOf(clip.path, 0, false);
  const engine::PreviewFrame after = frameOf(out, 0, false);
  const engine::PreviewFrame preview = frameOf(clip.path, 0, true);
  ASSERT_EQ(before.image.pixels.size(), after.image.pixels.size());
  const int w = after.image.width, h = after.image.height;
  long inBand = 0, outside = 0, unlikePreview = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t i = (static_cast<size_t>(y) * w + x) * 3;
      int d = 0, p = 0;
      for (int c = 0; c < 3; ++c) {
        d += std::abs(int(before.image.pixels[i + c]) - int(after.image.pixels[i + c]));
        p += std::abs(int(preview.image.pixels[i + c]) - int(after.image.pixels[i + c]));
      }
      if (d > 60) (y >= h - 120 && y < h - 30 ? inBand : outside) += 1;
      if (p > 30) ++unlikePreview;
    }
  EXPECT_GT(inBand, 1000);
  // Macroblocks that share a segment with the text may be requantised when the segment runs out
  // of bits: a few pixels elsewhere may move, never a visible area.
  EXPECT_LT(outside, 100);
  EXPECT_LT(unlikePreview, w * h / 200);
}

void stampAndCheck(const std::vector<Clip>& clips, const TempDir& dir) {
  ASSERT_FALSE(clips.empty());
  std::vector<std::string> sums;
  std::string files;
  for (const Clip& c : clips) {
    sums.push_back(test::sha256File(c.path));
    files += " " + test::shellQuote(c.path);
  }
  const std::string out = dir.file("out");
  mkdir(out.c_str(), 0755);
  auto r = test::runCommand(test::keloCli() + " stamp --jobs 2 --output " + test::shellQuote(out) + files);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (size_t i = 0; i < clips.size(); ++i)
    checkStamped(clips[i], platform::joinPath(out, platform::fileNameOf(clips[i].path)), sums[i]);
}

TEST(StampEndToEnd, PeerFiles625) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  TempDir dir;
  stampAndCheck(peerClips(dir, test::palProfile()), dir);
}

// SMPTE 314M 4:1:1 sampling in a 625/50 frame (APT 001), as FFmpeg writes it from yuv411p.
TEST(StampEndToEnd, PeerFiles625With411Sampling) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  TempDir dir;
  stampAndCheck(peerClips(dir, test::pal411Profile()), dir);
}

TEST(StampEndToEnd, PeerFiles525) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  TempDir dir;
  stampAndCheck(peerClips(dir, test::ntscProfile()), dir);
}

TEST(StampEndToEnd, OurSamplesBothSystems) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  TempDir dir;
  std::vector<Clip> clips = ourClips(dir, true);
  for (const Clip& c : ourClips(dir, false)) clips.push_back(c);
  stampAndCheck(clips, dir);
}

TEST(StampEndToEnd, ParallelRunWritesTheSameBytes) {
  TempDir dir;
  std::vector<Clip> clips = ourClips(dir, true);
  ASSERT_GE(clips.size(), 2u);
  std::string files;
  for (const Clip& c : clips) files += " " + test::shellQuote(c.path);
  for (const char* jobs : {"1", "3"}) {
    const std::string out = dir.file(std::string("jobs") + jobs);
    mkdir(out.c_str(), 0755);
    auto r = test::runCommand(test::keloCli() + " stamp --jobs " + jobs + " --output " + test::shellQuote(out) + files);
    ASSERT_EQ(r.exitCode, 0) << r.output;
  }
  for (const Clip& c : clips) {
    const std::string name = platform::fileNameOf(c.path);
    EXPECT_EQ(test::sha256File(dir.file("jobs1/" + name)), test::sha256File(dir.file("jobs3/" + name))) << name;
  }
}

TEST(StampEndToEnd, ExitStatusAndMessagesOfFailures) {
  TempDir dir;
  auto missing = test::runCommand(test::keloCli() + " stamp --output " + test::shellQuote(dir.file("nowhere")) + " x.avi");
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_NE(missing.output.find("output folder does not exist"), std::string::npos);

  const std::string bad = dir.file("bad.avi");
  ASSERT_TRUE(test::writeFile(bad, std::vector<uint8_t>(200000, 0)));
  mkdir(dir.file("out").c_str(), 0755);
  auto r = test::runCommand(test::keloCli() + " stamp --output " + test::shellQuote(dir.file("out")) + " " + test::shellQuote(bad));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("***错误: 此文件不是 DV 文件（AVI、DV 或 QuickTime）。"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("0段录像已加码（总共1段）"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace kelo

#pragma once
// Test media for the codec tests: DV frames made by FFmpeg from its test sources, FFmpeg's own
// decoding of them, and plane comparisons.
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dv/VideoProfile.h"
#include "support/TestUtil.h"

namespace kelo::test::codec {

struct Clip {
  std::string path;
  const dv::VideoProfile* profile = nullptr;
  int frames = 0;
  std::vector<uint8_t> dv;   // the raw DV stream
  std::vector<uint8_t> yuv;  // FFmpeg's decoding: planar, at the profile's sampling
};

inline size_t frameBytes(const dv::VideoProfile& p) { return static_cast<size_t>(p.frameBytes); }
inline size_t yuvFrameBytes(const dv::VideoProfile& p) {
  return static_cast<size_t>(p.width) * p.height + 2 * static_cast<size_t>(p.chromaWidth) * p.chromaHeight;
}
// `source` is a lavfi source (testsrc, smptebars, mandelbrot, nullsrc...) that takes size and rate,
// `filter` an optional filter chain after it.
inline bool makeFfmpegClip(const TempDir& dir, const std::string& name, const std::string& source,
                           const std::string& filter, const dv::VideoProfile& profile, bool interlacedDct, int frames,
                           Clip& clip) {
  const std::string pixfmt = test::ffmpegPixelFormat(profile);
  clip.path = dir.file(name + ".dv");
  clip.profile = &profile;
  clip.frames = frames;
  const std::string graph = source + "=size=" + test::ffmpegSize(profile) + ":rate=" + test::ffmpegRate(profile) +
                            (filter.empty() ? "" : "," + filter);
  const CommandResult enc = runCommand("ffmpeg -nostdin -v error -y -f lavfi -i " + shellQuote(graph) + " -frames:v " +
                                       std::to_string(frames) + " -pix_fmt " + pixfmt +
                                       (interlacedDct ? " -flags +ildct" : "") + " -f dv " + shellQuote(clip.path));
  if (enc.exitCode != 0) return false;
  const std::string yuvPath = dir.file(name + ".yuv");
  const CommandResult dec = runCommand("ffmpeg -nostdin -v error -y -i " + shellQuote(clip.path) +
                                       " -f rawvideo -pix_fmt " + pixfmt + " " + shellQuote(yuvPath));
  if (dec.exitCode != 0) return false;
  clip.dv = readFile(clip.path);
  clip.yuv = readFile(yuvPath);
  return clip.dv.size() == frameBytes(profile) * frames && clip.yuv.size() == yuvFrameBytes(profile) * frames;
}

// The same clip made once per test program: several tests read it.
inline const Clip* sharedFfmpegClip(const std::string& name, const std::string& source, const std::string& filter,
                                    const dv::VideoProfile& profile, bool interlacedDct, int frames) {
  static TempDir dir;
  static std::map<std::string, std::unique_ptr<Clip>> clips;
  auto& slot = clips[name];
  if (!slot) {
    auto clip = std::make_unique<Clip>();
    if (!makeFfmpegClip(dir, name, source, filter, profile, interlacedDct, frames, *clip)) return nullptr;
    slot = std::move(clip);
  }
  return slot.get();
}

struct PlaneDiff {
  double psnr = 0;
  int maxDiff = 0;
};

inline PlaneDiff comparePlanes(const uint8_t* a, const uint8_t* b, size_t n) {
  double sse = 0;
  PlaneDiff d;
  for (size_t i = 0; i < n; ++i) {
    const int e = std::abs(int{a[i]} - int{b[i]});
    sse += double(e) * e;
    if (e > d.maxDiff) d.maxDiff = e;
  }
  d.psnr = sse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(n) / sse);
  return d;
}

// Full-contrast noise in all three planes (after nullsrc): the densest content there is.
inline const char* kNoiseFilter =
    "format=yuv420p,geq=lum='random(1)*255':cb='random(2)*255':cr='random(3)*255'";

}  // namespace kelo::test::codec

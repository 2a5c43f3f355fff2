// The codec's speed: whole-frame decoding (ours against FFmpeg's single-threaded decoder on the
// same frames), segment parsing, and re-encoding of one segment with one or all macroblocks changed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "dv/DifLayout.h"
#include "dv/FrameCodec.h"
#include "dv/SampleWriter.h"
#include "dv/SegmentDecoder.h"
#include "dv/SegmentEncoder.h"

namespace {

using namespace kelo;

constexpr int kFrames = 100;

struct Clip {
  std::string path;
  std::vector<uint8_t> bytes;
  const dv::VideoProfile* profile = &dv::profileOf(dv::VideoSystem::k625_50);
  size_t frameBytes = 144000;
  bool fromFfmpeg = false;
};

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// FFmpeg's test pattern when FFmpeg is there, else our own sample picture.
const Clip& clip() {
  static const Clip c = [] {
    Clip c;
    c.path = "/tmp/kelo_bench_codec_" + std::to_string(getpid()) + ".dv";
    c.fromFfmpeg = run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -frames:v " +
                       std::to_string(kFrames) + " -pix_fmt yuv420p -f dv " + c.path);
    if (!c.fromFfmpeg) {
      std::string error;
      dv::writeSampleStream(c.path, *c.profile, {}, kFrames, error);
    }
    if (FILE* f = std::fopen(c.path.c_str(), "rb")) {
      c.bytes.resize(static_cast<size_t>(kFrames) * c.frameBytes);
      c.bytes.resize(std::fread(c.bytes.data(), 1, c.bytes.size(), f));
      std::fclose(f);
    }
    return c;
  }();
  return c;
}

void BM_DecodeFrame625(benchmark::State& state) {
  const Clip& c = clip();
  const size_t frames = c.bytes.size() / c.frameBytes;
  if (frames == 0) {
    state.SkipWithError("no clip");
    return;
  }
  dv::Picture picture;
  size_t n = 0;
  for (auto _ : state) {
    dv::decodeFrame(c.bytes.data() + (n++ % frames) * c.frameBytes, c.frameBytes, *c.profile, picture);
    benchmark::DoNotOptimize(picture.y.data());
  }
  state.SetLabel(c.fromFfmpeg ? "FFmpeg testsrc" : "own sample");
}
BENCHMARK(BM_DecodeFrame625)->Unit(benchmark::kMillisecond);

// FFmpeg decoding the same file on one thread, per frame: the difference between a run over all
// frames and a run over a tenth of them, so that start-up is not counted.
void BM_FfmpegDecodeFrame625(benchmark::State& state) {
  const Clip& c = clip();
  if (!c.fromFfmpeg) {
    state.SkipWithError("ffmpeg is not installed");
    return;
  }
  auto timed = [&](int frames) {
    const auto t0 = std::chrono::steady_clock::now();
    run("ffmpeg -nostdin -v error -threads 1 -i " + c.path + " -frames:v " + std::to_string(frames) + " -f null -");
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  for (auto _ : state) {
    const double all = timed(kFrames), few = timed(kFrames / 10);
    state.SetIterationTime((all - few) / (kFrames - kFrames / 10));
  }
}
BENCHMARK(BM_FfmpegDecodeFrame625)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ParseSegment(benchmark::State& state) {
  const Clip& c = clip();
  const dv::VideoProfile& profile = *c.profile;
  auto seg = std::make_unique<dv::VideoSegment>();
  int k = 0;
  for (auto _ : state) {
    dv::loadSegment(*seg, c.bytes.data() + dv::segmentOffset(3, k), profile, 3, k);
    benchmark::DoNotOptimize(dv::parseSegment(*seg));
    k = (k + 1) % dv::kSegmentsPerSequence;
  }
}
BENCHMARK(BM_ParseSegment);

// Parse, decode the changed macroblocks, paint, re-encode: what stamping costs per segment.
void BM_ReencodeSegment(benchmark::State& state) {
  const Clip& c = clip();
  const int changed = static_cast<int>(state.range(0));
  const dv::VideoProfile& profile = *c.profile;
  auto seg = std::make_unique<dv::VideoSegment>();
  uint8_t out[dv::kSegmentBytes];
  int k = 0;
  for (auto _ : state) {
    const uint8_t* bytes = c.bytes.data() + dv::segmentOffset(5, k);
    dv::loadSegment(*seg, bytes, profile, 5, k);
    dv::parseSegment(*seg);
    for (int m = 0; m < changed; ++m) {
      dv::Macroblock& mb = seg->macroblocks[m];
      dv::decodeMacroblock(mb);
      mb.modified = 1;
      for (int i = 0; i < 32; ++i) mb.blocks[0].coeffs[i] = 200;
    }
    dv::prepareForEncoding(*seg);
    std::memcpy(out, bytes, sizeof out);
    dv::encodeSegment(*seg, out);
    benchmark::DoNotOptimize(out[100]);
    k = (k + 1) % dv::kSegmentsPerSequence;
  }
}
BENCHMARK(BM_ReencodeSegment)->Arg(0)->Arg(1)->Arg(5)->Unit(benchmark::kMicrosecond);

// Encoding a whole fresh picture (the sample generator's work).
void BM_EncodeFrame625(benchmark::State& state) {
  const Clip& c = clip();
  dv::Picture picture;
  dv::decodeFrame(c.bytes.data(), c.frameBytes, *c.profile, picture);
  std::vector<uint8_t> frame(c.bytes.begin(), c.bytes.begin() + static_cast<long>(c.frameBytes));
  for (auto _ : state) {
    dv::encodeFrame(picture, frame.data(), frame.size());
    benchmark::DoNotOptimize(frame[1000]);
  }
}
BENCHMARK(BM_EncodeFrame625)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(clip().path.c_str());
  return 0;
}

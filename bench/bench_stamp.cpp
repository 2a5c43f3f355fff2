// Stamping speed side by side on one 60 s 625/50 file, page cache warm, each command timed together
// with the sync that makes its output durable, best of several runs: a plain copy (cp), kelo-cli
// stamp with the default settings (both codes, every frame) on one core and on all cores, and
// FFmpeg's full decode + drawtext + DV re-encode; the segments whose text could not fit beside the
// untouched macroblocks; then the preview latency per frame (Google Benchmark) and the peak memory
// of a stamp run.
// Goals: stamp <= 2 x cp and <= 0.10 x FFmpeg; preview <= 3 ms; peak RSS <= 50 MB.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "dv/SampleWriter.h"
#include "dv/VideoProfile.h"
#include "engine/PreviewPass.h"
#include "container/SampleAvi.h"
#include "engine/StampJob.h"
#include "pipeline/FrameStamper.h"
#include "render/TimeFormatTraits.h"
#include "settings/StampSettings.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string gWork;
std::string gInput;

struct ChildRun {
  double seconds = -1;
  long maxRssKb = 0;
  int status = -1;
};

// Runs a command line through the shell and measures that child alone (wait4).
ChildRun runChild(const std::string& command) {
  ChildRun r;
  char sh[] = "/bin/sh", c[] = "-c";
  std::string cmd = command;
  char* argv[] = {sh, c, cmd.data(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return r;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) return r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.maxRssKb = usage.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string quote(const std::string& s) { return "'" + s + "'"; }

std::string keloCli() {
  if (const char* env = std::getenv("KELO_CLI")) return env;
  return (fs::read_symlink("/proc/self/exe").parent_path() / "kelo-cli").string();
}

// The best of `runs` runs of `command` followed by sync, each after the page cache has settled and
// `clean` (a command line) has removed what the run before wrote.
ChildRun bestOf(int runs, const std::string& command, const std::string& clean) {
  ChildRun best;
  for (int r = 0; r < runs; ++r) {
    runChild(clean);
    runChild("sync");
    const ChildRun run = runChild(command + " && sync");
    if (run.status != 0) return run;
    if (best.seconds < 0 || run.seconds < best.seconds) best.seconds = run.seconds;
    best.maxRssKb = std::max(best.maxRssKb, run.maxRssKb);
    best.status = run.status;
  }
  return best;
}

kelo::dv::DvFrameInfo sampleInfo() {
  kelo::dv::DvFrameInfo info;
  info.profile = &kelo::dv::profileOf(kelo::dv::VideoSystem::k625_50);
  return info;
}

// Stamps the next frame of a file in memory as a pass does: both codes when the frame has a
// recording date and time, then this frame becomes the previous one.
void stampNext(kelo::pipeline::FrameStamper& stamper, const kelo::settings::StampSettings& settings,
               kelo::dv::DvFrameInfo& info, std::vector<uint8_t>& frame) {
  const bool found = kelo::dv::readRecordedDateTime(info, kelo::render::dateTimeReadOptions(settings), frame.data(), frame.size()) == 0;
  info.hasDate = info.hasTime = found ? 1 : 0;
  kelo::pipeline::CodeWeights weights;
  stamper.stampFrame(info, settings, weights, frame.data(), kelo::pipeline::PipelineMode::Stamp);
  info.dateDrawnBefore = info.hasDate;
  info.timeDrawnBefore = info.hasTime;
  info.previousDateKey = info.dateKey;
  info.previousSecondsOfDay = info.secondsOfDay;
}

// Stamps the sample's frames in memory as a pass does (default settings, both codes every frame)
// and counts the segments whose text could not fit beside the untouched macroblocks.
kelo::pipeline::PipelineCounts countFallbacks(const kelo::dv::SampleScene& scene) {
  kelo::dv::SampleGenerator generator(kelo::dv::profileOf(kelo::dv::VideoSystem::k625_50), {scene});
  const kelo::settings::StampSettings settings;
  kelo::pipeline::FrameStamper stamper;
  std::vector<uint8_t> frame(generator.frameBytes());
  kelo::dv::DvFrameInfo info = sampleInfo();
  while (generator.next(frame.data()) == 0) stampNext(stamper, settings, info, frame);
  return stamper.pipeline().counts();
}

// One frame stamped in memory with the default settings (both codes), frames of the sample in
// turn: the codec's and the renderer's share of a pass, without reading and writing.
void BM_StampFrame(benchmark::State& state) {
  kelo::dv::SampleGenerator generator(kelo::dv::profileOf(kelo::dv::VideoSystem::k625_50), {});
  generator.limitFrames(50);
  std::vector<std::vector<uint8_t>> frames;
  std::vector<uint8_t> frame(generator.frameBytes());
  while (generator.next(frame.data()) == 0) frames.push_back(frame);
  const kelo::settings::StampSettings settings;
  kelo::pipeline::FrameStamper stamper;
  kelo::dv::DvFrameInfo info = sampleInfo();
  size_t i = 0;
  for (auto _ : state) {
    frame = frames[i];
    i = (i + 1) % frames.size();
    stampNext(stamper, settings, info, frame);
  }
  state.counters["segments/frame"] =
      benchmark::Counter(static_cast<double>(stamper.pipeline().counts().segmentsEncoded) / state.iterations());
}
BENCHMARK(BM_StampFrame)->Unit(benchmark::kMicrosecond);

// Same frame again and again, as moving along one file in the preview pane does.
void BM_PreviewFrame(benchmark::State& state) {
  kelo::engine::NullObserver quiet;
  kelo::engine::PreviewPass pass(quiet);
  kelo::settings::StampSettings settings;
  kelo::engine::PreviewFrame frame;
  int index = 0;
  for (auto _ : state) {
    if (pass.preview(settings, gInput, index, frame) != 0) {
      state.SkipWithError("preview failed");
      break;
    }
    index = (index + 37) % 1500;
    benchmark::DoNotOptimize(frame.image.pixels.data());
  }
}
BENCHMARK(BM_PreviewFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  gWork = (fs::temp_directory_path() / ("kelo-bench-" + std::to_string(getpid()))).string();
  fs::create_directories(gWork + "/out");
  gInput = gWork + "/in.avi";
  kelo::container::SampleOptions options;
  kelo::container::SampleScene scene;
  scene.durationSeconds = 60;
  options.scenes = {scene};
  std::string error;
  std::printf("bench_stamp: writing a 60 s 625/50 sample to %s\n", gInput.c_str());
  if (kelo::container::writeSampleAvi(gInput, options, error) != 0) {
    std::fprintf(stderr, "bench_stamp: %s\n", error.c_str());
    return 1;
  }
  // The input cached; nobody pays for the write-back of what the run before wrote.
  runChild("cat " + quote(gInput) + " > /dev/null");
  constexpr int kRuns = 3;
  const std::string out = gWork + "/out";
  const std::string cleanOut = "rm -rf " + quote(out) + " && mkdir " + quote(out);
  const std::string stampCmd = quote(keloCli()) + " stamp --output " + quote(out) + " " + quote(gInput) + " > /dev/null 2>&1";
  const ChildRun cp = bestOf(kRuns, "cp " + quote(gInput) + " " + quote(gWork + "/copy.avi"), "rm -f " + quote(gWork + "/copy.avi"));
  const ChildRun oneCore = bestOf(kRuns, "taskset -c 0 " + stampCmd, cleanOut);
  const ChildRun stamp = bestOf(kRuns, stampCmd, cleanOut);
  const bool drawtext = runChild("ffmpeg -hide_banner -filters 2>/dev/null | grep -q drawtext").status == 0;
  const std::string filter = drawtext ? "drawtext=text='2005-03-07 23\\:59\\:55':x=64:y=h-96:fontsize=29:fontcolor=white"
                                      : "drawbox=x=64:y=h-96:w=200:h=30:color=white:t=fill";
  const ChildRun ffmpeg = bestOf(1, "ffmpeg -v error -y -i " + quote(gInput) + " -vf \"" + filter +
                                        "\" -c:v dvvideo -pix_fmt yuv420p -c:a copy " + quote(gWork + "/ffmpeg.avi"),
                                 "rm -f " + quote(gWork + "/ffmpeg.avi"));
  const kelo::pipeline::PipelineCounts counts = countFallbacks(scene);

  auto row = [](const char* name, const ChildRun& r) {
    std::printf("%-34s %10.2f %12.1f%s\n", name, r.seconds, r.maxRssKb / 1024.0, r.status == 0 ? "" : "  (FAILED)");
  };
  std::printf("\n%-34s %10s %12s   (best of %d, each with sync)\n", "", "seconds", "peak RSS MB", kRuns);
  row("cp", cp);
  row("kelo-cli stamp, one core", oneCore);
  row("kelo-cli stamp, all cores", stamp);
  std::printf("%-34s %10d\n", "  stamping threads", kelo::engine::stampWorkers(0, 1499));
  row(drawtext ? "ffmpeg decode+drawtext+encode" : "ffmpeg decode+drawbox+encode", ffmpeg);
  std::printf("%-34s %10ld of %ld re-encoded (%ld lost trailing codes)\n", "fallback segments", counts.fallbackSegments,
              counts.segmentsEncoded, counts.truncatedSegments);
  if (cp.seconds > 0 && ffmpeg.seconds > 0 && oneCore.seconds > 0)
    std::printf("\nstamp / cp = %.2f (goal <= 2)   stamp / ffmpeg = %.3f (goal <= 0.10)   all cores / one core = %.2f x"
                "   peak RSS %.1f MB (goal <= 50)\n\n",
                stamp.seconds / cp.seconds, stamp.seconds / ffmpeg.seconds, oneCore.seconds / stamp.seconds,
                stamp.maxRssKb / 1024.0);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(gWork);
  return 0;
}

// Stamping speed side by side on one 60 s 625/50 file: a plain copy (cp), kelo-cli stamp with the
// default settings (both codes, every frame), and FFmpeg's full decode + drawtext + DV re-encode;
// then the preview latency per frame (Google Benchmark) and the peak memory of a stamp run.
// Goals: stamp <= 2 x cp and <= 0.25 x FFmpeg; preview <= 3 ms; peak RSS <= 50 MB.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/PreviewPass.h"
#include "container/SampleAvi.h"
#include "engine/StampJob.h"
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
  // Same page-cache state for everyone: the input cached, nobody paying for the write-back of
  // what the run before wrote.
  auto settle = [] { runChild("sync"); };
  runChild("cat " + quote(gInput) + " > /dev/null");
  settle();
  const ChildRun cp = runChild("cp " + quote(gInput) + " " + quote(gWork + "/copy.avi"));
  settle();
  const ChildRun stamp = runChild(quote(keloCli()) + " stamp --output " + quote(gWork + "/out") + " " + quote(gInput) +
                                  " > /dev/null");
  const bool drawtext = runChild("ffmpeg -hide_banner -filters 2>/dev/null | grep -q drawtext").status == 0;
  const std::string filter = drawtext ? "drawtext=text='2005-03-07 23\\:59\\:55':x=64:y=h-96:fontsize=29:fontcolor=white"
                                      : "drawbox=x=64:y=h-96:w=200:h=30:color=white:t=fill";
  settle();
  const ChildRun ffmpeg = runChild("ffmpeg -v error -y -i " + quote(gInput) + " -vf \"" + filter +
                                   "\" -c:v dvvideo -pix_fmt yuv420p -c:a copy " + quote(gWork + "/ffmpeg.avi"));

  std::printf("\n%-34s %10s %12s\n", "", "seconds", "peak RSS MB");
  std::printf("%-34s %10.2f %12.1f\n", "cp", cp.seconds, cp.maxRssKb / 1024.0);
  std::printf("%-34s %10.2f %12.1f%s\n", "kelo-cli stamp", stamp.seconds, stamp.maxRssKb / 1024.0,
              stamp.status == 0 ? "" : "  (FAILED)");
  std::printf("%-34s %10d\n", "  stamping threads", kelo::engine::stampWorkers(0, 1499));
  std::printf("%-34s %10.2f %12.1f%s\n", drawtext ? "ffmpeg decode+drawtext+encode" : "ffmpeg decode+drawbox+encode",
              ffmpeg.seconds, ffmpeg.maxRssKb / 1024.0, ffmpeg.status == 0 ? "" : "  (FAILED)");
  if (cp.seconds > 0 && ffmpeg.seconds > 0)
    std::printf("\nstamp / cp = %.2f (goal <= 2)   stamp / ffmpeg = %.3f (goal <= 0.25)   peak RSS %.1f MB (goal <= 50)\n\n",
                stamp.seconds / cp.seconds, stamp.seconds / ffmpeg.seconds, stamp.maxRssKb / 1024.0);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(gWork);
  return 0;
}

// Throughput of the container layer: a sequential scan, and a scan with a frame-by-frame copy through
// the AVI reader and StampedFileWriter, against `cp` of the same file (goal: within 1.2 times `cp`);
// then `kelo-cli stamp` on one recording stored as AVI, raw DV and QuickTime (goal: raw DV and MOV
// within 10% of AVI). The ratios are printed at the end.
//
// The files are built in $TMPDIR (or /tmp) and removed at the end. Page cache effects are the same
// for all: each is run after a warm-up pass.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "container/ByteOrder.h"
#include "container/DvAviReader.h"
#include "container/QuickTimeWriter.h"
#include "container/SampleAvi.h"
#include "container/StampedFileWriter.h"
#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/FrameSkeleton.h"
#include "dv/SampleWriter.h"
#include "dv/VideoProfile.h"

namespace {

using namespace kelo::container;

constexpr int kFrames = 2000;

std::string folder() {
  const char* t = std::getenv("TMPDIR");
  return t != nullptr && *t != 0 ? t : "/tmp";
}
const std::string& inputPath() {
  static const std::string p = folder() + "/bench_avi_in." + std::to_string(::getpid()) + ".avi";
  return p;
}
const std::string& outputPath() {
  static const std::string p = folder() + "/bench_avi_out." + std::to_string(::getpid()) + ".avi";
  return p;
}

void put(std::vector<uint8_t>& f, const char* id, uint32_t value) {
  f.insert(f.end(), id, id + 4);
  uint8_t b[4];
  writeLe32(b, value);
  f.insert(f.end(), b, b + 4);
}

// A type II file: header, kFrames frames each followed by 7680 bytes of audio, idx1.
int64_t buildInput() {
  FILE* f = std::fopen(inputPath().c_str(), "wb");
  if (f == nullptr) return 0;
  std::vector<uint8_t> head;
  put(head, "RIFF", 0);
  head.insert(head.end(), {'A', 'V', 'I', ' '});
  put(head, "LIST", 4 + 64);
  head.insert(head.end(), {'h', 'd', 'r', 'l'});
  put(head, "strh", 56);
  head.insert(head.end(), {'v', 'i', 'd', 's', 'd', 'v', 's', 'd'});
  head.resize(head.size() + 24, 0);
  uint8_t len[4];
  writeLe32(len, kFrames);
  head.insert(head.end(), len, len + 4);
  head.resize(head.size() + 20, 0);
  const size_t frameChunk = 8 + 144000, audioChunk = 8 + 7680;
  put(head, "LIST", static_cast<uint32_t>(4 + kFrames * (frameChunk + audioChunk)));
  head.insert(head.end(), {'m', 'o', 'v', 'i'});
  const int64_t movi = static_cast<int64_t>(head.size()) - 4;
  head.resize(std::max<size_t>(head.size(), 0), 0);
  std::fwrite(head.data(), 1, head.size(), f);
  std::vector<uint8_t> frame;
  put(frame, "00dc", 144000);
  frame.resize(frameChunk, 0x55);
  put(frame, "01wb", 7680);
  frame.resize(frameChunk + audioChunk, 0);
  std::vector<uint8_t> index;
  put(index, "idx1", kFrames * 32);
  for (int i = 0; i < kFrames; ++i) {
    kelo::dv::FrameStampInfo info;
    info.frameIndex = i;
    info.timecodeFrames = i % 25;
    info.timecodeSeconds = i / 25 % 60;
    kelo::dv::writeFrameSkeleton(kelo::dv::profileOf(kelo::dv::VideoSystem::k625_50), info, frame.data() + 8);
    std::fwrite(frame.data(), 1, frame.size(), f);
    const int64_t at = static_cast<int64_t>(head.size()) + i * static_cast<int64_t>(frame.size());
    put(index, "00dc", 0x10);
    uint8_t e[8];
    writeLe32(e, static_cast<uint32_t>(at - movi));
    writeLe32(e + 4, 144000);
    index.insert(index.end(), e, e + 8);
    put(index, "01wb", 0x10);
    writeLe32(e, static_cast<uint32_t>(at + frameChunk - movi));
    writeLe32(e + 4, 7680);
    index.insert(index.end(), e, e + 8);
  }
  std::fwrite(index.data(), 1, index.size(), f);
  const int64_t size = std::ftell(f);
  std::fclose(f);
  return size;
}

int64_t gSize = 0;
double gCpSeconds = 0;
double gCopySeconds = 0;

// Untimed before each copy: the previous output gone and written back, so that no copy waits for
// the write-back of the one before (truncating a file under write-back waits for it).
void settle() {
  ::unlink(outputPath().c_str());
  ::sync();
}

void BM_Cp(benchmark::State& state) {
  const std::string cmd = "cp --reflink=never " + inputPath() + " " + outputPath();
  for (auto _ : state) {
    settle();
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("cp failed");
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    gCpSeconds = gCpSeconds == 0 ? s : std::min(gCpSeconds, s);
  }
  state.SetBytesProcessed(state.iterations() * gSize);
}

void BM_ReaderWriterCopy(benchmark::State& state) {
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  for (auto _ : state) {
    settle();
    const auto t0 = std::chrono::steady_clock::now();
    DvAviReader reader;
    StampedFileWriter writer;
    kelo::dv::DvFrameInfo info;
    if (reader.open(inputPath()) != 0 || writer.open(outputPath()) != 0 ||
        reader.validateHeader(&writer, nullptr) != HeaderOutcome::Valid) {
      state.SkipWithError("open failed");
      break;
    }
    size_t length = 0;
    int frames = 0;
    while (reader.readFrame(info, &writer, buffer.data(), length, frames, nullptr) == ReadOutcome::Frame) {
      writer.write(buffer.data(), length);
      ++frames;
    }
    writer.write(buffer.data(), length);
    reader.copyRemainder(writer);
    writer.close();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    gCopySeconds = gCopySeconds == 0 ? s : std::min(gCopySeconds, s);
    if (frames != kFrames) state.SkipWithError("wrong frame count");
  }
  state.SetBytesProcessed(state.iterations() * gSize);
}

void BM_SequentialScan(benchmark::State& state) {
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  for (auto _ : state) {
    DvAviReader reader;
    kelo::dv::DvFrameInfo info;
    if (reader.open(inputPath()) != 0 || reader.validateHeader(nullptr, nullptr) != HeaderOutcome::Valid) {
      state.SkipWithError("open failed");
      break;
    }
    size_t length = 0;
    int frames = 0;
    while (reader.readFrame(info, nullptr, buffer.data(), length, frames, nullptr) == ReadOutcome::Frame) ++frames;
    benchmark::DoNotOptimize(frames);
  }
  state.SetBytesProcessed(state.iterations() * gSize);
}

void BM_RandomAccess(benchmark::State& state) {
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  DvAviReader reader;
  kelo::dv::DvFrameInfo info;
  if (reader.open(inputPath()) != 0) return;
  reader.setRandomAccess(true);
  reader.validateHeader(nullptr, nullptr);
  int n = 0;
  for (auto _ : state) {
    size_t length = 0;
    n = (n * 7919 + 13) % kFrames;
    reader.readFrame(info, nullptr, buffer.data(), length, n, nullptr);
  }
}

BENCHMARK(BM_Cp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(BM_ReaderWriterCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(BM_SequentialScan)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RandomAccess)->Unit(benchmark::kMicrosecond);

// One recording (20 s, 625/50) in each container, stamped by kelo-cli with the default settings;
// best of three runs each. Seconds per container, -1 where a file could not be made or stamped.
struct ContainerRun {
  const char* name;
  double seconds = -1;
};

std::string keloCli() {
  if (const char* env = std::getenv("KELO_CLI")) return env;
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kelo-cli").string();
}

std::vector<ContainerRun> stampEachContainer() {
  const std::string work = folder() + "/bench_avi_stamp." + std::to_string(::getpid());
  std::filesystem::create_directories(work + "/out");
  kelo::dv::SampleScene scene;
  scene.durationSeconds = 20;
  std::string error;
  SampleOptions avi;
  avi.scenes = {scene};
  const bool made = writeSampleAvi(work + "/tape.avi", avi, error) == 0 &&
                    kelo::dv::writeSampleStream(work + "/tape.dv", kelo::dv::profileOf(kelo::dv::VideoSystem::k625_50), {scene}, -1, error) == 0 &&
                    writeSampleQuickTime(work + "/tape.mov", kelo::dv::profileOf(kelo::dv::VideoSystem::k625_50), {scene}, -1, error) == 0;
  std::vector<ContainerRun> runs{{"avi"}, {"dv"}, {"mov"}};
  if (!made) {
    std::fprintf(stderr, "bench_avi: %s\n", error.c_str());
  } else {
    for (int round = 0; round < 3; ++round) {
      for (ContainerRun& run : runs) {
        const std::string in = work + "/tape." + run.name;
        std::system(("cat '" + in + "' > /dev/null; sync").c_str());
        const auto t0 = std::chrono::steady_clock::now();
        const int status =
            std::system(("'" + keloCli() + "' stamp --output '" + work + "/out' '" + in + "' > /dev/null").c_str());
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (status == 0) run.seconds = run.seconds < 0 ? s : std::min(run.seconds, s);
        std::filesystem::remove(work + "/out/tape." + run.name);
      }
    }
  }
  std::filesystem::remove_all(work);
  return runs;
}

}  // namespace

int main(int argc, char** argv) {
  // --copy-only: the scans and copies alone, without stamping in each container.
  bool copyOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--copy-only") {
      copyOnly = true;
      for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
      --argc;
      break;
    }
  }
  gSize = buildInput();
  if (gSize <= 0) {
    std::fprintf(stderr, "bench_avi: cannot write %s\n", inputPath().c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gCpSeconds > 0 && gCopySeconds > 0) {
    std::printf("reader+writer copy / cp: %.2f (goal <= 1.20), best of 9: %.0f ms vs %.0f ms for %.0f MB\n",
                gCopySeconds / gCpSeconds, gCopySeconds * 1000, gCpSeconds * 1000, gSize / 1e6);
  }
  ::unlink(inputPath().c_str());
  ::unlink(outputPath().c_str());
  if (copyOnly) return 0;

  const std::vector<ContainerRun> runs = stampEachContainer();
  std::printf("\nkelo-cli stamp, 20 s 625/50, best of 3:");
  for (const ContainerRun& run : runs) std::printf("  %s %.2f s", run.name, run.seconds);
  if (runs[0].seconds > 0 && runs[1].seconds > 0 && runs[2].seconds > 0)
    std::printf("\nraw DV / AVI = %.2f   MOV / AVI = %.2f (goal: within 0.90-1.10)\n", runs[1].seconds / runs[0].seconds,
                runs[2].seconds / runs[0].seconds);
  else
    std::printf("\n(a container could not be stamped)\n");
  return 0;
}

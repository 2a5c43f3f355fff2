// Cost of the per-frame text step: formatting and rasterising the default date and time codes
// when the texts change, when they do not, and the format step alone.
#include "render/StampRenderer.h"
#include "render/StampText.h"

#include <benchmark/benchmark.h>

namespace {

using namespace kelo;

void setFrame(dv::DvFrameInfo& info, int day, int second) {
  info.previousSecondsOfDay = info.secondsOfDay;
  info.previousDateKey = info.dateKey;
  info.dateDrawnBefore = info.hasDate;
  info.timeDrawnBefore = info.hasTime;
  info.hasDate = info.hasTime = 1;
  info.profile = &kelo::dv::profileOf(kelo::dv::VideoSystem::k625_50);
  info.recorded.tm_year = 103;
  info.recorded.tm_mon = 5;
  info.recorded.tm_mday = day;
  info.recorded.tm_wday = day % 7;
  info.recorded.tm_hour = 21;
  info.recorded.tm_min = 50;
  info.recorded.tm_sec = second;
  info.secondsOfDay = (21 * 60 + 50) * 60 + second;
  info.dateKey = (2003 * 32 + 6) * 64 + day;
}

settings::StampSettings runSettings() {
  settings::StampSettings s;
  s.idle = false;
  return s;
}

void BM_FormatTexts(benchmark::State& state) {
  const settings::StampSettings s = runSettings();
  dv::DvFrameInfo info;
  int n = 0;
  for (auto _ : state) {
    setFrame(info, 1 + n % 28, n % 60);
    benchmark::DoNotOptimize(render::formatDateText(info, s));
    benchmark::DoNotOptimize(render::formatTimeText(info, s));
    ++n;
  }
}
BENCHMARK(BM_FormatTexts);

// Both texts new on every frame (a new day and a new second each time).
void BM_RenderBothTextsChange(benchmark::State& state) {
  const settings::StampSettings s = runSettings();
  auto pass = render::beginOverlayPass();
  int n = 0;
  for (auto _ : state) {
    setFrame(pass->info, 1 + n % 28, n % 60);
    pass->renderer.renderStampTexts(pass->info, s);
    ++n;
  }
  benchmark::DoNotOptimize(pass->renderer.timeRaster().rows);
}
BENCHMARK(BM_RenderBothTextsChange)->Unit(benchmark::kMicrosecond);

// The usual case in a run: only the time text changes, once a second.
void BM_RenderTimeTextChanges(benchmark::State& state) {
  const settings::StampSettings s = runSettings();
  auto pass = render::beginOverlayPass();
  int n = 0;
  for (auto _ : state) {
    setFrame(pass->info, 22, n % 60);
    pass->renderer.renderStampTexts(pass->info, s);
    ++n;
  }
}
BENCHMARK(BM_RenderTimeTextChanges)->Unit(benchmark::kMicrosecond);

// Same second and date as the previous frame: nothing to do.
void BM_RenderUnchanged(benchmark::State& state) {
  const settings::StampSettings s = runSettings();
  auto pass = render::beginOverlayPass();
  setFrame(pass->info, 22, 38);
  pass->renderer.renderStampTexts(pass->info, s);
  for (auto _ : state) {
    setFrame(pass->info, 22, 38);
    pass->renderer.renderStampTexts(pass->info, s);
  }
}
BENCHMARK(BM_RenderUnchanged);

// A new pass on every iteration: opening faces and filling the glyph cache.
void BM_RenderFirstFrameOfAPass(benchmark::State& state) {
  const settings::StampSettings s = runSettings();
  for (auto _ : state) {
    auto pass = render::beginOverlayPass();
    setFrame(pass->info, 22, 38);
    pass->renderer.renderStampTexts(pass->info, s);
  }
}
BENCHMARK(BM_RenderFirstFrameOfAPass)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

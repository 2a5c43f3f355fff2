#include "render/StampRenderer.h"

#include "render/StampText.h"

#include <new>

namespace kelo::render {
namespace {

constexpr int kFrameWidth = 720;
constexpr int kLastPerSecondTimeEntry = 8;

}  // namespace

void StampRenderer::beginPass() {
  resetRaster(date_);
  resetRaster(time_);
  placedHeight_ = 0;
}

void StampRenderer::renderStampTexts(const dv::DvFrameInfo& info, const settings::StampSettings& settings) {
  const bool secondChanged = info.secondsOfDay != info.previousSecondsOfDay;
  const bool dateChanged = info.dateKey != info.previousDateKey;
  const settings::StampCodeSettings& dateCode = settings.dateCode;
  const settings::StampCodeSettings& timeCode = settings.timeCode;

  // The stored has-date/has-time flags of a custom format can be stale (the language, and with it
  // the custom date slot, changed after they were computed); the format in use decides as well,
  // so a text holding seconds never freezes.
  bool dateShowsTime = false;
  if (info.hasDate && dateCode.formatIndex == 0) {
    dateShowsTime = dateCode.customHasTime || analyseCustomFormat(dateFormatFor(settings)).hasTime;
  }
  bool timeShowsDate = false;
  if (info.hasTime && timeCode.formatIndex == 0) {
    timeShowsDate = timeCode.customHasDate || analyseCustomFormat(settings::textOf(settings.customTimeFormat)).hasDate;
  }

  const bool rebuildDate = info.hasDate && (settings.idle || dateChanged || !info.dateDrawnBefore ||
                                            (dateShowsTime && secondChanged));
  const bool rebuildTime = info.hasTime && (settings.idle || timeCode.formatIndex > kLastPerSecondTimeEntry ||
                                            timeCode.formatIndex < 0 || secondChanged || !info.timeDrawnBefore ||
                                            (timeShowsDate && dateChanged));
  // Texts stand where the frame's picture height puts them: a frame of another layout places the
  // unchanged texts afresh.
  const int height = textProfileOf(info).height;
  const bool heightChanged = height != placedHeight_;
  placedHeight_ = height;
  if (!rebuildDate && !rebuildTime && !heightChanged) return;

  if (rebuildDate) {
    const StampText text = formatDateText(info, settings);
    rasteriser_.rasterise(date_, text.text, text.lineCount, dateCode);
  }
  if (rebuildTime) {
    const StampText text = formatTimeText(info, settings);
    rasteriser_.rasterise(time_, text.text, text.lineCount, timeCode);
  }
  if (info.hasDate) placeOverlayRaster(date_, dateCode, kFrameWidth, height);
  if (info.hasTime) placeOverlayRaster(time_, timeCode, kFrameWidth, height);
}

std::unique_ptr<OverlayPass> beginOverlayPass() {
  try {
    auto pass = std::make_unique<OverlayPass>();
    pass->info.recorded = dv::blankRecordedTime();
    pass->renderer.beginPass();
    return pass;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void endOverlayPass(std::unique_ptr<OverlayPass>& pass) { pass.reset(); }

}  // namespace kelo::render

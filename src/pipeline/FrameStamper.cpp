#include "pipeline/FrameStamper.h"

namespace kelo::pipeline {

FrameStamper::FrameStamper() { beginPass(); }

void FrameStamper::beginPass() {
  renderer_.beginPass();
  pipeline_.beginPass();
}

int FrameStamper::stampFrame(const dv::DvFrameInfo& info, const settings::StampSettings& settings,
                             CodeWeights& weights, uint8_t* frame, PipelineMode mode, RgbImage* preview) {
  if (!info.profile) return -1;
  renderer_.renderStampTexts(info, settings);
  if (info.hasDate) render::applyTransparency(weights.date, settings.dateCode.transparency);
  if (info.hasTime) render::applyTransparency(weights.time, settings.timeCode.transparency);
  const OverlayLayer date{&renderer_.dateRaster(), &settings.dateCode, &weights.date};
  const OverlayLayer time{&renderer_.timeRaster(), &settings.timeCode, &weights.time};
  const int n = pipeline_.stampFrame(info, frame, date, time, mode, preview);
  return mode == PipelineMode::Preview ? (n < 0 ? n : 0) : n;
}

}  // namespace kelo::pipeline

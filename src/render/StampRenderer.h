#pragma once
// The per-frame text step of a pass: decides whether the date and time rasters must be rebuilt,
// formats and rasterises what changed, and places both codes in the picture. One object per
// pass, owned by the pass record below; nothing here is shared between passes.
#include "dv/FrameInfo.h"
#include "render/OverlayCompositing.h"
#include "render/OverlayRaster.h"
#include "render/TextRasteriser.h"
#include "settings/StampSettings.h"

#include <memory>

namespace kelo::render {

class StampRenderer {
 public:
  // Empties both rasters (start of a pass); the font and glyph caches stay.
  void beginPass();

  // Brings both rasters up to date for this frame and places each code the frame carries, in a
  // 720-pixel-wide picture 576 (625/50) or 480 (525/60) rows high.
  void renderStampTexts(const dv::DvFrameInfo& info, const settings::StampSettings& settings);

  const OverlayRaster& dateRaster() const { return date_; }
  const OverlayRaster& timeRaster() const { return time_; }
  TextRasteriser& rasteriser() { return rasteriser_; }

 private:
  OverlayRaster date_;
  OverlayRaster time_;
  TextRasteriser rasteriser_;
  int placedHeight_ = 0;  // picture height the rasters were placed for
};


// The render half of the per-file record: the frame information, both codes' weights and the
// renderer with its rasters. The frame pipeline adds its own state (codec tables, touched
// segments) beside it.
struct OverlayPass {
  dv::DvFrameInfo info;  // all zero, day-of-year and daylight members -1
  OverlayWeights dateWeights;  // all zero until the pass sets them
  OverlayWeights timeWeights;
  StampRenderer renderer;
};

// A fresh record with empty rasters, or none when memory is exhausted.
std::unique_ptr<OverlayPass> beginOverlayPass();
// Releases the record; accepts none.
void endOverlayPass(std::unique_ptr<OverlayPass>& pass);

}  // namespace kelo::render

#pragma once
// The per-frame step of a pass: brings the two code rasters up to date (text formatted, drawn and
// placed only when it can have changed), applies transparency to the weights and runs the frame
// pipeline. One object per pass owns the rasteriser, both rasters and the pipeline scratch.
#include <cstdint>

#include "dv/FrameInfo.h"
#include "pipeline/FramePipeline.h"
#include "render/OverlayCompositing.h"
#include "render/OverlayRaster.h"
#include "render/StampRenderer.h"
#include "settings/StampSettings.h"

namespace kelo::pipeline {

// The weights of both codes, as the schedule leaves them for a frame.
struct CodeWeights {
  render::OverlayWeights date;
  render::OverlayWeights time;
  CodeWeights() {
    render::setFullWeights(date);
    render::setFullWeights(time);
  }
};

class FrameStamper {
 public:
  FrameStamper();
  FrameStamper(const FrameStamper&) = delete;
  FrameStamper& operator=(const FrameStamper&) = delete;

  // A new file: empty rasters, every segment tested on the first frame.
  void beginPass();

  // Stamps `frame` (a whole DV frame) with the codes info.hasDate / info.hasTime ask for. The
  // texts are rebuilt on every frame while settings.idle is set (preview), else only when they
  // can have changed.
  // Stamp mode: touched segments re-encoded in place; returns their number. Preview mode: every
  // segment decoded into `preview`, `frame` unchanged; returns 0. -1 for a frame of no known system.
  int stampFrame(const dv::DvFrameInfo& info, const settings::StampSettings& settings, CodeWeights& weights,
                 uint8_t* frame, PipelineMode mode, RgbImage* preview = nullptr);

  const render::OverlayRaster& dateRaster() const { return renderer_.dateRaster(); }
  const render::OverlayRaster& timeRaster() const { return renderer_.timeRaster(); }
  const FramePipeline& pipeline() const { return pipeline_; }
  // Texts drawn so far (unchanged texts are not drawn again).
  long drawCount() { return renderer_.rasteriser().drawCount(); }

 private:
  render::StampRenderer renderer_;
  FramePipeline pipeline_;
};

}  // namespace kelo::pipeline

#pragma once
// The single-frame preview: one frame of a file decoded whole, with the codes drawn as the
// settings place them, as an RGB picture. The pass keeps its reader and per-file state between
// calls, so stepping along one file does not reopen it.
#include <memory>
#include <string>

#include "dv/FrameInfo.h"
#include "engine/MarkerList.h"
#include "engine/RunObserver.h"
#include "pipeline/FramePipeline.h"
#include "settings/StampSettings.h"

namespace kelo::engine {

struct PreviewFrame {
  pipeline::RgbImage image;  // 720 x 576 or 720 x 480, RGB, top row first
  dv::DvFrameInfo info;      // the frame's metadata as the codes were drawn from it
  int lastFrameIndex = -1;   // of the file
  const dv::VideoProfile* profile = nullptr;  // the frame's own
  int frameIndex = 0;        // the index asked for, clamped to the file
};

class PreviewPass {
 public:
  // Log lines ("预览前检查录像文件 %s ..." and the like) go to the observer.
  explicit PreviewPass(RunObserver& observer);
  ~PreviewPass();
  PreviewPass(const PreviewPass&) = delete;
  PreviewPass& operator=(const PreviewPass&) = delete;

  // Prepares frame `frameIndex` of `path` (clamped to 0 ... last frame index): 0 when `out`
  // holds the picture; -1 when the file is no DV file Kelo reads (AVI, raw DV, QuickTime) or the
  // frame cannot be read; -2 when the file cannot be opened. `drawCodes`: draw the enabled codes
  // (the preview always does).
  int preview(const settings::StampSettings& settings, const std::string& path, int frameIndex, PreviewFrame& out,
              bool drawCodes = true);

  // The markers of the file on show (the [ and ] buttons edit them); nullptr while none is open.
  MarkerList* markers();
  const std::string& path() const { return path_; }
  // Forgets the file (closes it).
  void close();

 private:
  struct State;
  RunObserver& observer_;
  std::unique_ptr<State> state_;
  std::string path_;
};

}  // namespace kelo::engine

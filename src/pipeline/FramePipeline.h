#pragma once
// Burns the two codes into one DV frame in memory, touching as little as possible: only the video
// segments whose blocks a text's cells reach are parsed, only those luminance blocks are decoded
// and painted, only the macroblocks they change are quantised again; every other byte stays as it
// was. In preview mode every segment is decoded into an RGB image, the touched ones as the stamp
// would write them.
//
// All scratch state (segment record, masks, the map of touched segments) lives in one
// FramePipeline object owned by a pass, so passes on different threads do not meet.
#include <cstdint>
#include <memory>
#include <vector>

#include "dv/FrameInfo.h"
#include "dv/Segment.h"
#include "pipeline/BlockCoverage.h"
#include "render/OverlayCompositing.h"
#include "render/OverlayRaster.h"
#include "settings/StampSettings.h"

namespace kelo::pipeline {

// One code as the pipeline paints it: the placed raster, the code's appearance and its weights
// (effective weights already computed).
struct OverlayLayer {
  const render::OverlayRaster* raster = nullptr;
  const settings::StampCodeSettings* code = nullptr;
  const render::OverlayWeights* weights = nullptr;
};

// Which part of a macroblock one layer covers.
struct SegmentMask {
  uint8_t macroblocks = 0;  // bit m: the layer's cells reach macroblock m
  uint8_t lumaBlocks[5] = {};  // bit b: they reach luminance block b of macroblock m
  int16_t firstRow[5] = {}, endRow[5] = {};
  int16_t firstColumn[5] = {}, endColumn[5] = {};
  int stride = 0;
};

enum class PipelineMode { Stamp, Preview };

// What the re-encoding did since the pipeline was made.
struct PipelineCounts {
  long segmentsEncoded = 0;
  long fallbackSegments = 0;   // the changed macroblocks could not fit alone: all five were searched
  long truncatedSegments = 0;  // of those, the ones that lost trailing codes
};

// An RGB picture, 3 bytes a pixel (R, G, B), top row first, 720 pixels wide.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

class FramePipeline {
 public:
  FramePipeline();
  ~FramePipeline();
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // A new file: every segment counts as touched so that the first frame tests them all.
  void beginPass();

  // Paints `date` when info.hasDate and `time` when info.hasTime (date first, time on top).
  // Stamp mode: re-encodes the touched segments of `frame` in place. Preview mode: decodes every
  // segment into `preview` (frame left as it was). `frame` holds a whole DV frame of the profile
  // in `info`. Returns the number of segments re-encoded (stamp mode), or -1 when info has no
  // profile.
  int stampFrame(const dv::DvFrameInfo& info, uint8_t* frame, const OverlayLayer& date, const OverlayLayer& time,
                 PipelineMode mode, RgbImage* preview);

  const PipelineCounts& counts() const { return counts_; }
  // Whether segment (sequence, segment) of the last frame had every macroblock searched.
  bool fellBack(int sequence, int segment) const { return fellBack_[sequence][segment] != 0; }

  // Takes the frame's profile (its own layout) and the blocks both rasters reach; stampFrame begins with it. Then
  // segmentTouchesOverlay says whether a code must be painted in segment (sequence, segment) and
  // fills both masks. Exposed for tests.
  bool beginFrame(const dv::DvFrameInfo& info, const OverlayLayer& date, const OverlayLayer& time);
  bool segmentTouchesOverlay(const dv::DvFrameInfo& info, int sequence, int segment, const OverlayLayer& date,
                             const OverlayLayer& time);
  const SegmentMask& dateMask() const { return dateMask_; }
  const SegmentMask& timeMask() const { return timeMask_; }

 private:
  bool paintSegment(const dv::DvFrameInfo& info, const OverlayLayer& date, const OverlayLayer& time);
  void paintMacroblock(dv::Macroblock& mb, int m, const SegmentMask& mask, const OverlayLayer& layer,
                       const render::SampleBlender& blender);
  void reencode(uint8_t* bytes, int sequence, int segment);
  void convertToPreview(const dv::VideoSegment& segment, RgbImage& image);
  bool useProfileOf(const dv::DvFrameInfo& info);

  std::unique_ptr<dv::VideoSegment> segment_;
  const dv::VideoProfile* profile_ = nullptr;
  uint8_t touched_[12][27] = {};
  uint8_t fellBack_[12][27] = {};
  int lastDateRect_[4] = {-1, -1, -1, -1};  // left, right, top, bottom of the previous frame
  int lastTimeRect_[4] = {-1, -1, -1, -1};
  bool rectsUnchanged_ = false;
  SegmentMask dateMask_, timeMask_;
  BlockCoverage dateCoverage_, timeCoverage_;
  render::SampleBlender dateBlender_, timeBlender_;  // this frame's blend of each code
  PipelineCounts counts_;
};

}  // namespace kelo::pipeline

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
  // One text cell of a touched macroblock: the luminance sample it lies on (64 x block + index
  // within the block) and its value.
  struct PaintCell {
    uint16_t sample;
    int16_t cell;
  };
  // What a touched segment paints: per macroblock the luminance blocks the texts reach, and its
  // cells in planCells_, the date's [bounds[2m], bounds[2m + 1]) and the time's
  // [bounds[2m + 1], bounds[2m + 2]).
  struct SegmentPlan {
    int sequence = 0, segment = 0;
    uint8_t lumaBlocks[dv::kMacroblocksPerSegment] = {};
    uint32_t bounds[2 * dv::kMacroblocksPerSegment + 1] = {};
  };

  bool planStillHolds(const dv::DvFrameInfo& info) const;
  void buildPlan(const dv::DvFrameInfo& info, const OverlayLayer& date, const OverlayLayer& time);
  bool computeMasks(const dv::DvFrameInfo& info, int sequence, int segment, const OverlayLayer& date,
                    const OverlayLayer& time);
  void collectCells(const dv::MacroblockPlace& place, int m, const SegmentMask& mask,
                    const render::OverlayRaster& layer);
  bool paintSegment(const SegmentPlan& plan, bool hasDate, bool hasTime);
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
  // The touched segments and their cells, kept while the texts, their places, the codes drawn and
  // the layout stay the same: most frames of a file repeat the previous frame's texts.
  std::vector<SegmentPlan> plan_;
  std::vector<PaintCell> planCells_;
  int16_t planOf_[12][27] = {};  // index into plan_, or -1
  bool planValid_ = false;
  const dv::VideoProfile* planProfile_ = nullptr;
  bool planHasDate_ = false, planHasTime_ = false;
  PipelineCounts counts_;
};

}  // namespace kelo::pipeline

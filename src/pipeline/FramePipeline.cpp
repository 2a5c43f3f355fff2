#include "pipeline/FramePipeline.h"

#include <algorithm>
#include <cstring>

#include "dv/DifLayout.h"
#include "dv/SegmentDecoder.h"
#include "dv/SegmentEncoder.h"
#include "dv/VideoProfile.h"

namespace kelo::pipeline {

namespace {

using dv::MacroblockShape;

int boxWidth(MacroblockShape shape) { return shape == MacroblockShape::k411 ? 32 : 16; }
int boxHeight(MacroblockShape shape) { return shape == MacroblockShape::k411 ? 8 : 16; }

// Intersects one macroblock box with a layer's rectangle; sets bit m of the mask on overlap.
void intersect(SegmentMask& mask, int m, int bx, int by, int w, int h, const render::OverlayRaster& layer) {
  if (layer.left >= bx + w || bx >= layer.right || layer.top >= by + h || by >= layer.bottom) return;
  mask.macroblocks |= static_cast<uint8_t>(1u << m);
  mask.stride = layer.stride;
  mask.firstColumn[m] = static_cast<int16_t>(std::max<int>(layer.left - bx, 0));
  mask.endColumn[m] = static_cast<int16_t>(std::min<int>(layer.right, bx + w) - bx);
  mask.firstRow[m] = static_cast<int16_t>(std::max<int>(layer.top - by, 0));
  mask.endRow[m] = static_cast<int16_t>(std::min<int>(layer.bottom, by + h) - by);
}

// Where luminance pixel (r, c) of a macroblock lives: block and index within the block.
inline void lumaPosition(MacroblockShape shape, int r, int c, int& block, int& index) {
  if (shape == MacroblockShape::k411) {
    block = c >> 3;
    index = r * 8 + (c & 7);
  } else {
    block = (r >> 3) * 2 + (c >> 3);
    index = (r & 7) * 8 + (c & 7);
  }
}

inline int chromaIndex(MacroblockShape shape, int r, int c) {
  switch (shape) {
    case MacroblockShape::k411: return r * 8 + c / 4;
    case MacroblockShape::k411Edge: return (r & 7) * 8 + 4 * (r >> 3) + c / 4;
    case MacroblockShape::k420: break;
  }
  return (r / 2) * 8 + c / 2;
}

inline uint8_t clampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

bool sameRect(const OverlayLayer& layer, const int rect[4]) {
  const render::OverlayRaster& a = *layer.raster;
  return a.left == rect[0] && a.right == rect[1] && a.top == rect[2] && a.bottom == rect[3];
}

}  // namespace

FramePipeline::FramePipeline() : segment_(std::make_unique<dv::VideoSegment>()) {
  beginPass();
}

FramePipeline::~FramePipeline() = default;

void FramePipeline::beginPass() {
  std::memset(touched_, 1, sizeof touched_);
  std::fill(std::begin(lastDateRect_), std::end(lastDateRect_), -1);
  std::fill(std::begin(lastTimeRect_), std::end(lastTimeRect_), -1);
}

bool FramePipeline::segmentTouchesOverlay(const dv::DvFrameInfo& info, int s, int k, const OverlayLayer& date,
                                          const OverlayLayer& time) {
  // Neither text changed since the previous frame and this segment was not touched then.
  const bool timeSame = !info.hasTime || (info.secondsOfDay == info.previousSecondsOfDay && info.timeDrawnBefore);
  const bool dateSame = !info.hasDate || (info.dateKey == info.previousDateKey && info.dateDrawnBefore);
  if (timeSame && dateSame && rectsUnchanged_ && !touched_[s][k]) return false;
  if (!profile_ || profile_->system != info.system) profile_ = dv::videoProfileFor(info.system);
  if (!profile_) return false;

  dateMask_ = SegmentMask{};
  timeMask_ = SegmentMask{};
  for (int m = 0; m < dv::kMacroblocksPerSegment; ++m) {
    const dv::MacroblockPlace& p = profile_->place(s, k, m);
    const int w = boxWidth(p.shape), h = boxHeight(p.shape);
    if (info.hasDate) intersect(dateMask_, m, p.x, p.y, w, h, *date.raster);
    if (info.hasTime) intersect(timeMask_, m, p.x, p.y, w, h, *time.raster);
  }
  const bool any = (dateMask_.macroblocks | timeMask_.macroblocks) != 0;
  touched_[s][k] = any ? 1 : 0;
  return any;
}

void FramePipeline::paintMacroblock(dv::Macroblock& mb, int m, const SegmentMask& mask, const OverlayLayer& overlay) {
  const render::OverlayRaster& layer = *overlay.raster;
  const MacroblockShape shape = mb.place.shape;
  const int bx = mb.place.x, by = mb.place.y;
  for (int r = mask.firstRow[m]; r < mask.endRow[m]; ++r) {
    // Pixel (r, c) reads cell ((by + r - top) * stride + (bx + c - left)).
    const int16_t* row = layer.cells.data() + static_cast<ptrdiff_t>(by + r - layer.top) * layer.stride;
    for (int c = mask.firstColumn[m]; c < mask.endColumn[m]; ++c) {
      const int v = row[bx + c - layer.left];
      if (v == 0) continue;
      int block = 0, index = 0;
      lumaPosition(shape, r, c, block, index);
      int16_t& sample = mb.blocks[block].coeffs[index];
      sample = render::blendSample(sample, static_cast<int16_t>(v), *overlay.code, *overlay.weights);
    }
  }
}

void FramePipeline::convertToPreview(const dv::VideoSegment& segment, RgbImage& image) {
  for (const dv::Macroblock& mb : segment.macroblocks) {
    const MacroblockShape shape = mb.place.shape;
    const int w = boxWidth(shape), h = boxHeight(shape);
    const int16_t* cr = mb.blocks[dv::kCr].coeffs;
    const int16_t* cb = mb.blocks[dv::kCb].coeffs;
    for (int r = 0; r < h; ++r) {
      const int y = mb.place.y + r;
      if (y >= image.height) break;
      for (int c = 0; c < w; ++c) {
        const int x = mb.place.x + c;
        if (x >= image.width) break;
        int block = 0, index = 0;
        lumaPosition(shape, r, c, block, index);
        const int ci = chromaIndex(shape, r, c);
        const int Y = mb.blocks[block].coeffs[index] / 2 + 128;
        const int V = cr[ci] / 2;
        const int U = cb[ci] / 2;
        uint8_t* px = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 3];
        px[0] = clampByte(static_cast<int>(Y + 1.402 * V));
        px[1] = clampByte(static_cast<int>(Y - (0.34414 * U + 0.71414 * V)));
        px[2] = clampByte(static_cast<int>(Y + 1.772 * U));
      }
    }
  }
}

int FramePipeline::stampFrame(const dv::DvFrameInfo& info, uint8_t* frame, const OverlayLayer& date,
                              const OverlayLayer& time, PipelineMode mode, RgbImage* preview) {
  profile_ = dv::videoProfileFor(info.system);
  if (!profile_) return -1;
  const bool previewing = mode == PipelineMode::Preview && preview;
  if (previewing) {
    preview->width = profile_->width;
    preview->height = profile_->height;
    preview->pixels.assign(static_cast<size_t>(preview->width) * preview->height * 3, 0);
  }
  // A raster that moved or grew may reach segments that the previous frame did not touch.
  rectsUnchanged_ = (!info.hasDate || sameRect(date, lastDateRect_)) && (!info.hasTime || sameRect(time, lastTimeRect_));
  auto remember = [](int rect[4], const render::OverlayRaster& r) {
    rect[0] = r.left, rect[1] = r.right, rect[2] = r.top, rect[3] = r.bottom;
  };
  if (info.hasDate) remember(lastDateRect_, *date.raster);
  if (info.hasTime) remember(lastTimeRect_, *time.raster);

  int encoded = 0;
  dv::VideoSegment& seg = *segment_;
  for (int s = 0; s < profile_->sequenceCount; ++s) {
    for (int k = 0; k < dv::kSegmentsPerSequence; ++k) {
      const bool touches = segmentTouchesOverlay(info, s, k, date, time);
      if (!touches && !previewing) continue;
      uint8_t* bytes = frame + dv::segmentOffset(s, k);
      dv::loadSegment(seg, bytes, *profile_, s, k);
      dv::parseSegment(seg);
      for (int m = 0; m < dv::kMacroblocksPerSegment; ++m) {
        dv::Macroblock& mb = seg.macroblocks[m];
        mb.modified = 0;
        if (previewing) {
          dv::decodeMacroblock(mb);
          mb.modified = 1;
        }
        if (info.hasDate && (dateMask_.macroblocks >> m & 1)) {
          if (!mb.modified) dv::decodeMacroblock(mb), mb.modified = 1;
          paintMacroblock(mb, m, dateMask_, date);
        }
        if (info.hasTime && (timeMask_.macroblocks >> m & 1)) {
          if (!mb.modified) dv::decodeMacroblock(mb), mb.modified = 1;
          paintMacroblock(mb, m, timeMask_, time);
        }
      }
      if (previewing) {
        convertToPreview(seg, *preview);
        continue;
      }
      dv::prepareForEncoding(seg);
      // Keep each block's ID and STA; QNO and the payload are written by the encoder.
      for (int b = 0; b < dv::kBlocksPerSegment; ++b) {
        uint8_t* block = bytes + b * dv::kDifBlockBytes;
        block[3] &= 0xF0;
        std::memset(block + 4, 0, dv::kDifBlockBytes - 4);
      }
      dv::encodeSegment(seg, bytes);
      ++encoded;
    }
  }
  return encoded;
}

}  // namespace kelo::pipeline

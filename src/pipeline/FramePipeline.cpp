#include "pipeline/FramePipeline.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Preview colours: BT.601 with 16 fractional bits. The luminance is whole, so Y + (k x chroma) >> 16
// equals (Y << 16 + k x chroma) >> 16, and the chroma terms are worked out once per chroma sample.
constexpr int kRv = 91881, kGu = 22554, kGv = 46802, kBu = 116130;

void previewMacroblock(const dv::Macroblock& mb, int w, int h, uint8_t* origin, size_t stride) {
  const MacroblockShape shape = mb.place.shape;
  const int chromaShift = shape == MacroblockShape::k420 ? 1 : 2;  // 2 or 4 pixels across per sample
  const int16_t* cr = mb.blocks[dv::kCr].coeffs;
  const int16_t* cb = mb.blocks[dv::kCb].coeffs;
  for (int r = 0; r < h; ++r) {
    const int chromaRow = chromaIndex(shape, r, 0);
    uint8_t* px = origin + r * stride;
    for (int c = 0; c < w; ++c, px += 3) {
      int block = 0, index = 0;
      lumaPosition(shape, r, c, block, index);
      const int y = mb.blocks[block].coeffs[index] / 2 + 128;
      const int v = cr[chromaRow + (c >> chromaShift)] / 2;
      const int u = cb[chromaRow + (c >> chromaShift)] / 2;
      px[0] = clampByte(y + ((kRv * v) >> 16));
      px[1] = clampByte(y + ((-kGu * u - kGv * v) >> 16));
      px[2] = clampByte(y + ((kBu * u) >> 16));
    }
  }
}

#if defined(__SSE2__)
// x / 2 truncated toward zero, as the scalar path's integer division.
inline __m128i halve(__m128i x) { return _mm_srai_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 15)), 1); }

// The scalar terms for eight chroma samples, exactly: each constant is split into a multiple of
// 65536 and a part that fits 16 bits (91881 = 65536 + 26345, -46802 = -65536 + 18734,
// 116130 = 131072 - 14942).
struct ChromaTerms {
  __m128i r, g, b;
};
inline ChromaTerms chromaTerms(__m128i u, __m128i v) {
  ChromaTerms t;
  t.r = _mm_add_epi16(v, _mm_mulhi_epi16(v, _mm_set1_epi16(kRv - 65536)));
  // Pairs (u, v) times (-22554, 18734), summed in 32 bits as the scalar expression is.
  const __m128i pair = _mm_set1_epi32(static_cast<int>((uint32_t{65536 - kGv} << 16) | static_cast<uint16_t>(-kGu)));
  const __m128i lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(u, v), pair), 16);
  const __m128i hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(u, v), pair), 16);
  t.g = _mm_sub_epi16(_mm_packs_epi32(lo, hi), v);
  t.b = _mm_add_epi16(_mm_add_epi16(u, u), _mm_mulhi_epi16(u, _mm_set1_epi16(kBu - 131072)));
  return t;
}

// The terms of the eight pixels of run `run` of a row: a chroma sample covers 2 pixels (4:2:0) or 4.
inline __m128i spreadTerms(__m128i t, int run, bool fourTwoZero) {
  if (fourTwoZero) return run == 0 ? _mm_unpacklo_epi16(t, t) : _mm_unpackhi_epi16(t, t);
  const __m128i pairs = run < 2 ? _mm_unpacklo_epi16(t, t) : _mm_unpackhi_epi16(t, t);
  return (run & 1) ? _mm_unpackhi_epi32(pairs, pairs) : _mm_unpacklo_epi32(pairs, pairs);
}

// The same colours as previewMacroblock, eight pixels of a block row at a time.
void previewMacroblockSse2(const dv::Macroblock& mb, int h, uint8_t* origin, size_t stride) {
  const MacroblockShape shape = mb.place.shape;
  const bool fourTwoZero = shape == MacroblockShape::k420;
  const int runs = boxWidth(shape) / 8;
  for (int r = 0; r < h; ++r) {
    const int chromaRow = chromaIndex(shape, r, 0);
    const int16_t* cr = mb.blocks[dv::kCr].coeffs + chromaRow;
    const int16_t* cb = mb.blocks[dv::kCb].coeffs + chromaRow;
    // A right-edge row has four chroma samples, and the last of them ends its block.
    const bool half = shape == MacroblockShape::k411Edge;
    const __m128i v = halve(half ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr))
                                 : _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr)));
    const __m128i u = halve(half ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb))
                                 : _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb)));
    const ChromaTerms t = chromaTerms(u, v);
    uint8_t* px = origin + r * stride;
    for (int run = 0; run < runs; ++run, px += 24) {
      int block = 0, index = 0;
      lumaPosition(shape, r, run * 8, block, index);
      const __m128i s = _mm_load_si128(reinterpret_cast<const __m128i*>(mb.blocks[block].coeffs + index));
      const __m128i y = _mm_add_epi16(halve(s), _mm_set1_epi16(128));
      // Saturating sums and the unsigned pack clamp to 0-255 as the scalar path does.
      alignas(16) uint8_t rgb[3][16];
      const __m128i terms[3] = {t.r, t.g, t.b};
      for (int k = 0; k < 3; ++k) {
        const __m128i sum = _mm_adds_epi16(y, spreadTerms(terms[k], run, fourTwoZero));
        _mm_store_si128(reinterpret_cast<__m128i*>(rgb[k]), _mm_packus_epi16(sum, sum));
      }
      for (int i = 0; i < 8; ++i) {
        px[3 * i] = rgb[0][i];
        px[3 * i + 1] = rgb[1][i];
        px[3 * i + 2] = rgb[2][i];
      }
    }
  }
}
#endif

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
  planValid_ = false;
  std::fill(std::begin(lastDateRect_), std::end(lastDateRect_), -1);
  std::fill(std::begin(lastTimeRect_), std::end(lastTimeRect_), -1);
}

bool FramePipeline::useProfileOf(const dv::DvFrameInfo& info) {
  // In another layout a segment covers other places: what it touched before says nothing.
  if (info.profile != profile_) std::memset(touched_, 1, sizeof touched_);
  profile_ = info.profile;
  return profile_ != nullptr;
}

bool FramePipeline::beginFrame(const dv::DvFrameInfo& info, const OverlayLayer& date, const OverlayLayer& time) {
  if (!useProfileOf(info)) return false;
  // A raster that moved, grew or reaches other blocks may touch segments that the previous frame
  // did not.
  rectsUnchanged_ = (!info.hasDate || sameRect(date, lastDateRect_)) && (!info.hasTime || sameRect(time, lastTimeRect_));
  auto remember = [](int rect[4], const render::OverlayRaster& r) {
    rect[0] = r.left, rect[1] = r.right, rect[2] = r.top, rect[3] = r.bottom;
  };
  if (info.hasDate) {
    remember(lastDateRect_, *date.raster);
    rectsUnchanged_ = dateCoverage_.update(*date.raster, profile_->width, profile_->height) && rectsUnchanged_;
  }
  if (info.hasTime) {
    remember(lastTimeRect_, *time.raster);
    rectsUnchanged_ = timeCoverage_.update(*time.raster, profile_->width, profile_->height) && rectsUnchanged_;
  }
  return true;
}

namespace {

// The luminance blocks of macroblock `m` that the coverage reaches, as bits; clears bit m of the
// mask when there are none.
void reachedBlocks(SegmentMask& mask, int m, const dv::MacroblockPlace& p, const BlockCoverage& coverage) {
  if (!(mask.macroblocks >> m & 1)) return;
  uint8_t bits = 0;
  for (int b = 0; b < 4; ++b) {
    const bool across = p.shape == MacroblockShape::k411;
    const int x = p.x + (across ? 8 * b : 8 * (b & 1)), y = p.y + (across ? 0 : 8 * (b >> 1));
    if (coverage.reaches(x, y)) bits |= static_cast<uint8_t>(1u << b);
  }
  mask.lumaBlocks[m] = bits;
  if (bits == 0) mask.macroblocks &= static_cast<uint8_t>(~(1u << m));
}

}  // namespace

bool FramePipeline::segmentTouchesOverlay(const dv::DvFrameInfo& info, int s, int k, const OverlayLayer& date,
                                          const OverlayLayer& time) {
  // Neither text changed since the previous frame and this segment was not touched then.
  const bool timeSame = !info.hasTime || (info.secondsOfDay == info.previousSecondsOfDay && info.timeDrawnBefore);
  const bool dateSame = !info.hasDate || (info.dateKey == info.previousDateKey && info.dateDrawnBefore);
  if (!useProfileOf(info)) return false;
  if (timeSame && dateSame && rectsUnchanged_ && !touched_[s][k]) return false;
  const bool any = computeMasks(info, s, k, date, time);
  touched_[s][k] = any ? 1 : 0;
  return any;
}

bool FramePipeline::computeMasks(const dv::DvFrameInfo& info, int s, int k, const OverlayLayer& date,
                                 const OverlayLayer& time) {
  dateMask_ = SegmentMask{};
  timeMask_ = SegmentMask{};
  for (int m = 0; m < dv::kMacroblocksPerSegment; ++m) {
    const dv::MacroblockPlace& p = profile_->place(s, k, m);
    const int w = boxWidth(p.shape), h = boxHeight(p.shape);
    if (info.hasDate) {
      intersect(dateMask_, m, p.x, p.y, w, h, *date.raster);
      reachedBlocks(dateMask_, m, p, dateCoverage_);
    }
    if (info.hasTime) {
      intersect(timeMask_, m, p.x, p.y, w, h, *time.raster);
      reachedBlocks(timeMask_, m, p, timeCoverage_);
    }
  }
  return (dateMask_.macroblocks | timeMask_.macroblocks) != 0;
}

bool FramePipeline::planStillHolds(const dv::DvFrameInfo& info) const {
  // The coverages compare the cells themselves, so a new text with another shape is seen even in
  // the same rectangle.
  return planValid_ && rectsUnchanged_ && planProfile_ == profile_ && planHasDate_ == (info.hasDate != 0) &&
         planHasTime_ == (info.hasTime != 0);
}

void FramePipeline::collectCells(const dv::MacroblockPlace& place, int m, const SegmentMask& mask,
                                 const render::OverlayRaster& layer) {
  const int stride = std::max<int>(layer.stride, 0);
  // Rows and columns the cells actually hold (a raster may be smaller than its rectangle).
  const int rows = stride == 0 ? 0 : static_cast<int>(layer.cells.size() / static_cast<size_t>(stride));
  const int endRow = std::min<int>(mask.endRow[m], rows + layer.top - place.y);
  const int endColumn = std::min<int>(mask.endColumn[m], stride + layer.left - place.x);
  for (int r = mask.firstRow[m]; r < endRow; ++r) {
    // Pixel (r, c) reads cell ((y + r - top) * stride + (x + c - left)).
    const int16_t* row = layer.cells.data() + static_cast<ptrdiff_t>(place.y + r - layer.top) * stride;
    for (int c = mask.firstColumn[m]; c < endColumn; ++c) {
      const int16_t v = row[place.x + c - layer.left];
      if (v == 0) continue;
      int block = 0, index = 0;
      lumaPosition(place.shape, r, c, block, index);
      planCells_.push_back({static_cast<uint16_t>(block * 64 + index), v});
    }
  }
}

void FramePipeline::buildPlan(const dv::DvFrameInfo& info, const OverlayLayer& date, const OverlayLayer& time) {
  plan_.clear();
  planCells_.clear();
  for (int s = 0; s < profile_->sequenceCount; ++s) {
    for (int k = 0; k < dv::kSegmentsPerSequence; ++k) {
      const bool any = computeMasks(info, s, k, date, time);
      touched_[s][k] = any ? 1 : 0;
      planOf_[s][k] = -1;
      if (!any) continue;
      planOf_[s][k] = static_cast<int16_t>(plan_.size());
      SegmentPlan& plan = plan_.emplace_back();
      plan.sequence = s;
      plan.segment = k;
      for (int m = 0; m < dv::kMacroblocksPerSegment; ++m) {
        const dv::MacroblockPlace& place = profile_->place(s, k, m);
        plan.bounds[2 * m] = static_cast<uint32_t>(planCells_.size());
        if (dateMask_.macroblocks >> m & 1) {
          plan.lumaBlocks[m] |= dateMask_.lumaBlocks[m];
          collectCells(place, m, dateMask_, *date.raster);
        }
        plan.bounds[2 * m + 1] = static_cast<uint32_t>(planCells_.size());
        if (timeMask_.macroblocks >> m & 1) {
          plan.lumaBlocks[m] |= timeMask_.lumaBlocks[m];
          collectCells(place, m, timeMask_, *time.raster);
        }
      }
      plan.bounds[2 * dv::kMacroblocksPerSegment] = static_cast<uint32_t>(planCells_.size());
    }
  }
  planValid_ = true;
  planProfile_ = profile_;
  planHasDate_ = info.hasDate != 0;
  planHasTime_ = info.hasTime != 0;
}

void FramePipeline::convertToPreview(const dv::VideoSegment& segment, RgbImage& image) {
  for (const dv::Macroblock& mb : segment.macroblocks) {
    const int w = std::min(boxWidth(mb.place.shape), image.width - mb.place.x);
    const int h = std::min(boxHeight(mb.place.shape), image.height - mb.place.y);
    uint8_t* origin = &image.pixels[(static_cast<size_t>(mb.place.y) * image.width + mb.place.x) * 3];
    const size_t stride = static_cast<size_t>(image.width) * 3;
#if defined(__SSE2__)
    if (w == boxWidth(mb.place.shape)) {
      previewMacroblockSse2(mb, h, origin, stride);
      continue;
    }
#endif
    previewMacroblock(mb, w, h, origin, stride);
  }
}

bool FramePipeline::paintSegment(const SegmentPlan& plan, bool hasDate, bool hasTime) {
  bool changed = false;
  for (int m = 0; m < dv::kMacroblocksPerSegment; ++m) {
    dv::Macroblock& mb = segment_->macroblocks[m];
    mb.modified = 0;
    const unsigned reached = plan.lumaBlocks[m];
    if (reached == 0) continue;
    // The blocks under the text are decoded beside their coefficients; only those the blend
    // changes (not those under a transparent code or a fade at zero) take the painted samples.
    alignas(32) int16_t samples[4 * 64];  // block after block, as PaintCell::sample counts
    alignas(32) int16_t decoded[4 * 64];
    constexpr size_t kBlockBytes = 64 * sizeof(int16_t);
    for (int b = 0; b < 4; ++b) {
      if (!(reached >> b & 1)) continue;
      dv::decodeBlockTo(mb.blocks[b], mb.qno, samples + 64 * b);
      std::memcpy(decoded + 64 * b, samples + 64 * b, kBlockBytes);
    }
    // The date first, the time on top.
    auto paint = [&samples](const PaintCell* cell, const PaintCell* end, const render::SampleBlender& blender) {
      for (; cell != end; ++cell) {
        int16_t& sample = samples[cell->sample];
        sample = blender.blend(sample, cell->cell);
      }
    };
    const PaintCell* cells = planCells_.data();
    if (hasDate) paint(cells + plan.bounds[2 * m], cells + plan.bounds[2 * m + 1], dateBlender_);
    if (hasTime) paint(cells + plan.bounds[2 * m + 1], cells + plan.bounds[2 * m + 2], timeBlender_);
    for (int b = 0; b < 4; ++b) {
      if (!(reached >> b & 1) || std::memcmp(decoded + 64 * b, samples + 64 * b, kBlockBytes) == 0) continue;
      dv::DctBlock& block = mb.blocks[b];
      std::memcpy(block.coeffs, samples + 64 * b, kBlockBytes);
      block.holdsSamples = 1;
      mb.modified = 1;
    }
    changed = changed || mb.modified;
  }
  return changed;
}

void FramePipeline::reencode(uint8_t* bytes, int sequence, int segment) {
  dv::prepareForEncoding(*segment_);
  const dv::SegmentFit fit = dv::encodeSegment(*segment_, bytes);  // keeps each block's ID and STA
  ++counts_.segmentsEncoded;
  const bool all = fit == dv::SegmentFit::AllMacroblocks || fit == dv::SegmentFit::Truncated;
  fellBack_[sequence][segment] = all ? 1 : 0;
  if (all) ++counts_.fallbackSegments;
  if (fit == dv::SegmentFit::Truncated) ++counts_.truncatedSegments;
}

int FramePipeline::stampFrame(const dv::DvFrameInfo& info, uint8_t* frame, const OverlayLayer& date,
                              const OverlayLayer& time, PipelineMode mode, RgbImage* preview) {
  if (!beginFrame(info, date, time)) return -1;
  std::memset(fellBack_, 0, sizeof fellBack_);
  if (info.hasDate) dateBlender_ = render::SampleBlender(*date.code, *date.weights);
  if (info.hasTime) timeBlender_ = render::SampleBlender(*time.code, *time.weights);
  const bool previewing = mode == PipelineMode::Preview;
  if (previewing && preview) {
    preview->width = profile_->width;
    preview->height = profile_->height;
    preview->pixels.assign(static_cast<size_t>(preview->width) * preview->height * 3, 0);
  } else if (previewing) {
    return 0;
  }

  if (!planStillHolds(info)) buildPlan(info, date, time);

  int encoded = 0;
  dv::VideoSegment& seg = *segment_;
  auto stampSegment = [&](const SegmentPlan& plan, uint8_t* bytes) {
    dv::loadSegment(seg, bytes, *profile_, plan.sequence, plan.segment);
    dv::parseSegment(seg);
    const bool changed = paintSegment(plan, info.hasDate != 0, info.hasTime != 0);
    if (changed) reencode(bytes, plan.sequence, plan.segment);
    return changed;
  };
  if (!previewing) {
    for (const SegmentPlan& plan : plan_) {
      if (stampSegment(plan, frame + dv::segmentOffset(plan.sequence, plan.segment))) ++encoded;
    }
    return encoded;
  }
  for (int s = 0; s < profile_->sequenceCount; ++s) {
    for (int k = 0; k < dv::kSegmentsPerSequence; ++k) {
      const uint8_t* bytes = frame + dv::segmentOffset(s, k);
      uint8_t out[dv::kSegmentBytes];
      if (planOf_[s][k] >= 0) {
        // The preview shows what the stamp writes: the segment as re-encoded and read back (one
        // the text leaves as it was holds its parsed coefficients again).
        std::memcpy(out, bytes, sizeof out);
        if (stampSegment(plan_[static_cast<size_t>(planOf_[s][k])], out)) bytes = out;
        else bytes = nullptr;
      }
      if (bytes) {
        dv::loadSegment(seg, bytes, *profile_, s, k);
        dv::parseSegment(seg);
      }
      for (dv::Macroblock& mb : seg.macroblocks) dv::decodeMacroblock(mb);
      convertToPreview(seg, *preview);
    }
  }
  return encoded;
}

}  // namespace kelo::pipeline

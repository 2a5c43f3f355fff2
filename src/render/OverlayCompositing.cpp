#include "render/OverlayCompositing.h"

#include <algorithm>
#include <limits>

namespace kelo::render {
namespace {

int16_t toSample(int64_t v) {
  return static_cast<int16_t>(std::clamp<int64_t>(v, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

int32_t toWeight(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Keeps a placement inside the 16-bit rectangle, with room for right = left + width.
int16_t toPosition(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, 0, 30000)); }

}  // namespace

void resetRaster(OverlayRaster& raster) {
  raster.stride = 0;
  raster.baseline = 0;
  raster.width = 0;
  raster.rows = 0;
  raster.left = raster.right = raster.top = raster.bottom = 0;
  raster.sourceText.clear();
  raster.sourceAppearance = RasterAppearance{};
  raster.sourceValid = false;
}

void setFullWeights(OverlayWeights& weights) {
  static constexpr int32_t kNew[4] = {1000, 1000, 1000, 1000};
  static constexpr int32_t kOld[4] = {0, 0, 1000, 5000};
  for (int k = 0; k < 4; ++k) {
    weights.newWeight[k] = kNew[k];
    weights.oldWeight[k] = kOld[k];
  }
}

void placeOverlayRaster(OverlayRaster& raster, const settings::StampCodeSettings& code, int frameWidth,
                        int frameHeight) {
  const int64_t w = raster.width;
  const int64_t b = raster.baseline;
  const int64_t x = code.x;
  const int64_t y = code.y;
  int64_t left = x;
  int64_t top = y - b;
  switch (code.corner) {
    case settings::CornerPreset::TopLeft: break;
    case settings::CornerPreset::TopCentre: left = x - w / 2; break;
    case settings::CornerPreset::TopRight: left = frameWidth - x - w; break;
    case settings::CornerPreset::BottomLeft: top = frameHeight - y - b; break;
    case settings::CornerPreset::BottomCentre:
      left = x - w / 2;
      top = frameHeight - y - b;
      break;
    case settings::CornerPreset::BottomRight:
      left = frameWidth - x - w;
      top = frameHeight - y - b;
      break;
  }
  // A negative position becomes 0; settings far outside any frame cannot wrap the 16-bit rectangle.
  raster.left = toPosition(left);
  raster.top = toPosition(top);
  raster.right = static_cast<int16_t>(raster.left + raster.width);
  raster.bottom = static_cast<int16_t>(raster.top + raster.rows);
}

void applyTransparency(OverlayWeights& weights, int32_t transparency) {
  for (int k = 0; k < 4; ++k) {
    const int64_t moved = static_cast<int64_t>(weights.newWeight[k]) * transparency / 100;
    weights.effNewWeight[k] = toWeight(weights.newWeight[k] - moved);
    weights.effOldWeight[k] = toWeight(moved + weights.oldWeight[k]);
  }
}

int16_t blendSample(int16_t sample, int16_t cell, const settings::StampCodeSettings& code,
                    const OverlayWeights& weights) {
  return blendSample(sample, cell, code, weights.effNewWeight, weights.effOldWeight);
}

namespace {

int16_t blendOne(int16_t sample, int cell, bool outline, int64_t fontBrightness, int64_t outlineBrightness,
                 const int32_t effNewWeight[4], const int32_t effOldWeight[4]) {
  const int64_t s = sample;
  const int64_t o = outlineBrightness;
  int64_t target;
  int64_t wn;
  int64_t wo;
  if (cell >= kRing1 && cell <= kRing3) {
    const int ring = cell - 1000;
    target = o;
    wn = effNewWeight[ring];
    wo = effOldWeight[ring];
  } else {
    const int64_t l = fontBrightness;
    const int64_t base = outline ? o : s;
    target = base + (l - base) * cell / 255;
    wn = effNewWeight[0];
    wo = effOldWeight[0];
  }
  if (wo == 0) return toSample(target);
  // Weights that cancel out (only possible from damaged settings) leave the sample as it was.
  if (wn + wo == 0) return sample;
  return toSample((target * wn + s * wo) / (wn + wo));
}

int64_t magnitude(int64_t v) { return v < 0 ? -v : v; }

}  // namespace

int16_t blendSample(int16_t sample, int cell, const settings::StampCodeSettings& code, const int32_t effNewWeight[4],
                    const int32_t effOldWeight[4]) {
  return blendOne(sample, cell, code.outline, code.fontBrightness, code.outlineBrightness, effNewWeight, effOldWeight);
}

SampleBlender::SampleBlender(const settings::StampCodeSettings& code, const OverlayWeights& weights)
    : outline_(code.outline), fontBrightness_(code.fontBrightness), outlineBrightness_(code.outlineBrightness) {
  for (int k = 0; k < 4; ++k) {
    effNew_[k] = weights.effNewWeight[k];
    effOld_[k] = weights.effOldWeight[k];
  }
  // Brightness within this bound keeps every intermediate of the shortcut inside 32 bits.
  constexpr int64_t kBrightnessBound = int64_t{1} << 20;
  constexpr int64_t kSampleBound = 32768;
  constexpr int64_t kNumeratorBound = int64_t{1} << 31;
  const bool brightnessFits =
      magnitude(fontBrightness_) <= kBrightnessBound && magnitude(outlineBrightness_) <= kBrightnessBound;
  for (int k = 0; k < 4; ++k) {
    Class& c = classes_[k];
    c.newWeight = effNew_[k];
    c.oldWeight = effOld_[k];
    const bool glyph = k == 0;
    const bool fixedTarget = !glyph || outline_;  // the target does not depend on the sample
    if (!brightnessFits) {
      c.kind = Kind::Exact;
    } else if (c.oldWeight == 0) {
      c.kind = glyph ? (outline_ ? Kind::Table : Kind::Target) : Kind::Constant;
      c.constant = toSample(outlineBrightness_);
    } else if (c.newWeight + c.oldWeight == 0) {
      c.kind = Kind::Keep;
    } else {
      const int64_t targetBound = fixedTarget ? std::max(magnitude(fontBrightness_), magnitude(outlineBrightness_))
                                              : std::max(magnitude(fontBrightness_), kSampleBound);
      const int64_t d = c.newWeight + c.oldWeight;
      const bool fits = d > 0 && d < kNumeratorBound &&
                        targetBound * magnitude(c.newWeight) + kSampleBound * magnitude(c.oldWeight) < kNumeratorBound;
      c.kind = fits ? Kind::Divide : Kind::Exact;
      if (fits) {
        int l = 0;
        while ((int64_t{1} << l) < d) ++l;
        c.shift = 31 + l;
        c.magic = static_cast<uint64_t>(((int64_t{1} << c.shift) + d - 1) / d);
      }
    }
  }
  if (outline_ && brightnessFits) {
    for (int cell = 1; cell < 256; ++cell) {
      targetOfCell_[cell] =
          static_cast<int32_t>(outlineBrightness_ + (fontBrightness_ - outlineBrightness_) * cell / 255);
      resultOfCell_[cell] = toSample(targetOfCell_[cell]);
    }
  }
}

int16_t SampleBlender::exact(int16_t sample, int cell) const {
  return blendOne(sample, cell, outline_, fontBrightness_, outlineBrightness_, effNew_, effOld_);
}

}  // namespace kelo::render

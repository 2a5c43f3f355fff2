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

int16_t blendSample(int16_t sample, int cell, const settings::StampCodeSettings& code, const int32_t effNewWeight[4],
                    const int32_t effOldWeight[4]) {
  const int64_t s = sample;
  const int64_t o = code.outlineBrightness;
  int64_t target;
  int64_t wn;
  int64_t wo;
  if (cell >= kRing1 && cell <= kRing3) {
    const int ring = cell - 1000;
    target = o;
    wn = effNewWeight[ring];
    wo = effOldWeight[ring];
  } else {
    const int64_t l = code.fontBrightness;
    const int64_t base = code.outline ? o : s;
    target = base + (l - base) * cell / 255;
    wn = effNewWeight[0];
    wo = effOldWeight[0];
  }
  if (wo == 0) return toSample(target);
  // Weights that cancel out (only possible from damaged settings) leave the sample as it was.
  if (wn + wo == 0) return sample;
  return toSample((target * wn + s * wo) / (wn + wo));
}

}  // namespace kelo::render

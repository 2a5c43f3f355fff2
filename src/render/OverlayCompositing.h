#pragma once
// Placing a code's raster in the picture and blending it into luminance samples on the signed
// scale S = 2 x (level - 128).
#include "render/OverlayRaster.h"
#include "settings/StampSettings.h"

#include <cstdint>
#include <limits>

namespace kelo::render {

// Index 0: glyph cells; 1..3: outline rings 1001..1003.
struct OverlayWeights {
  int32_t newWeight[4] = {};
  int32_t oldWeight[4] = {};
  int32_t effNewWeight[4] = {};
  int32_t effOldWeight[4] = {};
};

// The weights at full strength: glyphs and ring 1 solid, ring 2 half, ring 3 one sixth.
void setFullWeights(OverlayWeights& weights);

// Sets left/right/top/bottom of a raster for its code's corner and offsets.
void placeOverlayRaster(OverlayRaster& raster, const settings::StampCodeSettings& code, int frameWidth,
                        int frameHeight);

// Moves `transparency` percent of each new weight to the old sample (effective weights).
void applyTransparency(OverlayWeights& weights, int32_t transparency);

// New value of luminance sample `sample` under raster cell `cell` (non-zero).
int16_t blendSample(int16_t sample, int16_t cell, const settings::StampCodeSettings& code,
                    const OverlayWeights& weights);
// The same with the effective weights given as arrays (index 0 glyphs, 1..3 rings).
int16_t blendSample(int16_t sample, int cell, const settings::StampCodeSettings& code, const int32_t effNewWeight[4],
                    const int32_t effOldWeight[4]);

// blendSample for the many samples of one code in one frame: the glyph targets and each weight
// class's division are worked out once, so that a sample costs a look-up and a multiplication.
// Every result equals blendSample's; settings or weights too large for that shortcut take
// blendSample itself.
class SampleBlender {
 public:
  SampleBlender() = default;
  SampleBlender(const settings::StampCodeSettings& code, const OverlayWeights& weights);

  int16_t blend(int16_t sample, int cell) const {
    int k = 0;
    if (cell >= kRing1 && cell <= kRing3) {
      k = cell - 1000;
    } else if (cell < 1 || cell > 255) {
      return exact(sample, cell);
    }
    const Class& c = classes_[k];
    int64_t target;
    switch (c.kind) {
      case Kind::Constant: return c.constant;
      case Kind::Table: return resultOfCell_[cell];
      case Kind::Keep: return sample;
      case Kind::Exact: return exact(sample, cell);
      case Kind::Target:
      case Kind::Divide: break;
    }
    if (k != 0 || outline_) {
      target = k != 0 ? outlineBrightness_ : targetOfCell_[cell];
    } else {
      target = sample + (fontBrightness_ - sample) * cell / 255;
    }
    if (c.kind == Kind::Target) return clampSample(target);
    const int64_t n = target * c.newWeight + int64_t{sample} * c.oldWeight;
    // |n| < 2^31 and 0 < d < 2^31 here: m = ceil(2^(31 + l) / d) with 2^l >= d divides exactly.
    const uint64_t magnitude = static_cast<uint64_t>(n < 0 ? -n : n);
    const int64_t q = static_cast<int64_t>((magnitude * c.magic) >> c.shift);
    return clampSample(n < 0 ? -q : q);
  }

 private:
  // Constant: rings with no old weight; Table: glyphs over an outline with no old weight; Target:
  // glyphs without an outline and with no old weight; Keep: weights that cancel; Divide: the
  // shortcut; Exact: blendSample.
  enum class Kind : uint8_t { Constant, Table, Target, Keep, Divide, Exact };
  struct Class {
    Kind kind = Kind::Exact;
    int16_t constant = 0;
    int64_t newWeight = 0, oldWeight = 0;
    uint64_t magic = 0;
    int shift = 0;
  };
  static int16_t clampSample(int64_t v) {
    return static_cast<int16_t>(v < std::numeric_limits<int16_t>::min()   ? std::numeric_limits<int16_t>::min()
                                : v > std::numeric_limits<int16_t>::max() ? std::numeric_limits<int16_t>::max()
                                                                          : v);
  }
  int16_t exact(int16_t sample, int cell) const;

  int32_t effNew_[4] = {}, effOld_[4] = {};
  bool outline_ = false;
  int64_t fontBrightness_ = 0, outlineBrightness_ = 0;
  Class classes_[4];
  int32_t targetOfCell_[256] = {};  // glyph cells over an outline: the target does not depend on the sample
  int16_t resultOfCell_[256] = {};  // ... nor, with no old weight, the result
};

}  // namespace kelo::render

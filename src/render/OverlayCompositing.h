#pragma once
// Placing a code's raster in the picture and blending it into luminance samples on the signed
// scale S = 2 x (level - 128).
#include "render/OverlayRaster.h"
#include "settings/StampSettings.h"

#include <cstdint>

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

}  // namespace kelo::render

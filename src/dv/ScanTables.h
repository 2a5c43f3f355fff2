#pragma once
// Scan orders and areas of the DV video DCT blocks. Coefficients are stored in raster order
// (8 * row + column); a 2-4-8 block keeps its sum-field coefficients in rows 0-3 and its
// difference-field coefficients in rows 4-7.
#include <cstdint>

namespace kelo::dv {

enum DctMode : uint8_t { kDct88 = 0, kDct248 = 1 };

// Raster position of each scan index.
extern const uint8_t kScan88[64];
extern const uint8_t kScan248[64];
inline const uint8_t* scanOrder(int dctMode) { return dctMode == kDct248 ? kScan248 : kScan88; }
// Scan index of each raster position (the inverse of the above).
const uint8_t* scanIndexOf(int dctMode);

// Area (0-3) of each AC scan index (index 0, the DC, is given area 0 but never quantised).
// The boundaries are the same for both modes: 1-5, 6-20, 21-42, 43-63.
extern const uint8_t kAreaOfScan[64];
inline constexpr int kAreaStart[5] = {1, 6, 21, 43, 64};

}  // namespace kelo::dv

#pragma once
// Quantisation steps and weighting of the DV video codec: the step-shift table by class, QNO and
// area, the weights of the 8-8 and 2-4-8 modes, and the combined dequantisation factors.
#include <cstdint>

namespace kelo::dv {

// Shift of the quantisation step for row QNO + kClassOffset[class], areas 0-3.
extern const uint8_t kStepShiftRows[22][4];
inline constexpr int kClassOffset[4] = {6, 3, 0, 1};

// Step shift for an AC coefficient of `area` in a block of `classNumber` at `qno`; class 3 carries
// its doubling.
inline int stepShift(int classNumber, int qno, int area) {
  return kStepShiftRows[qno + kClassOffset[classNumber]][area] + (classNumber == 3 ? 1 : 0);
}

// Step shift of every scan index (0 for the DC) for a class and QNO.
const uint8_t* stepShiftsByScan(int classNumber, int qno);

// Weight W of each raster position (DC included: 1/4; the 2-4-8 difference DC: 1/2), by DCT mode.
const double* weights(int dctMode);

// Fixed-point dequantisation: for a quantised value q at raster position p,
// (q * factor + kDequantRound) >> kDequantShift is 4 x the orthonormal DCT coefficient
// q * 2^shift / W(p) (for the DC, 4 x 4 x DC), which is the input scale of the inverse transform.
inline constexpr int kDequantShift = 11;
inline constexpr int kDequantRound = 1 << (kDequantShift - 1);
struct DequantTable {
  int32_t factor[2][4][16][64];  // [dctMode][class][qno][raster position]
  uint8_t shift[2][4][16][64];   // step shift by raster position (0 for the DC)
};
const DequantTable& dequantTable();

}  // namespace kelo::dv

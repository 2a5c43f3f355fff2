#include "dv/QuantTables.h"

#include <cmath>

#include "dv/ScanTables.h"

namespace kelo::dv {

const uint8_t kStepShiftRows[22][4] = {
    {3, 3, 4, 4}, {3, 3, 4, 4}, {2, 3, 3, 4}, {2, 3, 3, 4}, {2, 2, 3, 3}, {2, 2, 3, 3},
    {1, 2, 2, 3}, {1, 2, 2, 3}, {1, 1, 2, 2}, {1, 1, 2, 2}, {0, 1, 1, 2}, {0, 1, 1, 2},
    {0, 0, 1, 1}, {0, 0, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
};

namespace {

struct WeightTables {
  double w[2][64];
};

// One-dimensional weighting constants w(0..7) of IEC 61834-2.
double oneDimensionalWeight(int k) {
  const double pi = std::acos(-1.0);
  auto cs = [pi](int m) { return std::cos(m * pi / 16.0); };
  switch (k) {
    case 0: return 1.0;
    case 1: return cs(4) / (4.0 * cs(7) * cs(2));
    case 2: return cs(4) / (2.0 * cs(6));
    case 3: return 1.0 / (2.0 * cs(5));
    case 4: return 7.0 / 8.0;
    case 5: return cs(4) / cs(3);
    case 6: return cs(4) / cs(2);
    default: return cs(4) / cs(1);
  }
}

WeightTables buildWeights() {
  WeightTables t{};
  for (int v = 0; v < 8; ++v) {
    for (int h = 0; h < 8; ++h) {
      t.w[kDct88][v * 8 + h] = oneDimensionalWeight(h) * oneDimensionalWeight(v) / 2.0;
      // 2-4-8: rows 0-3 sum part (u = row), rows 4-7 difference part (u = row - 4).
      const int u = v & 3;
      t.w[kDct248][v * 8 + h] = oneDimensionalWeight(h) * oneDimensionalWeight(2 * u) / 2.0;
    }
  }
  t.w[kDct88][0] = 0.25;
  t.w[kDct248][0] = 0.25;  // the difference DC (position 32) keeps w(0) w(0) / 2 = 1/2
  return t;
}

const WeightTables& weightTables() {
  static const WeightTables t = buildWeights();
  return t;
}

DequantTable buildDequant() {
  DequantTable t{};
  const WeightTables& w = weightTables();
  for (int mode = 0; mode < 2; ++mode) {
    const uint8_t* scan = scanOrder(mode);
    for (int cls = 0; cls < 4; ++cls) {
      for (int qno = 0; qno < 16; ++qno) {
        for (int i = 0; i < 64; ++i) {
          const int p = scan[i];
          const int shift = i == 0 ? 0 : stepShift(cls, qno, kAreaOfScan[i]);
          // 8192 / W is 2^14 / (2 W); with kDequantShift 11 the result is 4 x q 2^shift / W.
          const int32_t iw = static_cast<int32_t>(std::lround(8192.0 / w.w[mode][p]));
          t.factor[mode][cls][qno][p] = iw << shift;
          t.shift[mode][cls][qno][p] = static_cast<uint8_t>(shift);
        }
      }
    }
  }
  return t;
}

}  // namespace

const uint8_t* stepShiftsByScan(int classNumber, int qno) {
  struct Table {
    uint8_t shift[4][16][64];
  };
  static const Table table = [] {
    Table t{};
    for (int c = 0; c < 4; ++c)
      for (int q = 0; q < 16; ++q)
        for (int i = 1; i < 64; ++i) t.shift[c][q][i] = static_cast<uint8_t>(stepShift(c, q, kAreaOfScan[i]));
    return t;
  }();
  return table.shift[classNumber & 3][qno & 15];
}

const double* weights(int dctMode) { return weightTables().w[dctMode == kDct248 ? 1 : 0]; }

const DequantTable& dequantTable() {
  static const DequantTable t = buildDequant();
  return t;
}

}  // namespace kelo::dv

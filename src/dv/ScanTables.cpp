#include "dv/ScanTables.h"

namespace kelo::dv {

const uint8_t kScan88[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

const uint8_t kScan248[64] = {
    0,  32, 1,  33, 8,  40, 2,  34, 9,  41, 16, 48, 24, 56, 17, 49, 10, 42, 3,  35, 4,  36,
    11, 43, 18, 50, 25, 57, 26, 58, 19, 51, 12, 44, 5,  37, 6,  38, 13, 45, 20, 52, 27, 59,
    28, 60, 21, 53, 14, 46, 7,  39, 15, 47, 22, 54, 29, 61, 30, 62, 23, 55, 31, 63,
};

const uint8_t* scanIndexOf(int dctMode) {
  struct Inverse {
    uint8_t of[2][64];
  };
  static const Inverse inverse = [] {
    Inverse t{};
    for (int i = 0; i < 64; ++i) {
      t.of[kDct88][kScan88[i]] = static_cast<uint8_t>(i);
      t.of[kDct248][kScan248[i]] = static_cast<uint8_t>(i);
    }
    return t;
  }();
  return inverse.of[dctMode & 1];
}

const uint8_t kAreaOfScan[64] = {
    0, 0, 0, 0, 0, 0,                                                  // DC, 1-5
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                       // 6-20
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // 21-42
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,     // 43-63
};

}  // namespace kelo::dv

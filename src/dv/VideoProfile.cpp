#include "dv/VideoProfile.h"

#include <array>

namespace kelo::dv {

void placeMacroblock525(int superblockRow, int superblockColumn, int k, int& x, int& y) {
  static constexpr int kColumnOffset[5] = {0, 4, 9, 13, 18};
  const int n = (superblockColumn & 1) ? k + 3 : k;
  const int q = n / 6;
  const int r = n % 6;
  const int row = (q % 2 == 0) ? r : 5 - r;
  const int column = (q + kColumnOffset[superblockColumn]) * 4;  // in 8-sample blocks
  x = column * 8;
  if (column < 88) {
    y = (6 * superblockRow + row) * 8;
  } else {
    y = (3 * superblockRow + row) * 16;  // right edge, x = 704
  }
}

void placeMacroblock625(int superblockRow, int superblockColumn, int k, int& x, int& y) {
  static constexpr int kColumnOffset[5] = {0, 9, 18, 27, 36};
  const int q = k / 3;
  const int r = k % 3;
  const int row = (q % 2 == 0) ? r : 2 - r;
  x = (q + kColumnOffset[superblockColumn]) * 16;
  y = (3 * superblockRow + row) * 16;
}

namespace {

template <int Sequences>
std::array<MacroblockPlace, Sequences * kSegmentsPerSequence * kBlocksPerSegment> buildPlaces(bool is625) {
  std::array<MacroblockPlace, Sequences * kSegmentsPerSequence * kBlocksPerSegment> places{};
  for (int s = 0; s < Sequences; ++s) {
    for (int k = 0; k < kSegmentsPerSequence; ++k) {
      for (int m = 0; m < kBlocksPerSegment; ++m) {
        const int row = (s + kRowShuffle[m]) % Sequences;
        int x = 0, y = 0;
        MacroblockShape shape;
        if (is625) {
          placeMacroblock625(row, kColumnShuffle[m], k, x, y);
          shape = MacroblockShape::k420;
        } else {
          placeMacroblock525(row, kColumnShuffle[m], k, x, y);
          shape = x >= 704 ? MacroblockShape::k411Edge : MacroblockShape::k411;
        }
        places[(s * kSegmentsPerSequence + k) * kBlocksPerSegment + m] = {static_cast<uint16_t>(x),
                                                                          static_cast<uint16_t>(y), shape};
      }
    }
  }
  return places;
}

const auto& places525() {
  static const auto p = buildPlaces<10>(false);
  return p;
}
const auto& places625() {
  static const auto p = buildPlaces<12>(true);
  return p;
}

}  // namespace

const VideoProfile* videoProfileFor(int system) {
  static const VideoProfile p525{kSystem525_60, 10, 720, 480, ChromaFormat::k411, 180, 480, false,
                                 placeMacroblock525, places525().data()};
  static const VideoProfile p625{kSystem625_50, 12, 720, 576, ChromaFormat::k420, 360, 288, true,
                                 placeMacroblock625, places625().data()};
  if (system == kSystem525_60) return &p525;
  if (system == kSystem625_50) return &p625;
  return nullptr;
}

}  // namespace kelo::dv

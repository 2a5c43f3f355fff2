#pragma once
// Which 8 x 8 luminance blocks of the picture a code's rendered text reaches: a block is reached
// when one of its samples lies under a cell that is not empty (glyph or outline ring). Only those
// blocks need decoding, painting and re-encoding; the map follows the cells, not the rectangle
// around them.
#include <cstdint>
#include <vector>

#include "render/OverlayRaster.h"

namespace kelo::pipeline {

class BlockCoverage {
 public:
  // Brings the map up to date for `raster` placed in a picture of `width` x `height` samples;
  // true when it stayed as it was (the cells and their placement those of the previous call).
  bool update(const render::OverlayRaster& raster, int width, int height);
  // Whether the block whose top-left sample is (x, y) (multiples of 8) is reached.
  bool reaches(int x, int y) const {
    const int column = x >> 3, row = y >> 3;
    return column >= 0 && row >= 0 && column < columns_ && row < rows_ &&
           blocks_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(column)] != 0;
  }

 private:
  std::vector<uint8_t> blocks_;  // row after row of blocks
  int columns_ = 0;
  int rows_ = 0;
  // What the map was built from.
  std::vector<int16_t> cells_;
  int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0, stride_ = 0;
  bool valid_ = false;
};

}  // namespace kelo::pipeline

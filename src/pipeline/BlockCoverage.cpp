#include "pipeline/BlockCoverage.h"

#include <algorithm>
#include <cstring>

namespace kelo::pipeline {

bool BlockCoverage::update(const render::OverlayRaster& raster, int width, int height) {
  const int stride = std::max<int>(raster.stride, 0);
  const int rows = std::max(raster.bottom - raster.top, 0);
  // A raster whose cells do not cover its rectangle reaches only as far as its cells go.
  const size_t count = std::min(static_cast<size_t>(rows) * static_cast<size_t>(stride), raster.cells.size());
  const int columns = (width + 7) / 8, blockRows = (height + 7) / 8;
  if (valid_ && columns == columns_ && blockRows == rows_ && raster.left == left_ && raster.top == top_ &&
      raster.right == right_ && raster.bottom == bottom_ && stride == stride_ && count == cells_.size() &&
      std::memcmp(cells_.data(), raster.cells.data(), count * sizeof(int16_t)) == 0) {
    return true;
  }
  columns_ = columns;
  rows_ = blockRows;
  blocks_.assign(static_cast<size_t>(columns_) * static_cast<size_t>(rows_), 0);
  left_ = raster.left, top_ = raster.top, right_ = raster.right, bottom_ = raster.bottom, stride_ = stride;
  cells_.assign(raster.cells.begin(), raster.cells.begin() + static_cast<ptrdiff_t>(count));
  valid_ = true;

  const int usable = stride == 0 ? 0 : static_cast<int>(count / static_cast<size_t>(stride));
  const int u0 = std::max(0, -left_), u1 = std::min({right_ - left_, stride, width - left_});
  const int v0 = std::max(0, -top_), v1 = std::min({usable, height - top_});
  for (int v = v0; v < v1; ++v) {
    const int16_t* row = cells_.data() + static_cast<ptrdiff_t>(v) * stride;
    uint8_t* blockRow = blocks_.data() + static_cast<size_t>((top_ + v) >> 3) * static_cast<size_t>(columns_);
    for (int u = u0; u < u1; ++u) {
      if (row[u] != 0) blockRow[(left_ + u) >> 3] = 1;
    }
  }
  return false;
}

}  // namespace kelo::pipeline

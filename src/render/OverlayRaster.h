#pragma once
// One code's rasterised text: a grid of cells, one per luminance sample of the 720-pixel-wide
// picture, and the rectangle where it lies in the picture.
#include "settings/StampSettings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelo::render {

// Cell values: 0 nothing; 1..255 glyph coverage; 1001..1003 outline rings, nearest first.
inline constexpr int16_t kRing1 = 1001;
inline constexpr int16_t kRing2 = 1002;
inline constexpr int16_t kRing3 = 1003;

// The inputs of a raster besides its text: what rasterising depends on.
struct RasterAppearance {
  settings::LogFont font;
  int32_t pointSizeTenths = 0;
  bool outline = false;
  settings::CornerPreset corner = settings::CornerPreset::TopLeft;
  int lineCount = 1;

  bool operator==(const RasterAppearance&) const = default;
};

struct OverlayRaster {
  int32_t capacity = 0;  // bytes of cells in use by the buffer (it only grows)
  int16_t stride = 0;    // cells per row
  int16_t baseline = 0;  // rows from row 0 to the reference baseline
  int16_t width = 0;     // pixels the raster covers in the picture
  int16_t rows = 0;
  int16_t left = 0;      // placement in the picture; right and bottom exclusive
  int16_t right = 0;
  int16_t top = 0;
  int16_t bottom = 0;
  std::vector<int16_t> cells;  // rows x stride cells, row by row (the vector may be larger)

  // Cell (u, v), which covers picture sample (left + u, top + v).
  int16_t cell(int u, int v) const { return cells[static_cast<size_t>(v) * static_cast<size_t>(stride) + static_cast<size_t>(u)]; }

  // What the cells were built from, so an unchanged text is not drawn again.
  std::u16string sourceText;
  RasterAppearance sourceAppearance;
  bool sourceValid = false;
};

// Empties a raster: no rows, zero width, zero rectangle (the buffer is kept).
void resetRaster(OverlayRaster& raster);

}  // namespace kelo::render

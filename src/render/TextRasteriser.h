#pragma once
// Turns a stamp text into an OverlayRaster: glyph coverage drawn white on black with FreeType
// (faces found through fontconfig, fallback faces for missing characters) and the three outline
// rings around it. One object per pass: it owns its FreeType library, faces, glyph cache and
// drawing surface, so two passes on two threads never share them.
#include "render/OverlayRaster.h"
#include "settings/StampSettings.h"

#include <memory>
#include <string_view>

namespace kelo::render {

// Frame rows: the drawing surface is as tall as the tallest (625/50) picture.
inline constexpr int kSurfaceWidth = 720;
inline constexpr int kSurfaceHeight = 576;

// Font measures as the text layout uses them (pixels).
struct TextMetrics {
  int pixelSize = 0;  // em height
  int ascent = 0;     // usWinAscent scaled and rounded
  int descent = 0;
  int height = 0;     // ascent + descent: distance between lines
  bool italic = false;
  int textWidth = 0;   // widest line
  int textHeight = 0;  // lines x height
};

class TextRasteriser {
 public:
  TextRasteriser();
  ~TextRasteriser();
  TextRasteriser(const TextRasteriser&) = delete;
  TextRasteriser& operator=(const TextRasteriser&) = delete;

  // Rebuilds `raster` from `text` (lines separated by U+000D) with the code's font, size, outline
  // flag and corner; `lineCount` is the text's number of lines. Leaves the placement alone. An
  // unchanged text with unchanged appearance is not drawn again. 0 on success; -1 when no font
  // can be loaded or the cell buffer cannot grow (the raster is then left empty).
  int rasterise(OverlayRaster& raster, std::u16string_view text, int lineCount,
                const settings::StampCodeSettings& code);

  // The measures rasterise would use; -1 when no font can be loaded.
  int measure(std::u16string_view text, const settings::StampCodeSettings& code, TextMetrics& metrics);

  // Whether every visible character of `text` has a glyph in the code's face or in a fallback
  // face; false when no font can be loaded at all.
  bool canDraw(std::u16string_view text, const settings::StampCodeSettings& code);

  // Number of texts actually drawn so far (cache hits not counted).
  long drawCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Pixel em height of a point size given in tenths at 96 dots per inch, rounded; kept within
// 1..kSurfaceHeight.
int pixelSizeOf(int32_t pointSizeTenths);

// Writes outline rings around the glyph cells of a raster of `rows` x `stride` cells: 1001 next
// to coverage (8-neighbourhood), 1002 within |dx|,|dy| <= 2 and |dx|+|dy| <= 3, 1003 within
// |dx|,|dy| <= 3 and |dx|+|dy| <= 4. Only glyph coverage counts, never a ring.
void addOutlineRings(int16_t* cells, int stride, int rows);

}  // namespace kelo::render

#include "render/TextRasteriser.h"

#include "platform/Text.h"
#include "render/FontLookup.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace kelo::render {
namespace {

struct FaceEntry {
  FT_Face face = nullptr;
  int pixelSize = 0;  // size last set on the face
  int pixelWidth = 0;
};

struct FaceUse {
  FaceEntry* entry = nullptr;
  bool embolden = false;
  bool oblique = false;
};

struct Glyph {
  int advance = 0;
  int left = 0;  // bitmap offset from the pen position
  int top = 0;   // bitmap rows above the baseline
  int width = 0;
  int rows = 0;
  std::vector<uint8_t> pixels;
};

struct GlyphRef {
  int use = -1;  // index into Font::faces; -1 draws nothing (control characters)
  unsigned index = 0;
};

// One face name, weight, slant and pixel size, with the faces that supply its characters.
struct Font {
  std::string family;
  int weight = 0;
  bool italic = false;
  int pixelSize = 0;
  int pixelWidth = 0;  // horizontal em in pixels: the height's, or narrower/wider for lfWidth
  int ascent = 0;
  int descent = 0;
  // Lines drawn through the text (lfUnderline, lfStrikeOut): offset of the top row above the
  // baseline (negative below it) and thickness, in pixels.
  int underlineTop = 0, underlineRows = 0;
  int strikeoutTop = 0, strikeoutRows = 0;
  std::vector<FaceUse> faces;  // [0] the face found for the name, then fallback faces
  std::unordered_map<char32_t, GlyphRef> chars;
  std::unordered_map<uint64_t, Glyph> glyphs;
};

struct PlacedGlyph {
  const Glyph* glyph;
  int x;
};

struct Line {
  std::vector<PlacedGlyph> glyphs;  // x relative to the line start
  int width = 0;
};

int roundedScale(long value, int pixelSize, int unitsPerEm) {
  if (unitsPerEm <= 0) return 0;
  return static_cast<int>((2L * value * pixelSize + unitsPerEm) / (2L * unitsPerEm));
}

// UTF-16 to code points; unpaired surrogates become U+FFFD.
std::u32string codePoints(std::u16string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      out.push_back(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back(0xFFFD);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

struct TextRasteriser::Impl {
  FT_Library library = nullptr;
  bool libraryFailed = false;
  std::map<std::pair<std::string, int>, FaceEntry> faces;  // by file and face index
  std::map<std::tuple<std::string, int, bool, int, int>, Font> fonts;
  std::vector<uint8_t> surface;
  long draws = 0;

  ~Impl() {
    for (auto& [key, entry] : faces) {
      if (entry.face != nullptr) FT_Done_Face(entry.face);
    }
    if (library != nullptr) FT_Done_FreeType(library);
  }

  FaceEntry* openFace(const FontFile& file) {
    if (file.path.empty()) return nullptr;
    auto [it, inserted] = faces.try_emplace({file.path, file.index});
    if (inserted && FT_New_Face(library, file.path.c_str(), file.index, &it->second.face) != 0) {
      it->second.face = nullptr;
    }
    return it->second.face != nullptr ? &it->second : nullptr;
  }

  Font* fontFor(const settings::StampCodeSettings& code) {
    if (library == nullptr) {
      if (libraryFailed) return nullptr;
      if (FT_Init_FreeType(&library) != 0) {
        library = nullptr;
        libraryFailed = true;
        return nullptr;
      }
    }
    const std::string family = platform::toUtf8(settings::textOf(code.font.lfFaceName));
    const int weight = code.font.lfWeight;
    const bool italic = code.font.lfItalic != 0;
    const int pixelSize = pixelSizeOf(code.pointSizeTenths);
    const int averageWidth = std::clamp<int>(code.font.lfWidth, 0, kSurfaceWidth);
    const auto key = std::make_tuple(family, weight, italic, pixelSize, averageWidth);
    if (auto it = fonts.find(key); it != fonts.end()) return &it->second;

    const FontFile file = findFont(family, weight, italic);
    FaceEntry* entry = openFace(file);
    if (entry == nullptr) return nullptr;
    Font font;
    font.family = family;
    font.weight = weight;
    font.italic = italic;
    font.pixelSize = pixelSize;
    font.pixelWidth = pixelSize;
    font.faces.push_back(FaceUse{entry, file.embolden, file.oblique});
    const FT_Face face = entry->face;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const bool hasOs2 = os2 != nullptr && os2->version != 0xFFFF && face->units_per_EM > 0;
    // lfWidth asks for an average character width in pixels: the face's own average, scaled to
    // the height, tells how much to stretch the em horizontally.
    if (averageWidth > 0 && hasOs2 && os2->xAvgCharWidth > 0) {
      const long natural = std::max(1, roundedScale(os2->xAvgCharWidth, pixelSize, face->units_per_EM));
      font.pixelWidth = static_cast<int>(std::clamp<long>((2L * pixelSize * averageWidth + natural) / (2 * natural), 1,
                                                          4L * kSurfaceWidth));
    }
    setSize(*entry, pixelSize, font.pixelWidth);
    if (hasOs2) {
      font.ascent = roundedScale(os2->usWinAscent, pixelSize, face->units_per_EM);
      font.descent = roundedScale(os2->usWinDescent, pixelSize, face->units_per_EM);
      font.strikeoutTop = roundedScale(os2->yStrikeoutPosition, pixelSize, face->units_per_EM);
      font.strikeoutRows = roundedScale(os2->yStrikeoutSize, pixelSize, face->units_per_EM);
    } else {
      font.ascent = static_cast<int>((face->size->metrics.ascender + 32) >> 6);
      font.descent = static_cast<int>((-face->size->metrics.descender + 32) >> 6);
    }
    if (font.ascent + font.descent <= 0) font.ascent = pixelSize;
    if (face->units_per_EM > 0) {
      // The face gives the centre of its underline stroke.
      font.underlineTop =
          roundedScale(face->underline_position + face->underline_thickness / 2, pixelSize, face->units_per_EM);
      font.underlineRows = roundedScale(face->underline_thickness, pixelSize, face->units_per_EM);
    }
    // Faces without the measures get lines where GDI's synthesised ones fall.
    if (font.underlineRows <= 0) {
      font.underlineTop = -std::max(1, font.descent / 2);
      font.underlineRows = std::max(1, pixelSize / 14);
    }
    if (font.strikeoutRows <= 0) {
      font.strikeoutTop = font.ascent / 3 + std::max(1, pixelSize / 14);
      font.strikeoutRows = std::max(1, pixelSize / 14);
    }
    return &fonts.emplace(key, std::move(font)).first->second;
  }

  static void setSize(FaceEntry& entry, int pixelSize, int pixelWidth) {
    if (entry.pixelSize != pixelSize || entry.pixelWidth != pixelWidth) {
      FT_Set_Pixel_Sizes(entry.face, static_cast<FT_UInt>(pixelWidth), static_cast<FT_UInt>(pixelSize));
      entry.pixelSize = pixelSize;
      entry.pixelWidth = pixelWidth;
    }
  }

  GlyphRef glyphRefOf(Font& font, char32_t cp) {
    if (auto it = font.chars.find(cp); it != font.chars.end()) return it->second;
    GlyphRef ref;
    if (cp >= 0x20 && cp != 0x7F) {
      ref.use = 0;
      ref.index = FT_Get_Char_Index(font.faces[0].entry->face, cp);
      if (ref.index == 0) {
        // The face lacks it: fontconfig's fallback (Chinese names in a Latin face).
        if (auto file = findFallbackFont(font.family, font.weight, font.italic, cp)) {
          if (FaceEntry* entry = openFace(*file)) {
            const unsigned index = FT_Get_Char_Index(entry->face, cp);
            if (index != 0) {
              int use = 0;
              while (use < static_cast<int>(font.faces.size()) && font.faces[static_cast<size_t>(use)].entry != entry) ++use;
              if (use == static_cast<int>(font.faces.size())) font.faces.push_back(FaceUse{entry, file->embolden, file->oblique});
              ref.use = use;
              ref.index = index;
            }
          }
        }
      }
    }
    font.chars.emplace(cp, ref);
    return ref;
  }

  const Glyph* glyphOf(Font& font, GlyphRef ref) {
    if (ref.use < 0) return nullptr;
    const uint64_t key = (static_cast<uint64_t>(ref.use) << 32) | ref.index;
    if (auto it = font.glyphs.find(key); it != font.glyphs.end()) return &it->second;
    const FaceUse& use = font.faces[static_cast<size_t>(ref.use)];
    setSize(*use.entry, font.pixelSize, font.pixelWidth);
    Glyph glyph;
    const FT_Face face = use.entry->face;
    if (FT_Load_Glyph(face, ref.index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0) {
      FT_GlyphSlot slot = face->glyph;
      if (use.oblique) FT_GlyphSlot_Oblique(slot);
      if (use.embolden) FT_GlyphSlot_Embolden(slot);
      glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
      if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0 && slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        const FT_Bitmap& bm = slot->bitmap;
        glyph.left = slot->bitmap_left;
        glyph.top = slot->bitmap_top;
        glyph.width = static_cast<int>(bm.width);
        glyph.rows = static_cast<int>(bm.rows);
        glyph.pixels.resize(static_cast<size_t>(glyph.width) * static_cast<size_t>(glyph.rows));
        for (int r = 0; r < glyph.rows; ++r) {
          const long offset = bm.pitch >= 0 ? static_cast<long>(r) * bm.pitch
                                            : static_cast<long>(glyph.rows - 1 - r) * -bm.pitch;
          std::memcpy(&glyph.pixels[static_cast<size_t>(r) * static_cast<size_t>(glyph.width)], bm.buffer + offset,
                      static_cast<size_t>(glyph.width));
        }
      }
    }
    return &font.glyphs.emplace(key, std::move(glyph)).first->second;
  }

  std::vector<Line> layout(Font& font, std::u16string_view text) {
    std::vector<Line> lines(1);
    for (char32_t cp : codePoints(text)) {
      if (cp == U'\r') {
        lines.emplace_back();
        continue;
      }
      const Glyph* glyph = glyphOf(font, glyphRefOf(font, cp));
      if (glyph == nullptr) continue;
      Line& line = lines.back();
      line.glyphs.push_back(PlacedGlyph{glyph, line.width});
      line.width += glyph->advance;  // no kerning, as GDI draws
    }
    return lines;
  }
};

int pixelSizeOf(int32_t pointSizeTenths) {
  const long pixels = (static_cast<long>(pointSizeTenths) * 96 + 360) / 720;
  return static_cast<int>(std::clamp<long>(pixels, 1, kSurfaceHeight));
}

TextRasteriser::TextRasteriser() : impl_(std::make_unique<Impl>()) {}
TextRasteriser::~TextRasteriser() = default;

long TextRasteriser::drawCount() const { return impl_->draws; }

bool TextRasteriser::canDraw(std::u16string_view text, const settings::StampCodeSettings& code) {
  Font* font = impl_->fontFor(code);
  if (font == nullptr) return false;
  for (char32_t cp : codePoints(text)) {
    // Blanks and line breaks need no glyph.
    if (cp <= 0x20 || cp == 0x7F || cp == 0xA0 || cp == 0x3000) continue;
    const GlyphRef ref = impl_->glyphRefOf(*font, cp);
    if (ref.use < 0 || ref.index == 0) return false;
  }
  return true;
}

int TextRasteriser::measure(std::u16string_view text, const settings::StampCodeSettings& code, TextMetrics& metrics) {
  Font* font = impl_->fontFor(code);
  if (font == nullptr) return -1;
  const std::vector<Line> lines = impl_->layout(*font, text);
  metrics.pixelSize = font->pixelSize;
  metrics.ascent = font->ascent;
  metrics.descent = font->descent;
  metrics.height = font->ascent + font->descent;
  metrics.italic = font->italic;
  metrics.textWidth = 0;
  for (const Line& line : lines) metrics.textWidth = std::max(metrics.textWidth, line.width);
  metrics.textHeight = static_cast<int>(lines.size()) * metrics.height;
  return 0;
}

int TextRasteriser::rasterise(OverlayRaster& raster, std::u16string_view text, int lineCount,
                              const settings::StampCodeSettings& code) {
  const RasterAppearance appearance{code.font, code.pointSizeTenths, code.outline, code.corner, lineCount};
  if (raster.sourceValid && raster.sourceAppearance == appearance && raster.sourceText == text) return 0;
  raster.sourceValid = false;
  raster.rows = 0;
  raster.width = 0;

  Font* font = impl_->fontFor(code);
  if (font == nullptr) return -1;
  const std::vector<Line> lines = impl_->layout(*font, text);
  int tw = 0;
  for (const Line& line : lines) tw = std::max(tw, line.width);
  const int height = font->ascent + font->descent;
  // Text taller than the surface is cut at its last row.
  const int th = std::min(static_cast<int>(lines.size()) * height, kSurfaceHeight);
  const int ascent = font->ascent;
  const int m = (font->italic ? 7 : 3) * ascent / 32;
  const bool outline = code.outline;

  int width = tw + 3 * m;
  int stride = outline ? width + 6 : width;
  if (stride > kSurfaceWidth) {
    stride = kSurfaceWidth;
    width = outline ? kSurfaceWidth - 6 : kSurfaceWidth;
  }
  const size_t needed = static_cast<size_t>(stride) * static_cast<size_t>(outline ? th + 6 : th);
  try {
    if (raster.cells.size() < needed) raster.cells.resize(needed);
    impl_->surface.resize(static_cast<size_t>(width) * static_cast<size_t>(th));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  raster.capacity = static_cast<int32_t>(raster.cells.size() * sizeof(int16_t));
  std::fill_n(raster.cells.begin(), needed, int16_t{0});
  raster.stride = static_cast<int16_t>(stride);
  raster.width = static_cast<int16_t>(width);
  raster.baseline = 0;

  // Draw white on black, aligned inside [m, width - 2m) by the corner.
  uint8_t* surface = impl_->surface.data();
  std::fill(impl_->surface.begin(), impl_->surface.end(), uint8_t{0});
  const int corner = static_cast<int>(code.corner);
  const int boxLeft = m;
  const int boxRight = width - 2 * m;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    int x0 = boxLeft;
    if (corner == 1 || corner == 4) x0 = boxLeft + (boxRight - boxLeft - line.width) / 2;
    if (corner == 2 || corner == 5) x0 = boxRight - line.width;
    const int baselineY = static_cast<int>(i) * height + ascent;
    // Underline and strike-out run under and through the whole line, as GDI draws them.
    auto bar = [&](int top, int rowCount) {
      for (int y = baselineY - top; y < baselineY - top + rowCount; ++y) {
        if (y < 0 || y >= th) continue;
        const int from = std::max(0, x0), to = std::min(width, x0 + line.width);
        if (from < to) std::fill(surface + static_cast<size_t>(y) * width + from, surface + static_cast<size_t>(y) * width + to, uint8_t{255});
      }
    };
    if (code.font.lfUnderline) bar(font->underlineTop, font->underlineRows);
    if (code.font.lfStrikeOut) bar(font->strikeoutTop, font->strikeoutRows);
    for (const PlacedGlyph& pg : line.glyphs) {
      const Glyph& g = *pg.glyph;
      const int gx = x0 + pg.x + g.left;
      const int gy = baselineY - g.top;
      for (int r = 0; r < g.rows; ++r) {
        const int y = gy + r;
        if (y < 0 || y >= th) continue;
        const uint8_t* src = &g.pixels[static_cast<size_t>(r) * static_cast<size_t>(g.width)];
        uint8_t* dst = surface + static_cast<size_t>(y) * static_cast<size_t>(width);
        const int c0 = std::max(0, -gx);
        const int c1 = std::min(g.width, width - gx);
        for (int c = c0; c < c1; ++c) dst[gx + c] = std::max(dst[gx + c], src[c]);
      }
    }
  }

  // Read back: row 0 of the raster is the first row with ink; trailing rows end at the first
  // blank row in the last sixth of the text height.
  const size_t offset = outline ? 3u * static_cast<size_t>(stride) + 3u : 0u;
  bool begun = false;
  int rows = 0;
  for (int i = 0; i < th; ++i) {
    const uint8_t* src = surface + static_cast<size_t>(i) * static_cast<size_t>(width);
    bool ink = false;
    for (int x = 0; x < width; ++x) {
      if (src[x] == 0) continue;
      if (!begun) {
        begun = true;
        raster.baseline = static_cast<int16_t>(corner <= 2 ? ascent - i : (lineCount - 1) * height + ascent - i);
      }
      ink = true;
      raster.cells[offset + static_cast<size_t>(rows) * static_cast<size_t>(stride) + static_cast<size_t>(x)] = src[x];
    }
    if (!begun) continue;
    if (!ink && i > th * 5 / 6) break;
    ++rows;
  }
  raster.rows = static_cast<int16_t>(rows);
  if (outline) {
    raster.baseline = static_cast<int16_t>(raster.baseline + 3);
    raster.width = static_cast<int16_t>(raster.width + 6);
    raster.rows = static_cast<int16_t>(raster.rows + 6);
    addOutlineRings(raster.cells.data(), stride, raster.rows);
  }
  raster.sourceText.assign(text);
  raster.sourceAppearance = appearance;
  raster.sourceValid = true;
  ++impl_->draws;
  return 0;
}

void addOutlineRings(int16_t* cells, int stride, int rows) {
  if (cells == nullptr || stride <= 0 || rows <= 0) return;
  const size_t words = (static_cast<size_t>(stride) + 63) / 64;
  const size_t n = words * static_cast<size_t>(rows);
  // Glyph coverage as bit rows, then its dilations by rectangles: the ring shapes are unions of
  // rectangles (3x3; 5x3 and 3x5; 7x3, 5x5 and 3x7).
  std::vector<uint64_t> glyph(n, 0);
  for (int v = 0; v < rows; ++v) {
    const int16_t* row = cells + static_cast<size_t>(v) * static_cast<size_t>(stride);
    for (int u = 0; u < stride; ++u) {
      if (row[u] >= 1 && row[u] <= 1000) {
        glyph[static_cast<size_t>(v) * words + static_cast<size_t>(u) / 64] |= uint64_t{1} << (u % 64);
      }
    }
  }
  auto horizontal = [&](int radius) {
    std::vector<uint64_t> out(glyph);
    for (int v = 0; v < rows; ++v) {
      const uint64_t* in = &glyph[static_cast<size_t>(v) * words];
      uint64_t* o = &out[static_cast<size_t>(v) * words];
      for (size_t w = 0; w < words; ++w) {
        for (int k = 1; k <= radius; ++k) {
          o[w] |= (in[w] << k) | (w > 0 ? in[w - 1] >> (64 - k) : 0);
          o[w] |= (in[w] >> k) | (w + 1 < words ? in[w + 1] << (64 - k) : 0);
        }
      }
    }
    return out;
  };
  auto vertical = [&](const std::vector<uint64_t>& in, int radius, std::vector<uint64_t>& into) {
    for (int v = 0; v < rows; ++v) {
      uint64_t* o = &into[static_cast<size_t>(v) * words];
      for (int dv = -radius; dv <= radius; ++dv) {
        const int s = v + dv;
        if (s < 0 || s >= rows) continue;
        const uint64_t* src = &in[static_cast<size_t>(s) * words];
        for (size_t w = 0; w < words; ++w) o[w] |= src[w];
      }
    }
  };
  const std::vector<uint64_t> h1 = horizontal(1), h2 = horizontal(2), h3 = horizontal(3);
  std::vector<uint64_t> ring1(n, 0), ring2(n, 0), ring3(n, 0);
  vertical(h1, 1, ring1);
  vertical(h2, 1, ring2);
  vertical(h1, 2, ring2);
  vertical(h3, 1, ring3);
  vertical(h2, 2, ring3);
  vertical(h1, 3, ring3);
  for (int v = 0; v < rows; ++v) {
    int16_t* row = cells + static_cast<size_t>(v) * static_cast<size_t>(stride);
    const size_t base = static_cast<size_t>(v) * words;
    for (int u = 0; u < stride; ++u) {
      if (row[u] != 0) continue;
      const size_t w = base + static_cast<size_t>(u) / 64;
      const uint64_t bit = uint64_t{1} << (u % 64);
      if (ring1[w] & bit) {
        row[u] = kRing1;
      } else if (ring2[w] & bit) {
        row[u] = kRing2;
      } else if (ring3[w] & bit) {
        row[u] = kRing3;
      }
    }
  }
}

}  // namespace kelo::render

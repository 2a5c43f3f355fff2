// The text rasteriser and the per-frame text step: measures, raster shape, ring geometry,
// corners, fallback glyphs, caching and passes side by side.
#include "render/FontCheck.h"
#include "render/StampRenderer.h"
#include "render/StampText.h"
#include "render/TextRasteriser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace kelo::render {
namespace {

settings::StampCodeSettings defaultCode(settings::CornerPreset corner = settings::CornerPreset::BottomLeft) {
  settings::StampSettings s;
  settings::StampCodeSettings c = s.dateCode;
  c.corner = corner;
  return c;
}

bool isGlyph(int16_t v) { return v >= 1 && v <= 255; }

// True when a cell within the 8-neighbourhood of (u, v) satisfies `pred`.
template <class Pred>
bool neighbourIs(const OverlayRaster& r, int u, int v, Pred pred) {
  for (int dv = -1; dv <= 1; ++dv) {
    for (int du = -1; du <= 1; ++du) {
      const int x = u + du, y = v + dv;
      if ((du != 0 || dv != 0) && x >= 0 && y >= 0 && x < r.stride && y < r.rows && pred(r.cell(x, y))) return true;
    }
  }
  return false;
}

// Ring rules every outlined raster obeys.
void expectRingsWellFormed(const OverlayRaster& r) {
  int glyphs = 0;
  for (int v = 0; v < r.rows; ++v) {
    for (int u = 0; u < r.stride; ++u) {
      const int16_t c = r.cell(u, v);
      if (isGlyph(c)) {
        ++glyphs;
        // The outline margin of three cells is kept free of glyphs.
        ASSERT_GE(u, 3);
        ASSERT_GE(v, 3);
        ASSERT_LT(u, r.stride - 3);
        ASSERT_LT(v, r.rows - 3);
      } else if (c == kRing1) {
        ASSERT_TRUE(neighbourIs(r, u, v, isGlyph)) << u << "," << v;
      } else if (c == kRing2) {
        ASSERT_TRUE(neighbourIs(r, u, v, [](int16_t n) { return n == kRing1; })) << u << "," << v;
        ASSERT_FALSE(neighbourIs(r, u, v, isGlyph));
      } else if (c == kRing3) {
        ASSERT_TRUE(neighbourIs(r, u, v, [](int16_t n) { return n == kRing2; })) << u << "," << v;
        ASSERT_FALSE(neighbourIs(r, u, v, isGlyph));
      } else {
        ASSERT_EQ(c, 0);
        ASSERT_FALSE(neighbourIs(r, u, v, isGlyph)) << "empty cell beside a glyph at " << u << "," << v;
      }
    }
  }
  EXPECT_GT(glyphs, 0);
}

TEST(Rasteriser, DefaultFontMeasures) {
  EXPECT_EQ(pixelSizeOf(220), 29);
  EXPECT_EQ(pixelSizeOf(0), 1);
  EXPECT_EQ(pixelSizeOf(1000000), kSurfaceHeight);
  TextRasteriser rasteriser;
  TextMetrics m;
  ASSERT_EQ(rasteriser.measure(u"2003-06-22", defaultCode(), m), 0);
  // Arial bold resolves to Liberation Sans Bold: usWinAscent 1854, usWinDescent 434 per 2048.
  EXPECT_EQ(m.pixelSize, 29);
  EXPECT_EQ(m.ascent, 26);
  EXPECT_EQ(m.descent, 6);
  EXPECT_EQ(m.height, 32);
  EXPECT_GT(m.textWidth, 100);
  EXPECT_EQ(m.textHeight, 32);
  ASSERT_EQ(rasteriser.measure(u"a\rb\rc", defaultCode(), m), 0);
  EXPECT_EQ(m.textHeight, 96);
}

TEST(Rasteriser, RasterShapeAndMargins) {
  TextRasteriser rasteriser;
  for (bool italic : {false, true}) {
    settings::StampCodeSettings code = defaultCode();
    code.font.lfItalic = italic ? 1 : 0;
    TextMetrics m;
    ASSERT_EQ(rasteriser.measure(u"21:50:38", code, m), 0);
    const int margin = (italic ? 7 : 3) * m.ascent / 32;
    EXPECT_EQ(margin, italic ? 5 : 2);
    OverlayRaster r;
    ASSERT_EQ(rasteriser.rasterise(r, u"21:50:38", 1, code), 0);
    EXPECT_EQ(r.width, m.textWidth + 3 * margin + 6);
    EXPECT_EQ(r.stride, r.width);
    EXPECT_LE(r.rows, m.textHeight + 6);
    EXPECT_GT(r.rows, 20);
    // Digits reach from the cap height to the baseline: the baseline lies inside the raster.
    EXPECT_GT(r.baseline, 3);
    EXPECT_LT(r.baseline, r.rows);
    expectRingsWellFormed(r);
  }
  // Without outline there are no rings and no margin rows.
  settings::StampCodeSettings plain = defaultCode();
  plain.outline = false;
  OverlayRaster r;
  ASSERT_EQ(rasteriser.rasterise(r, u"2003-06-22", 1, plain), 0);
  EXPECT_EQ(r.stride, r.width);
  bool inkInFirstRow = false;
  for (int v = 0; v < r.rows; ++v) {
    for (int u = 0; u < r.stride; ++u) {
      EXPECT_LE(r.cell(u, v), 255);
      if (v == 0 && r.cell(u, v) != 0) inkInFirstRow = true;
    }
  }
  EXPECT_TRUE(inkInFirstRow);
}

TEST(Rasteriser, RingGeometryAroundOnePixel) {
  const int stride = 9, rows = 9;
  std::vector<int16_t> cells(stride * rows, 0);
  cells[4 * stride + 4] = 200;
  addOutlineRings(cells.data(), stride, rows);
  auto at = [&](int dx, int dy) { return cells[static_cast<size_t>((4 + dy) * stride + 4 + dx)]; };
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      if (dx != 0 || dy != 0) {
        EXPECT_EQ(at(dx, dy), kRing1);
      }
    }
  }
  EXPECT_EQ(at(0, 0), 200);
  EXPECT_EQ(at(2, 1), kRing2);
  EXPECT_EQ(at(-2, 0), kRing2);
  EXPECT_EQ(at(2, 2), kRing3);
  EXPECT_EQ(at(-3, 1), kRing3);
  EXPECT_EQ(at(1, -3), kRing3);
  EXPECT_EQ(at(3, 2), 0);
  EXPECT_EQ(at(-3, -3), 0);
  // Across 64-cell words: a glyph in the last cell of a word rings the next word.
  std::vector<int16_t> wide(130 * 3, 0);
  wide[130 + 63] = 10;
  addOutlineRings(wide.data(), 130, 3);
  EXPECT_EQ(wide[130 + 64], kRing1);
  EXPECT_EQ(wide[130 + 65], kRing2);
  EXPECT_EQ(wide[130 + 66], kRing3);
  EXPECT_EQ(wide[130 + 60], kRing3);
  EXPECT_EQ(wide[130 + 67], 0);
}

TEST(Rasteriser, WideTextIsCutAtTheFrameWidth) {
  TextRasteriser rasteriser;
  OverlayRaster r;
  const std::u16string text(60, u'W');
  ASSERT_EQ(rasteriser.rasterise(r, text, 1, defaultCode()), 0);
  EXPECT_EQ(r.stride, 720);
  EXPECT_EQ(r.width, 720);
  settings::StampCodeSettings plain = defaultCode();
  plain.outline = false;
  ASSERT_EQ(rasteriser.rasterise(r, text, 1, plain), 0);
  EXPECT_EQ(r.width, 720);
}

TEST(Rasteriser, OddSettingsStillGiveASoundRaster) {
  TextRasteriser rasteriser;
  OverlayRaster r;
  // Taller than the picture: cut at the surface, never beyond the cell buffer.
  std::u16string tall = u"8";
  for (int i = 0; i < 40; ++i) tall += u"\r8";
  ASSERT_EQ(rasteriser.rasterise(r, tall, 41, defaultCode()), 0);
  EXPECT_LE(r.rows, kSurfaceHeight + 6);
  EXPECT_LE(static_cast<size_t>(r.rows) * static_cast<size_t>(r.stride), r.cells.size());
  // A face name no font has: fontconfig's best match draws it.
  settings::StampCodeSettings code = defaultCode();
  settings::setText(code.font.lfFaceName, u"No Such Face 123");
  ASSERT_EQ(rasteriser.rasterise(r, u"21:50", 1, code), 0);
  expectRingsWellFormed(r);
  // Absurd point sizes are kept within the surface.
  code.pointSizeTenths = -500;
  ASSERT_EQ(rasteriser.rasterise(r, u"21:50", 1, code), 0);
  code.pointSizeTenths = 100000;
  ASSERT_EQ(rasteriser.rasterise(r, u"21:50", 1, code), 0);
  EXPECT_LE(r.stride, 720);
  EXPECT_LE(r.rows, kSurfaceHeight + 6);
}

// Rows of a raster whose glyph coverage runs unbroken across nine tenths of its width.
std::vector<int> solidRows(const OverlayRaster& r) {
  std::vector<int> rows;
  for (int v = 0; v < r.rows; ++v) {
    int run = 0, longest = 0;
    for (int u = 0; u < r.stride; ++u) {
      run = isGlyph(r.cell(u, v)) ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    if (longest * 10 >= r.width * 9 - 40) rows.push_back(v);
  }
  return rows;
}

// The stored underline, strike-out and average width of a code's font are drawn.
TEST(Rasteriser, UnderlineStrikeOutAndWidthOfTheFont) {
  TextRasteriser rasteriser;
  settings::StampCodeSettings code = defaultCode(settings::CornerPreset::TopLeft);
  code.outline = false;
  OverlayRaster plain, underlined, struck;
  ASSERT_EQ(rasteriser.rasterise(plain, u"0000", 1, code), 0);
  EXPECT_TRUE(solidRows(plain).empty());
  code.font.lfUnderline = 1;
  ASSERT_EQ(rasteriser.rasterise(underlined, u"0000", 1, code), 0);
  ASSERT_FALSE(solidRows(underlined).empty());
  EXPECT_GE(solidRows(underlined).front(), underlined.baseline) << "below the baseline";
  code.font.lfUnderline = 0;
  code.font.lfStrikeOut = 1;
  ASSERT_EQ(rasteriser.rasterise(struck, u"0000", 1, code), 0);
  ASSERT_FALSE(solidRows(struck).empty());
  EXPECT_LT(solidRows(struck).back(), struck.baseline) << "above the baseline";

  code.font.lfStrikeOut = 0;
  TextMetrics normal, narrow;
  ASSERT_EQ(rasteriser.measure(u"0000", code, normal), 0);
  code.font.lfWidth = 6;
  ASSERT_EQ(rasteriser.measure(u"0000", code, narrow), 0);
  EXPECT_LT(narrow.textWidth * 3, normal.textWidth * 2);
  EXPECT_EQ(narrow.height, normal.height);
}

TEST(Rasteriser, BottomCornersReferToTheLastLine) {
  TextRasteriser rasteriser;
  OverlayRaster top, bottom;
  ASSERT_EQ(rasteriser.rasterise(top, u"2003-06-22\r9:50:38pm", 2, defaultCode(settings::CornerPreset::TopLeft)), 0);
  ASSERT_EQ(rasteriser.rasterise(bottom, u"2003-06-22\r9:50:38pm", 2, defaultCode(settings::CornerPreset::BottomLeft)), 0);
  TextMetrics m;
  ASSERT_EQ(rasteriser.measure(u"x", defaultCode(), m), 0);
  EXPECT_EQ(bottom.baseline - top.baseline, m.height);
  EXPECT_EQ(top.rows, bottom.rows);
  // Both lines are in the raster, the blank rows between them included.
  EXPECT_GT(top.rows, m.height);
}

TEST(Rasteriser, CornersKeepTheTextInsideTheFrame) {
  TextRasteriser rasteriser;
  for (int height : {576, 480}) {
    for (int corner = 0; corner < 6; ++corner) {
      settings::StampCodeSettings code = defaultCode(static_cast<settings::CornerPreset>(corner));
      if (corner == 1 || corner == 4) code.x = 360;  // the centre presets measure x to the text centre
      OverlayRaster r;
      ASSERT_EQ(rasteriser.rasterise(r, u"2003年6月22日\r9:50:38下午", 2, code), 0);
      placeOverlayRaster(r, code, 720, height);
      EXPECT_GE(r.left, 0);
      EXPECT_GE(r.top, 0);
      EXPECT_LE(r.right, 720) << corner;
      EXPECT_LE(r.bottom, height) << corner;
      if (corner >= 3) {
        EXPECT_EQ(r.top + r.baseline, height - 64);
      } else {
        EXPECT_EQ(r.top + r.baseline, 64);
      }
      // Centred and right-aligned lines: the shorter second line is centred or moved right.
      expectRingsWellFormed(r);
    }
  }
}

TEST(Rasteriser, ChineseNamesComeFromTheFallbackFace) {
  TextRasteriser rasteriser;
  OverlayRaster six, moon;
  const std::u16string sixth = formatSample(u"%B", 1, [] {
    std::tm t{};
    t.tm_mon = 5;
    return t;
  }());
  ASSERT_EQ(sixth, u"六月");
  ASSERT_EQ(rasteriser.rasterise(six, u"六", 1, defaultCode()), 0);
  ASSERT_EQ(rasteriser.rasterise(moon, u"月", 1, defaultCode()), 0);
  int ink = 0;
  for (int v = 0; v < six.rows; ++v)
    for (int u = 0; u < six.stride; ++u) ink += isGlyph(six.cell(u, v)) ? 1 : 0;
  EXPECT_GT(ink, 40);
  // Two different glyphs, not the same missing-glyph box twice.
  const bool same = six.rows == moon.rows && six.stride == moon.stride &&
                    std::equal(six.cells.begin(), six.cells.begin() + six.rows * six.stride, moon.cells.begin());
  EXPECT_FALSE(same);
  expectRingsWellFormed(six);
}

TEST(Rasteriser, UnchangedTextIsNotDrawnAgain) {
  TextRasteriser rasteriser;
  OverlayRaster r;
  settings::StampCodeSettings code = defaultCode();
  ASSERT_EQ(rasteriser.rasterise(r, u"21:50:38", 1, code), 0);
  ASSERT_EQ(rasteriser.rasterise(r, u"21:50:38", 1, code), 0);
  EXPECT_EQ(rasteriser.drawCount(), 1);
  code.corner = settings::CornerPreset::BottomRight;
  ASSERT_EQ(rasteriser.rasterise(r, u"21:50:38", 1, code), 0);
  EXPECT_EQ(rasteriser.drawCount(), 2);
  ASSERT_EQ(rasteriser.rasterise(r, u"21:50:39", 1, code), 0);
  EXPECT_EQ(rasteriser.drawCount(), 3);
  // A blank text: an empty raster with only the outline margin.
  ASSERT_EQ(rasteriser.rasterise(r, u" ", 1, code), 0);
  for (int v = 0; v < r.rows; ++v)
    for (int u = 0; u < r.stride; ++u) EXPECT_EQ(r.cell(u, v), 0);
}

// A frame of the given recording second as the stamping pass hands it over.
void nextFrame(dv::DvFrameInfo& info, int second, int frame) {
  info.previousSecondsOfDay = info.secondsOfDay;
  info.previousDateKey = info.dateKey;
  info.dateDrawnBefore = info.hasDate;
  info.timeDrawnBefore = info.hasTime;
  info.hasDate = info.hasTime = 1;
  info.profile = &dv::profileOf(dv::VideoSystem::k625_50);
  info.recorded.tm_year = 103;
  info.recorded.tm_mon = 5;
  info.recorded.tm_mday = 22;
  info.recorded.tm_hour = 21;
  info.recorded.tm_min = 50;
  info.recorded.tm_sec = second;
  info.secondsOfDay = (21 * 60 + 50) * 60 + second;
  info.dateKey = (2003 * 32 + 6) * 64 + 22;
  info.frameInSecond = frame;
}

TEST(RenderStep, RebuildsOnlyWhatChanged) {
  settings::StampSettings s;
  s.idle = false;  // a stamping run
  auto pass = beginOverlayPass();
  ASSERT_TRUE(pass);
  dv::DvFrameInfo& info = pass->info;
  StampRenderer& renderer = pass->renderer;
  nextFrame(info, 38, 0);
  renderer.renderStampTexts(info, s);
  EXPECT_EQ(renderer.rasteriser().drawCount(), 2);
  EXPECT_EQ(renderer.dateRaster().sourceText, u"2003年6月22日");
  EXPECT_EQ(renderer.timeRaster().sourceText, u"21:50:38");
  EXPECT_GT(renderer.timeRaster().left, 360);  // bottom right
  EXPECT_EQ(renderer.dateRaster().top + renderer.dateRaster().baseline, 576 - 64);
  nextFrame(info, 38, 1);
  renderer.renderStampTexts(info, s);
  EXPECT_EQ(renderer.rasteriser().drawCount(), 2);
  nextFrame(info, 39, 0);
  renderer.renderStampTexts(info, s);
  EXPECT_EQ(renderer.rasteriser().drawCount(), 3);
  EXPECT_EQ(renderer.timeRaster().sourceText, u"21:50:39");

  // Entry 9 shows frames: a new text on every frame.
  s.timeCode.formatIndex = 9;
  for (int f = 1; f <= 3; ++f) {
    nextFrame(info, 39, f);
    renderer.renderStampTexts(info, s);
  }
  EXPECT_EQ(renderer.rasteriser().drawCount(), 6);
  EXPECT_EQ(renderer.timeRaster().sourceText, u"21:50:39:03");

  // A custom date format with seconds follows the seconds even when its stored flag is stale.
  s.dateCode.formatIndex = 0;
  s.dateCode.customHasTime = false;
  s.timeCode.formatIndex = 1;
  nextFrame(info, 40, 0);
  renderer.renderStampTexts(info, s);
  nextFrame(info, 41, 0);
  renderer.renderStampTexts(info, s);
  EXPECT_EQ(renderer.dateRaster().sourceText, u"2003年6月22日\r9:50:41下午");

  // A new pass starts empty.
  renderer.beginPass();
  EXPECT_EQ(renderer.dateRaster().rows, 0);
  EXPECT_EQ(renderer.timeRaster().right, 0);
  endOverlayPass(pass);
  EXPECT_FALSE(pass);
}

TEST(RenderStep, TwoPassesOnTwoThreads) {
  settings::StampSettings s;
  auto run = [&s](int second, std::vector<int16_t>& cells) {
    auto pass = beginOverlayPass();
    for (int i = 0; i < 20; ++i) {
      nextFrame(pass->info, (second + i) % 60, 0);
      pass->renderer.renderStampTexts(pass->info, s);
    }
    const OverlayRaster& r = pass->renderer.timeRaster();
    cells.assign(r.cells.begin(), r.cells.begin() + r.rows * r.stride);
  };
  std::vector<int16_t> a, b, expectA, expectB;
  run(0, expectA);
  run(30, expectB);
  std::thread t1([&] { run(0, a); });
  std::thread t2([&] { run(30, b); });
  t1.join();
  t2.join();
  EXPECT_EQ(a, expectA);
  EXPECT_EQ(b, expectB);
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace kelo::render

namespace kelo::render {
namespace {

// A code whose characters no face and no fallback can draw is found before a run, so that the
// run fails the file instead of stamping nothing; Chinese names in a Latin face are drawable
// through the fallback faces.
TEST(FontCheck, TellsWhichEnabledCodeCannotBeDrawn) {
  settings::StampSettings s;
  s.language = 1;  // Chinese month names through a fallback face
  EXPECT_FALSE(findUndrawableCode(s).has_value());
  s.timeCode.formatIndex = 0;
  settings::setText(s.customTimeFormat, u"%H \u0378");  // an unassigned code point
  const auto undrawable = findUndrawableCode(s);
  ASSERT_TRUE(undrawable.has_value());
  EXPECT_FALSE(undrawable->dateCode);
  EXPECT_EQ(undrawableCodeMessage(*undrawable), "找不到能显示时间码的字体（Arial），没法加码。");
  s.timeCode.enabled = false;
  EXPECT_FALSE(findUndrawableCode(s).has_value());
}

}  // namespace
}  // namespace kelo::render

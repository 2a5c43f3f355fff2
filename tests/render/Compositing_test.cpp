// Blending a code into luminance samples, transparency, and placing rasters by corner.
#include "render/OverlayCompositing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace kelo::render {
namespace {

settings::StampCodeSettings code(bool outline, int fontBrightness = 220, int outlineBrightness = -220) {
  settings::StampCodeSettings c;
  c.outline = outline;
  c.fontBrightness = fontBrightness;
  c.outlineBrightness = outlineBrightness;
  return c;
}

OverlayWeights weights(int transparency) {
  OverlayWeights w;
  setFullWeights(w);
  applyTransparency(w, transparency);
  return w;
}

TEST(Blend, FullWeightsGiveTheLevels) {
  const OverlayWeights full = weights(0);
  const auto withOutline = code(true);
  for (int s : {-256, -101, 0, 100, 254}) {
    EXPECT_EQ(blendSample(static_cast<int16_t>(s), 255, withOutline, full), 220);
    EXPECT_EQ(blendSample(static_cast<int16_t>(s), kRing1, withOutline, full), -220);
  }
  // Anti-aliased edge between outline and glyph level: -220 + 440 * 128 / 255 = 0.
  EXPECT_EQ(blendSample(100, 128, withOutline, full), 0);
  // Without outline the edge blends into the picture: 100 + 120 * 128 / 255 = 160.
  EXPECT_EQ(blendSample(100, 128, code(false), full), 160);
  // Outer rings: half and one sixth of the outline level, truncated toward zero.
  EXPECT_EQ(blendSample(100, kRing2, withOutline, full), -60);
  EXPECT_EQ(blendSample(100, kRing3, withOutline, full), 46);
  EXPECT_EQ(blendSample(-101, kRing3, withOutline, full), -120);
}

TEST(Blend, TransparencyMovesWeightToThePicture) {
  OverlayWeights w = weights(50);
  EXPECT_EQ(w.effNewWeight[0], 500);
  EXPECT_EQ(w.effOldWeight[0], 500);
  EXPECT_EQ(w.effNewWeight[2], 500);
  EXPECT_EQ(w.effOldWeight[2], 1500);
  EXPECT_EQ(blendSample(100, 255, code(true), w), (220 * 500 + 100 * 500) / 1000);
  EXPECT_EQ(blendSample(100, kRing2, code(true), w), (-220 * 500 + 100 * 1500) / 2000);

  OverlayWeights tiny;
  tiny.newWeight[0] = 1;
  applyTransparency(tiny, 90);
  EXPECT_EQ(tiny.effNewWeight[0], 1);
  EXPECT_EQ(tiny.effOldWeight[0], 0);
  tiny.newWeight[0] = 100;
  applyTransparency(tiny, 90);
  EXPECT_EQ(tiny.effNewWeight[0], 10);
  EXPECT_EQ(tiny.effOldWeight[0], 90);
}

TEST(Blend, ZeroWeightLeavesTheSample) {
  // A fade at its start: no new weight, only the old sample.
  OverlayWeights w;
  for (int k = 0; k < 4; ++k) w.oldWeight[k] = 1000;
  applyTransparency(w, 0);
  for (int16_t cell : {int16_t{1}, int16_t{128}, int16_t{255}, kRing1, kRing2, kRing3}) {
    for (int s : {-256, -1, 0, 77, 254}) {
      EXPECT_EQ(blendSample(static_cast<int16_t>(s), cell, code(true), w), s) << cell;
    }
  }
}

TEST(Blend, TransparencyAndFadeAreMonotonic) {
  const auto c = code(true, 255, -255);
  int previous = 255;
  for (int t = 0; t <= 90; t += 5) {
    const int v = blendSample(-256, 255, c, weights(t));
    EXPECT_LE(v, previous) << t;  // more transparency: closer to the dark picture
    previous = v;
  }
  previous = -256;
  for (int fade = 0; fade <= 1000; fade += 50) {
    OverlayWeights w;
    setFullWeights(w);
    for (int k = 0; k < 4; ++k) {
      w.oldWeight[k] += 1000 - fade;
      w.newWeight[k] = fade;
    }
    applyTransparency(w, 0);
    const int v = blendSample(-256, 255, c, w);
    EXPECT_GE(v, previous) << fade;  // fading in: brighter glyph over a black picture
    previous = v;
  }
  EXPECT_EQ(previous, 255);
}

TEST(Blend, ExtremesDoNotOverflow) {
  const OverlayWeights full = weights(0);
  for (int l : {-255, 255}) {
    for (int o : {-255, 255}) {
      for (int s : {-256, 254}) {
        for (int16_t cell : {int16_t{1}, int16_t{255}, kRing1, kRing2, kRing3}) {
          for (int t : {0, 90}) {
            const int v = blendSample(static_cast<int16_t>(s), cell, code(true, l, o), weights(t));
            EXPECT_GE(v, -256);
            EXPECT_LE(v, 255);
          }
        }
      }
    }
  }
  // Damaged settings: huge brightness, transparency and weights stay defined.
  OverlayWeights w;
  setFullWeights(w);
  applyTransparency(w, 2000000000);
  EXPECT_EQ(blendSample(0, 255, code(true, 100000, -100000), full), 32767);
  (void)blendSample(0, 255, code(true), w);
  OverlayWeights cancel;
  cancel.newWeight[0] = 1000;
  cancel.oldWeight[0] = -1000;
  applyTransparency(cancel, 0);
  EXPECT_EQ(blendSample(42, 255, code(true), cancel), 42);
}

// The prepared blender must give blendSample's result for every cell and sample, including the
// settings and weights (damaged, huge, cancelling) that its shortcuts do not cover.
TEST(Blend, PreparedBlenderMatchesBlendSample) {
  struct Case {
    bool outline;
    int font, outlineLevel;
    int32_t newWeight[4], oldWeight[4];
    int transparency;
  };
  const Case cases[] = {
      {true, 220, -220, {1000, 1000, 1000, 1000}, {0, 0, 1000, 5000}, 0},
      {false, 220, -220, {1000, 1000, 1000, 1000}, {0, 0, 1000, 5000}, 0},
      {true, -255, 255, {1000, 1000, 1000, 1000}, {0, 0, 1000, 5000}, 37},
      {false, 255, 0, {1000, 1000, 1000, 1000}, {0, 0, 1000, 5000}, 90},
      {true, 200, -90, {350, 350, 350, 350}, {650, 650, 1650, 5650}, 0},  // part-way through a fade
      {true, 1 << 20, -(1 << 20), {1, 1, 1, 1}, {3, 0, 7, 11}, 0},           // at the shortcut's bound
      {false, (1 << 20) + 1, 5, {1000, 1000, 1000, 1000}, {0, 0, 1000, 5000}, 0},
      {true, 100000, -100000, {1000, 1000, 1000, 1000}, {0, 0, 1000, 5000}, 0},
      {true, 220, -220, {1000, -7, 1000, 3}, {-1000, 0, -1000, -5000}, 0},  // cancelling, negative totals
      {false, 220, -220, {2000000000, 1, 70000, 1 << 30}, {2000000000, 1, 1 << 30, 65536}, 0},
      {true, 0, 0, {2147483647, 1, 1, 1}, {1, 0, 1, 1}, 0},
      {true, 220, -220, {1000, 1000, 1000, 1000}, {0, 0, 1000, 5000}, 2000000000},
  };
  std::vector<int> cells = {0, -3, 256, 500, 1000, 1004, kRing1, kRing2, kRing3};
  for (int cell = 1; cell <= 255; ++cell) cells.push_back(cell);
  std::vector<int> samples = {-32768, -32767, 32766, 32767};
  for (int s = -700; s <= 700; ++s) samples.push_back(s);
  for (int s = -32768; s <= 32767; s += 331) samples.push_back(s);
  for (const Case& c : cases) {
    const auto settings = code(c.outline, c.font, c.outlineLevel);
    OverlayWeights w;
    std::copy(std::begin(c.newWeight), std::end(c.newWeight), w.newWeight);
    std::copy(std::begin(c.oldWeight), std::end(c.oldWeight), w.oldWeight);
    applyTransparency(w, c.transparency);
    const SampleBlender blender(settings, w);
    int mismatches = 0;
    for (int cell : cells) {
      for (int s : samples) {
        const auto sample = static_cast<int16_t>(s);
        const int expected = blendSample(sample, cell, settings, w.effNewWeight, w.effOldWeight);
        const int got = blender.blend(sample, cell);
        if (got != expected && ++mismatches <= 3) {
          ADD_FAILURE() << "font " << c.font << " outline " << c.outlineLevel << " cell " << cell << " sample " << s
                        << ": " << got << " instead of " << expected;
        }
      }
    }
  }
}

TEST(Placement, CornersAndClamping) {
  OverlayRaster r;
  r.width = 200;
  r.baseline = 30;
  r.rows = 40;
  settings::StampCodeSettings c;
  c.x = 64;
  c.y = 64;
  const struct {
    settings::CornerPreset corner;
    int height, left, top;
  } cases[] = {
      {settings::CornerPreset::TopLeft, 576, 64, 34},     {settings::CornerPreset::TopCentre, 576, 0, 34},
      {settings::CornerPreset::TopRight, 576, 456, 34},   {settings::CornerPreset::BottomLeft, 576, 64, 482},
      {settings::CornerPreset::BottomCentre, 480, 0, 386}, {settings::CornerPreset::BottomRight, 576, 456, 482},
      {settings::CornerPreset::BottomRight, 480, 456, 386},
  };
  for (const auto& k : cases) {
    c.corner = k.corner;
    placeOverlayRaster(r, c, 720, k.height);
    EXPECT_EQ(r.left, k.left) << static_cast<int>(k.corner);
    EXPECT_EQ(r.top, k.top) << static_cast<int>(k.corner);
    EXPECT_EQ(r.right, r.left + 200);
    EXPECT_EQ(r.bottom, r.top + 40);
  }
  c.corner = settings::CornerPreset::TopCentre;
  c.x = 300;
  placeOverlayRaster(r, c, 720, 576);
  EXPECT_EQ(r.left, 200);
  // Offsets far outside any frame neither wrap nor go negative.
  c.corner = settings::CornerPreset::TopLeft;
  c.x = 2000000000;
  c.y = -2000000000;
  placeOverlayRaster(r, c, 720, 576);
  EXPECT_GE(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, r.left + 200);
}

}  // namespace
}  // namespace kelo::render

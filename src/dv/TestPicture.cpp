#include "dv/TestPicture.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace kelo::dv {

namespace {

struct Colour {
  uint8_t y, cb, cr;
};

// 75 % colour bars (ITU-R BT.601): white, yellow, cyan, green, magenta, red, blue.
constexpr Colour kBars[7] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                             {84, 184, 198},  {65, 100, 212}, {35, 212, 114}};
constexpr Colour kBlack{16, 128, 128};
constexpr Colour kWhite{235, 128, 128};

// 5 x 7 digits, one row a byte, bit 4 the leftmost column.
constexpr uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

class Painter {
 public:
  explicit Painter(Picture& p) : p_(p), xs_(p.width / p.chromaWidth), ys_(p.height / p.chromaHeight) {}

  void pixel(int x, int y, const Colour& c) {
    if (x < 0 || y < 0 || x >= p_.width || y >= p_.height) return;
    p_.y[static_cast<size_t>(y) * p_.width + x] = c.y;
    // The chroma sample takes the colour of the top-left pixel it covers.
    if (x % xs_ == 0 && y % ys_ == 0) {
      const size_t i = static_cast<size_t>(y / ys_) * p_.chromaWidth + x / xs_;
      p_.cb[i] = c.cb;
      p_.cr[i] = c.cr;
    }
  }
  void luma(int x, int y, int level) {
    if (x < 0 || y < 0 || x >= p_.width || y >= p_.height) return;
    p_.y[static_cast<size_t>(y) * p_.width + x] = static_cast<uint8_t>(std::clamp(level, 0, 255));
  }
  void rect(int x0, int y0, int w, int h, const Colour& c) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) pixel(x, y, c);
  }

 private:
  Picture& p_;
  int xs_, ys_;
};

}  // namespace

void drawTestPicture(Picture& picture, int frameIndex) {
  Painter paint(picture);
  const int w = picture.width, h = picture.height;
  const int barsBottom = h * 2 / 3;
  // Colour bars over the top two thirds.
  for (int i = 0; i < 7; ++i) {
    const int x0 = w * i / 7, x1 = w * (i + 1) / 7;
    paint.rect(x0, 0, x1 - x0, barsBottom, kBars[i]);
  }
  // Bottom third: a zone plate (fine detail in every direction), a luma ramp and a noise field.
  // They stay still, so only the box and the counter change from frame to frame.
  const int zoneRight = w / 2, rampRight = w * 3 / 4;
  for (int y = barsBottom; y < h; ++y) {
    for (int x = 0; x < w; ++x) paint.pixel(x, y, kBlack);
    const double cy = (y - (barsBottom + h) / 2.0);
    for (int x = 0; x < zoneRight; ++x) {
      const double cx = x - zoneRight / 2.0;
      paint.luma(x, y, static_cast<int>(126 + 100 * std::cos((cx * cx + cy * cy) * 0.0035)));
    }
    for (int x = zoneRight; x < rampRight; ++x) paint.luma(x, y, 16 + (x - zoneRight) * 219 / (rampRight - zoneRight));
    for (int x = rampRight; x < w; ++x) {
      // A cheap integer hash of (x, y, frame): noise without visible structure.
      uint32_t v = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
      v ^= v >> 15;
      v *= 0x2C1B3C6Du;
      v ^= v >> 12;
      paint.luma(x, y, 16 + static_cast<int>(v % 220));
    }
  }
  // A box with a dark border that crosses the bars, 8 pixels a frame.
  const int boxSize = 64;
  const int span = w - boxSize;
  const int travel = (frameIndex * 8) % (2 * span);
  const int boxX = travel < span ? travel : 2 * span - travel;
  const int boxY = barsBottom / 2 - boxSize / 2 + 40;
  paint.rect(boxX, boxY, boxSize, boxSize, kBlack);
  paint.rect(boxX + 6, boxY + 6, boxSize - 12, boxSize - 12, kWhite);
  // The frame number, 6 pixels a font dot, on a black plate.
  const std::string digits = std::to_string(frameIndex);
  const int dot = 6, left = 24, top = 24;
  paint.rect(left - dot, top - dot, static_cast<int>(digits.size()) * 6 * dot + dot, 9 * dot, kBlack);
  for (size_t d = 0; d < digits.size(); ++d) {
    const uint8_t* glyph = kDigits[digits[d] - '0'];
    for (int r = 0; r < 7; ++r) {
      for (int c = 0; c < 5; ++c) {
        if (glyph[r] & (0x10 >> c)) paint.rect(left + static_cast<int>(d) * 6 * dot + c * dot, top + r * dot, dot, dot, kWhite);
      }
    }
  }
}

}  // namespace kelo::dv

#pragma once
// Writing pictures for people to look at: 8-bit RGB or grey, top row first.
#include <cstdint>
#include <string>

namespace kelo::platform {

// channels: 1 (grey) or 3 (RGB); stride in bytes between rows. Results 0 or an errno value
// (EINVAL for bad dimensions, EIO when libpng fails).
int writePng(const std::string& path, const uint8_t* pixels, int width, int height, int channels, int stride);
// Binary PPM (P6) from RGB pixels.
int writePpm(const std::string& path, const uint8_t* rgb, int width, int height, int stride);

}  // namespace kelo::platform

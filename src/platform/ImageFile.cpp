#include "platform/ImageFile.h"

#include "platform/File.h"

#include <cerrno>
#include <cstdio>
#include <png.h>
#include <string>
#include <vector>

namespace kelo::platform {

int writePng(const std::string& path, const uint8_t* pixels, int width, int height, int channels, int stride) {
  if (width <= 0 || height <= 0 || (channels != 1 && channels != 3) || stride < width * channels) return EINVAL;
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return errno;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    std::fclose(fp);
    return EIO;
  }
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = const_cast<png_bytep>(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride));
  // libpng reports errors by longjmp; nothing with a destructor is created after this point.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(fp);
    return EIO;
  }
  png_init_io(png, fp);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(fp) == 0 ? 0 : errno;
}

int writePpm(const std::string& path, const uint8_t* rgb, int width, int height, int stride) {
  if (width <= 0 || height <= 0 || stride < width * 3) return EINVAL;
  File f;
  if (int err = f.openWrite(path)) return err;
  std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  if (int err = f.writeAll(header.data(), header.size())) return err;
  for (int y = 0; y < height; ++y)
    if (int err = f.writeAll(rgb + static_cast<size_t>(y) * static_cast<size_t>(stride), static_cast<size_t>(width) * 3)) return err;
  return f.close();
}

}  // namespace kelo::platform

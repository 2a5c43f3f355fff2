#pragma once
// Raw DV streams on disk (DIF frames back to back, as FFmpeg's "-f dv" and dvgrab's raw format
// write them), and decoded pictures written as PNG, PPM or planar YUV.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dv/FrameCodec.h"
#include "platform/File.h"

namespace kelo::dv {

class RawDvReader {
 public:
  // Opens the file and takes its profile from the first frame. Returns 0, or -1 with `error` set
  // (also for DV that Kelo cannot decode, named).
  int open(const std::string& path, std::string& error);
  const VideoProfile& profile() const { return *profile_; }
  size_t frameBytes() const { return frameBytes_; }
  int64_t frameCount() const { return frameCount_; }
  // Reads whole frame `index` (0-based). Returns 0, or -1 with `error` set.
  int readFrame(int64_t index, std::vector<uint8_t>& frame, std::string& error);

 private:
  platform::File file_;
  std::string path_;
  const VideoProfile* profile_ = nullptr;
  size_t frameBytes_ = 0;
  int64_t frameCount_ = 0;
};

// Writes the picture by the file name's ending: ".png" and ".ppm" as RGB (the preview's
// conversion), ".yuv" as the planes Y, Cb, Cr one after another at their native sizes.
// Returns 0, or -1 with `error` set.
int writePictureFile(const std::string& path, const Picture& picture, std::string& error);

}  // namespace kelo::dv

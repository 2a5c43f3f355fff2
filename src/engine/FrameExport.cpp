#include "engine/FrameExport.h"

#include "engine/PreviewPass.h"
#include "engine/RunLog.h"
#include "platform/ImageFile.h"

namespace kelo::engine {

namespace {

// Keeps the reader's reasons so the caller can show the last one.
class LastLine final : public RunObserver {
 public:
  void logLine(const std::string& line) override { last = line; }
  void progress(int, const std::string&) override {}
  void selectListItem(int) override {}
  void setRunning(bool) override {}
  std::string last;
};

bool endsWith(const std::string& s, const char* suffix) {
  const std::string x(suffix);
  return s.size() >= x.size() && s.compare(s.size() - x.size(), x.size(), x) == 0;
}

}  // namespace

int exportFrame(const std::string& videoPath, int frameIndex, const settings::StampSettings& settings, bool stamped,
                const std::string& picturePath, std::string& error) {
  LastLine lines;
  PreviewPass pass(lines);
  PreviewFrame frame;
  const int rc = pass.preview(settings, videoPath, frameIndex, frame, stamped);
  if (rc == -2) {
    error = "cannot open " + videoPath;
    return 2;
  }
  if (rc != 0) {
    error = lines.last.empty() ? "cannot read frame " + std::to_string(frameIndex) : lines.last;
    return 1;
  }
  const auto& img = frame.image;
  const int written = endsWith(picturePath, ".ppm")
                          ? platform::writePpm(picturePath, img.pixels.data(), img.width, img.height, img.width * 3)
                          : platform::writePng(picturePath, img.pixels.data(), img.width, img.height, 3, img.width * 3);
  if (written != 0) {
    error = "cannot write " + picturePath;
    return 1;
  }
  return 0;
}

}  // namespace kelo::engine

#include "engine/FrameExport.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "container/DvSource.h"
#include "dv/FrameCodec.h"
#include "dv/FrameInfo.h"
#include "dv/VideoProfile.h"
#include "engine/PreviewPass.h"
#include "engine/RunLog.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
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

// The planes of frame `index` as decoded, without the preview's conversion.
int writePlanes(container::DvSource& source, int index, const std::string& picturePath, std::string& error) {
  std::vector<uint8_t> buffer(container::kFrameBufferBytes);
  size_t length = 0;
  dv::DvFrameInfo info;
  container::MessageList log;
  if (source.readFrame(info, nullptr, buffer.data(), length, index, &log) != container::ReadOutcome::Frame) {
    error = source.path() + ": " +
            (source.refusedKind() != dv::FrameKind::Stampable ? container::refusedVariantMessage(source.refusedKind())
                                                              : log.last(container::kMsgReadFailed));
    return 1;
  }
  dv::Picture picture;
  const size_t offset = source.frameOffset();
  // Each frame by its own header: a file may change layout.
  const dv::VideoProfile* profile = length > offset ? dv::profileForFrame(buffer.data() + offset, length - offset) : nullptr;
  if (!profile || dv::decodeFrame(buffer.data() + offset, length - offset, *profile, picture) != 0) {
    error = "frame " + std::to_string(index) + " of " + source.path() + " cannot be decoded";
    return 1;
  }
  platform::File file;
  int e = file.openWrite(picturePath);
  if (e == 0) e = file.writeAll(picture.y.data(), picture.y.size());
  if (e == 0) e = file.writeAll(picture.cb.data(), picture.cb.size());
  if (e == 0) e = file.writeAll(picture.cr.data(), picture.cr.size());
  const int closed = file.close();
  if (e == 0) e = closed;
  if (e != 0) {
    error = "cannot write " + picturePath + ": " + std::strerror(e);
    return 1;
  }
  return 0;
}

}  // namespace

int exportFrame(const std::string& videoPath, long long frameIndex, const settings::StampSettings& settings,
                bool stamped, const std::string& picturePath, std::string& error) {
  const bool planes = platform::endsWithNoCase(picturePath, ".yuv");
  const bool ppm = platform::endsWithNoCase(picturePath, ".ppm");
  if (!planes && !ppm && !platform::endsWithNoCase(picturePath, ".png")) {
    error = "picture file " + picturePath + " must end in .png, .ppm or .yuv";
    return 1;
  }
  std::unique_ptr<container::DvSource> source;
  int openError = 0;
  const container::OpenOutcome opened = container::openDvSource(videoPath, source, openError);
  if (opened == container::OpenOutcome::CannotOpen || opened == container::OpenOutcome::EmptyPath) {
    error = "cannot open " + videoPath + ": " + std::strerror(openError != 0 ? openError : ENOENT);
    return 2;
  }
  if (opened != container::OpenOutcome::Opened) {
    error = videoPath + ": " + container::openFailureMessage(opened, videoPath, openError);
    return 1;
  }
  source->setRandomAccess(true);
  container::MessageList log;
  if (source->validateHeader(nullptr, &log) != container::HeaderOutcome::Valid) {
    error = videoPath + ": " + log.last(container::kMsgUnknownContainer);
    return 1;
  }
  const int last = source->lastFrameIndex();
  if (frameIndex > last) {
    error = "frame " + std::to_string(frameIndex) + " is outside 0-" + std::to_string(last) + " of " + videoPath;
    return 1;
  }
  if (planes) return writePlanes(*source, static_cast<int>(frameIndex), picturePath, error);
  source.reset();

  LastLine lines;
  PreviewPass pass(lines);
  PreviewFrame frame;
  const int rc = pass.preview(settings, videoPath, static_cast<int>(frameIndex), frame, stamped);
  if (rc == -2) {
    error = "cannot open " + videoPath;
    return 2;
  }
  if (rc != 0) {
    error = lines.last.empty() ? "cannot read frame " + std::to_string(frameIndex) : lines.last;
    return 1;
  }
  const auto& img = frame.image;
  const int written = ppm ? platform::writePpm(picturePath, img.pixels.data(), img.width, img.height, img.width * 3)
                          : platform::writePng(picturePath, img.pixels.data(), img.width, img.height, 3, img.width * 3);
  if (written != 0) {
    error = "cannot write " + picturePath;
    return 1;
  }
  return 0;
}

}  // namespace kelo::engine

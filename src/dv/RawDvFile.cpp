#include "dv/RawDvFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "dv/DifLayout.h"
#include "dv/VideoProfile.h"
#include "platform/ImageFile.h"

namespace kelo::dv {

namespace {

std::string lowerEnding(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return "";
  std::string e = path.substr(dot);
  std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return e;
}

}  // namespace

int RawDvReader::open(const std::string& path, std::string& error) {
  path_ = path;
  if (int e = file_.openRead(path); e != 0) {
    error = "cannot open " + path + ": " + std::strerror(e);
    return -1;
  }
  int64_t size = 0;
  if (int e = file_.size(size); e != 0) {
    error = "cannot read " + path + ": " + std::strerror(e);
    return -1;
  }
  uint8_t head[kDetectBytes];
  size_t got = 0;
  if (int e = file_.readAt(0, head, sizeof head, got); e != 0) {
    error = "cannot read " + path + ": " + std::strerror(e);
    return -1;
  }
  const FrameIdentity id = identifyFrame(head, got);
  if (id.kind == FrameKind::NotDv) {
    error = path + " is not a raw DV stream (no DIF header block at its start)";
    return -1;
  }
  if (!id.profile) {
    error = path + " holds " + frameKindName(id.kind) + ", which Kelo cannot decode or stamp";
    return -1;
  }
  profile_ = id.profile;
  frameBytes_ = static_cast<size_t>(profile_->frameBytes);
  frameCount_ = size / static_cast<int64_t>(frameBytes_);
  if (frameCount_ == 0) {
    error = path + " holds no whole DV frame";
    return -1;
  }
  return 0;
}

int RawDvReader::readFrame(int64_t index, std::vector<uint8_t>& frame, std::string& error) {
  if (index < 0 || index >= frameCount_) {
    error = "frame " + std::to_string(index) + " is outside 0-" + std::to_string(frameCount_ - 1) + " of " + path_;
    return -1;
  }
  frame.resize(frameBytes_);
  size_t got = 0;
  if (int e = file_.readAt(index * static_cast<int64_t>(frameBytes_), frame.data(), frameBytes_, got); e != 0) {
    error = "cannot read " + path_ + ": " + std::strerror(e);
    return -1;
  }
  if (got != frameBytes_) {
    error = path_ + " ends inside frame " + std::to_string(index);
    return -1;
  }
  return 0;
}

int writePictureFile(const std::string& path, const Picture& picture, std::string& error) {
  const std::string ending = lowerEnding(path);
  int e = 0;
  if (ending == ".png" || ending == ".ppm") {
    std::vector<uint8_t> rgb;
    pictureToRgb(picture, rgb);
    e = ending == ".png" ? platform::writePng(path, rgb.data(), picture.width, picture.height, 3, picture.width * 3)
                         : platform::writePpm(path, rgb.data(), picture.width, picture.height, picture.width * 3);
  } else if (ending == ".yuv") {
    platform::File file;
    e = file.openWrite(path);
    if (e == 0) e = file.writeAll(picture.y.data(), picture.y.size());
    if (e == 0) e = file.writeAll(picture.cb.data(), picture.cb.size());
    if (e == 0) e = file.writeAll(picture.cr.data(), picture.cr.size());
    const int closed = file.close();
    if (e == 0) e = closed;
  } else {
    error = "picture file " + path + " must end in .png, .ppm or .yuv";
    return -1;
  }
  if (e != 0) {
    error = "cannot write " + path + ": " + std::strerror(e);
    return -1;
  }
  return 0;
}

}  // namespace kelo::dv

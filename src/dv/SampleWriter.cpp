#include "dv/SampleWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "dv/DifLayout.h"
#include "dv/FrameSkeleton.h"
#include "dv/Packs.h"
#include "dv/TestPicture.h"
#include "dv/VideoProfile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace kelo::dv {

namespace {

// Frames of a scene at the profile's exact rate.
int64_t framesOf(const VideoProfile& profile, int seconds) {
  return int64_t{seconds} * profile.rateNumerator / profile.rateDenominator;
}

// Whole seconds since the scene began at frame `n`.
int64_t secondsAt(const VideoProfile& profile, int64_t n) {
  return n * profile.rateDenominator / profile.rateNumerator;
}

}  // namespace

bool parseSampleScene(const std::string& text, SampleScene& scene, std::string& error) {
  std::string t = text;
  // Accept the date and time in quotes as typed on a shell line that kept them.
  if (!t.empty() && t.front() == '"') {
    const size_t close = t.find('"', 1);
    if (close != std::string::npos) t = t.substr(1, close - 1) + t.substr(close + 1);
  }
  int y, mo, d, h, mi, s, len, used = 0;
  if (std::sscanf(t.c_str(), "%4d-%2d-%2d %2d:%2d:%2d,%d%n", &y, &mo, &d, &h, &mi, &s, &len, &used) != 7 ||
      used != static_cast<int>(t.size())) {
    error = "scene \"" + text + "\" is not \"YYYY-MM-DD hh:mm:ss\",SECONDS";
    return false;
  }
  if (y < 1995 || y > 2094) {
    error = "scene year " + std::to_string(y) + " is outside 1995-2094";
    return false;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 ||
      s < 0) {
    error = "scene \"" + text + "\" has no such date or time";
    return false;
  }
  if (len < 1 || len > kMaxSceneSeconds) {
    error = "scene length " + std::to_string(len) + " s is outside 1-" + std::to_string(kMaxSceneSeconds);
    return false;
  }
  scene = {y, mo, d, h, mi, s, len};
  return true;
}

SampleGenerator::SampleGenerator(const VideoProfile& profile, std::vector<SampleScene> scenes)
    : profile_(&profile), scenes_(std::move(scenes)) {
  if (scenes_.empty()) scenes_.push_back(SampleScene{});
  for (const SampleScene& s : scenes_) frameCount_ += framesOf(profile, s.durationSeconds);
  allocatePicture(picture_, profile);
  frameBytes_ = static_cast<size_t>(profile.frameBytes);
}

int SampleGenerator::next(uint8_t* frame) {
  if (!valid() || next_ >= frameCount_) return 1;
  while (inScene_ >= framesOf(*profile_, scenes_[scene_].durationSeconds)) {
    ++scene_;
    inScene_ = 0;
  }
  const SampleScene& scene = scenes_[scene_];
  // Recording time: the scene's start plus the whole seconds elapsed in it, in calendar terms.
  std::tm t{};
  t.tm_year = scene.year - 1900;
  t.tm_mon = scene.month - 1;
  t.tm_mday = scene.day;
  t.tm_hour = scene.hours;
  t.tm_min = scene.minutes;
  t.tm_sec = scene.seconds + static_cast<int>(secondsAt(*profile_, inScene_));
  const time_t when = timegm(&t);
  std::tm now{};
  gmtime_r(&when, &now);

  FrameStampInfo info;
  info.year = now.tm_year + 1900;
  info.month = now.tm_mon + 1;
  info.day = now.tm_mday;
  info.hours = now.tm_hour;
  info.minutes = now.tm_min;
  info.seconds = now.tm_sec;
  // The tape timecode runs on across scenes, non-drop.
  const int fps = profile_->framesPerSecond;
  const int64_t n = next_;
  info.timecodeFrames = static_cast<int>(n % fps);
  info.timecodeSeconds = static_cast<int>((n / fps) % 60);
  info.timecodeMinutes = static_cast<int>((n / (fps * 60)) % 60);
  info.timecodeHours = static_cast<int>((n / (int64_t{fps} * 3600)) % 24);
  info.frameIndex = static_cast<int>(n);

  std::memset(frame, 0, frameBytes_);
  writeFrameSkeleton(*profile_, info, frame);
  drawTestPicture(picture_, static_cast<int>(n));
  const bool havePrevious = previousFrame_.size() == frameBytes_;
  encodeFrame(picture_, frame, frameBytes_, havePrevious ? &previousPicture_ : nullptr,
              havePrevious ? previousFrame_.data() : nullptr);
  previousFrame_.assign(frame, frame + frameBytes_);
  previousPicture_ = picture_;
  ++next_;
  ++inScene_;
  return 0;
}

int writeSampleStream(const std::string& path, const VideoProfile& profile, const std::vector<SampleScene>& scenes,
                      int64_t frameLimit, std::string& error) {
  SampleGenerator generator(profile, scenes);
  generator.limitFrames(frameLimit);
  platform::File file;
  if (int e = file.openWrite(path); e != 0) {
    error = "cannot write " + path + ": " + std::strerror(e);
    return -1;
  }
  std::vector<uint8_t> frame(generator.frameBytes());
  while (generator.next(frame.data()) == 0) {
    if (int e = file.writeAll(frame.data(), frame.size()); e != 0) {
      error = "cannot write " + path + ": " + std::strerror(e);
      file.close();
      platform::removeFile(path);
      return -1;
    }
  }
  if (int e = file.close(); e != 0) {
    error = "cannot write " + path + ": " + std::strerror(e);
    platform::removeFile(path);
    return -1;
  }
  return 0;
}

}  // namespace kelo::dv

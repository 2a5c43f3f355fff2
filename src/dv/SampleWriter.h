#pragma once
// Synthetic DV media for demos and tests, made without any outside program: the moving test
// picture encoded by our own encoder, silent audio, and recording date, time and timecode packs.
// A recording is a list of scenes; each scene starts its own recording time, the timecode runs on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dv/FrameCodec.h"

namespace kelo::dv {

struct SampleScene {
  int year = 2005;
  int month = 3;
  int day = 7;
  int hours = 23;
  int minutes = 59;
  int seconds = 55;
  int durationSeconds = 10;
};

inline constexpr int kMaxSceneSeconds = 24 * 3600;

// Parses `"YYYY-MM-DD hh:mm:ss",SECONDS` (the quotes optional). Years 1995-2094 (the two digits a
// DV frame stores), a real calendar date and time, 1 to kMaxSceneSeconds seconds. On failure
// returns false and says why in `error`.
bool parseSampleScene(const std::string& text, SampleScene& scene, std::string& error);

// Yields the frames of a recording one after another into a caller's buffer.
class SampleGenerator {
 public:
  // `scenes` empty means one default scene (2005-03-07 23:59:55, 10 s).
  SampleGenerator(const VideoProfile& profile, std::vector<SampleScene> scenes);

  bool valid() const { return frameBytes_ != 0; }
  // Stops after `frames` frames (when fewer than the scenes hold).
  void limitFrames(int64_t frames) {
    if (frames >= 0 && frames < frameCount_) frameCount_ = frames;
  }
  const VideoProfile& profile() const { return *profile_; }
  size_t frameBytes() const { return frameBytes_; }
  int64_t frameCount() const { return frameCount_; }
  int64_t framesWritten() const { return next_; }

  // Writes the next frame into `frame` (frameBytes() bytes). Returns 0, or 1 when every frame has
  // been written.
  int next(uint8_t* frame);

 private:
  const VideoProfile* profile_;
  std::vector<SampleScene> scenes_;
  size_t frameBytes_ = 0;
  int64_t frameCount_ = 0;
  int64_t next_ = 0;
  size_t scene_ = 0;
  int64_t inScene_ = 0;
  Picture picture_;
  Picture previousPicture_;
  std::vector<uint8_t> previousFrame_;  // the last frame written, for its unchanged segments
};

// Writes a raw DV stream (frames back to back) to `path`, at most `frameLimit` frames when it is not
// negative. Returns 0, or -1 with `error` set; a partly written file is removed.
int writeSampleStream(const std::string& path, const VideoProfile& profile, const std::vector<SampleScene>& scenes,
                      int64_t frameLimit, std::string& error);

}  // namespace kelo::dv

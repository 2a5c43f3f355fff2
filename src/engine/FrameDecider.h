#pragma once
// Whether and how each frame of a pass is stamped: the recorded date and time read in file order,
// the two schedules and their fades, the timecode and zero-reset time formats. A stamping pass and
// the subtitles of a file take their decisions from the same object, so they agree frame for frame.
#include <cstdint>
#include <ctime>
#include <functional>

#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "engine/MarkerList.h"
#include "engine/StampSchedule.h"
#include "pipeline/FrameStamper.h"
#include "settings/StampSettings.h"

namespace kelo::engine {

class RunLog;

// With a timecode time format the time code shows the tape timecode (when the settings ask for it
// and the file has one) or the elapsed time of frame `frameIndex`, counted at the frame's rate.
void showTimecodeAsTime(dv::DvFrameInfo& info, const settings::StampSettings& s, int frameIndex);

// The recorded clock of a frame as the schedules compare it.
ScheduleClock scheduleClock(const dv::DvFrameInfo& info);

enum class FrameDecision {
  Skipped,    // no usable recorded time, or DV Kelo cannot stamp: left as it is, not remembered
  Unchanged,  // usable, but no code shows on it
  Stamp,      // to be stamped with the frame's record and the weights as decide() left them
};

// Frames from the one just decided until the recorded second changes: 1 to 30, or 0 when the next
// 30 frames all share its second. Asked only when a per-frame time format starts counting afresh.
using FramesToNextSecond = std::function<int(const dv::DvFrameInfo& info, const dv::DateTimeReadOptions& options)>;

class FrameDecider {
 public:
  // `log` (may be null) receives a line at each new recording date; `lastFrameIndex` is the pass's
  // last frame, for those lines' share.
  FrameDecider(const settings::StampSettings& settings, const MarkerList& markers, int lastFrameIndex, RunLog* log,
               FramesToNextSecond framesToNextSecond);

  // Frame `index` in file order. `info` carries what the previous frames left in it (and, for
  // the first frame, the profile the pass counts time by); it is left with the frame's text record.
  FrameDecision decide(dv::DvFrameInfo& info, const uint8_t* frame, size_t frameLength, int index,
                       pipeline::CodeWeights& weights);
  // After a frame decided Unchanged or Stamp: what the next frame compares with.
  static void remember(dv::DvFrameInfo& info);

  int lastFrameIndex() const { return lastFrameIndex_; }

  // The pass's counts.
  int invalidDate = 0, invalidTime = 0, noDateTime = 0, stamped = 0;
  int unstampable = 0;  // frames Kelo could not read or stamp (another size, unsupported DV)
  // The first and last real recording times (tm_year 0: none): the timecode formats and the zero
  // reset change `recorded` of the frame afterwards, and names and file times must not take those.
  std::tm first = dv::blankRecordedTime();
  std::tm last = dv::blankRecordedTime();

 private:
  const settings::StampSettings& s_;
  RunLog* log_;
  FramesToNextSecond framesToNextSecond_;
  dv::DateTimeReadOptions readOptions_;
  bool timecodeFormat_, frameFormat_, zeroTime_;
  ScheduleMarkers markers_;
  int lastFrameIndex_;
  StampSchedule dateSchedule_, timeSchedule_;
  FadeWeights dateFade_, timeFade_;
  int fps_ = 25;
};

}  // namespace kelo::engine

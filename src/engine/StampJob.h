#pragma once
// One input file stamped into one output file: option and free-space checks, header copy, the
// frame loop with the schedules and the frame pipeline, progress, stop and pause, tail copy, file
// times and final name. Every outcome is reported in the run log through the observer.
#include <functional>
#include <memory>
#include <string>

#include "dv/FrameInfo.h"
#include "engine/RunObserver.h"
#include "settings/StampSettings.h"

namespace kelo::engine {

class WriteLayer;
// Makes the layer the output is written through; empty for the real file system (tests use it
// to fill the disk at a chosen byte).
using WriteLayerFactory = std::function<std::unique_ptr<WriteLayer>()>;

struct JobContext {
  const settings::StampSettings& settings;
  RunObserver& observer;
  Prompter& prompter;
  const RunStateCell& runState;
  WriteLayerFactory makeWriteLayer = {};
  // Threads that stamp frames side by side within the file: 0 picks by the machine and the
  // file's length; 1 keeps everything on the calling thread.
  int workers = 0;
};

// With a timecode time format the time code shows the tape timecode (when the settings ask for it
// and the file has one) or the elapsed time of frame `frameIndex`, counted at the frame's rate.
void showTimecodeAsTime(dv::DvFrameInfo& info, const settings::StampSettings& s, int frameIndex);

// The stamping threads a pass uses for a file of `lastFrameIndex` + 1 frames when `requested`
// threads were asked for (0: automatic).
int stampWorkers(int requested, int lastFrameIndex);

// Results of runStampJob.
inline constexpr int kJobStamped = 0;
inline constexpr int kJobFailed = 1;
// The output is complete but could not be given its final name; it stays under the temporary
// name in `output`.
inline constexpr int kJobRenameFailed = 2;
// The output is complete and named, but frames Kelo could not read or stamp were copied
// unchanged (logged): the file is not fully stamped.
inline constexpr int kJobPartlyStamped = 4;

// Stamps `input` into `output`. With renameOutput on, `output` is a temporary name in the output
// folder and, on success, becomes the final name built from the name pattern.
int runStampJob(const JobContext& context, const std::string& input, std::string& output);

}  // namespace kelo::engine

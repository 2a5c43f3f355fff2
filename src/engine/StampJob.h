#pragma once
// One input file stamped into one output file: option and free-space checks, header copy, the
// frame loop with the schedules and the frame pipeline, progress, stop and pause, tail copy, file
// times and final name. Every outcome is reported in the run log through the observer.
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "dv/FrameInfo.h"
#include "engine/RunObserver.h"
#include "engine/StampSchedule.h"
#include "settings/StampSettings.h"

namespace kelo::container {
class WriteLayer;
}

namespace kelo::engine {

// What a pass saw of one file, for machine-readable reports; filled when the frame loop ends.
struct JobStats {
  int frames = 0;                 // frames read
  int framesStamped = 0;          // frames a code was drawn on
  int framesWithoutDateTime = 0;  // frames skipped for a missing or unusable date or time
  bool hasRecorded = false;       // first/lastRecorded hold a recorded date and time
  std::tm firstRecorded{};
  std::tm lastRecorded{};
};
// Makes the layer the output is written through; empty for the real file system (tests use it
// to fill the disk at a chosen byte).
using WriteLayerFactory = std::function<std::unique_ptr<container::WriteLayer>()>;

struct JobContext {
  const settings::StampSettings& settings;
  RunObserver& observer;
  Prompter& prompter;
  const RunStateCell& runState;
  WriteLayerFactory makeWriteLayer = {};
  // Threads that stamp frames side by side within the file: 0 picks by the machine and the
  // file's length; 1 keeps everything on the calling thread.
  int workers = 0;
  // Receives the pass's counts when not null.
  JobStats* stats = nullptr;
};

// The stamping threads a pass uses for a file of `lastFrameIndex` + 1 frames when `requested`
// threads were asked for (0: automatic).
int stampWorkers(int requested, int lastFrameIndex);

// What became of one input file.
enum class JobOutcome {
  Stamped,
  StampedUnrenamed,  // complete, but not under the name the settings ask for (the input's own
                     // name, numbered, or the temporary one)
  Failed,            // nothing is left under an output name
  PartlyStamped,     // complete and named, but frames that could not be read or stamped were
                     // copied unchanged (logged): the file is not fully stamped
  Refused,           // not started: the output would be its input, another listed input or the
                     // output of an earlier file (batch driver), or it exists already
};

// Stamps `input` into `output` (in the output folder). The pass writes under a temporary name
// it holds exclusively and renames the complete file: with renameOutput on, `output`'s file name
// is the temporary stem and, on success, `output` becomes the final name built from the name
// pattern; otherwise `output` is the final name, and a file of that name, there before the pass
// or made meanwhile by another process, is never replaced: the file is refused, or fails.
JobOutcome runStampJob(const JobContext& context, const std::string& input, std::string& output);

}  // namespace kelo::engine

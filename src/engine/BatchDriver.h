#pragma once
// A stamping run over a list of files on a worker thread: the Stamp and Stop buttons, the run log
// lines around each file, the summary message and the optional power-off at the end.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/RunObserver.h"
#include "engine/StampJob.h"
#include "settings/StampSettings.h"

namespace kelo::engine {

struct BatchRequest {
  std::vector<std::string> inputs;  // the file list, in order
  std::string outputFolder;         // UTF-8; the settings' output folder converted by the caller
  int selectionBefore = -1;         // list selection to restore at the end
  bool autoShutdown = false;        // write the log file, then switch the computer off
  int jobs = 1;                     // files stamped at once (kelo-cli --jobs)
  // Called before the run starts when the markers of the previewed file changed (may be empty).
  std::function<void()> saveChangedMarkers;
  // Writes the run log file; called before a power-off (may be empty).
  std::function<void()> writeLogFile;
  // The layer outputs are written through; empty for the real file system (tests).
  WriteLayerFactory makeWriteLayer;
};

// Why a file was not started.
enum class Refusal {
  None,
  OutputIsInput,          // its output would be the input itself
  OverwritesListedInput,  // its output would replace another listed input
  SameOutputAsEarlier,    // an earlier file of the list writes the same output
};

// What became of one file of the run: the one record of a file's outcome.
struct FileResult {
  JobOutcome outcome = JobOutcome::Failed;
  Refusal refusal = Refusal::None;  // with JobOutcome::Refused
  std::string output;               // the stamped file ("" unless Stamped or StampedUnrenamed)
};

struct BatchSummary {
  int fileCount = 0;
  int stamped = 0;
  bool stopped = false;
  std::vector<FileResult> files;  // per file, in list order
};

// Stamps one file; replaced in tests. The default is runStampJob.
using FileJob = std::function<JobOutcome(const JobContext&, const std::string& input, std::string& output)>;

class BatchDriver {
 public:
  BatchDriver(const settings::StampSettings& settings, RunObserver& observer, Prompter& prompter,
              PowerOff& powerOff);
  ~BatchDriver();  // waits for the worker
  BatchDriver(const BatchDriver&) = delete;
  BatchDriver& operator=(const BatchDriver&) = delete;

  // The Stamp button. Idle: checks the request (messages for an empty list, no code, no output
  // folder), then starts the worker; true when a run started. Running: pause. Paused: continue.
  // The settings must not change until the run has ended (state() is kRunIdle again).
  bool onStamp(const BatchRequest& request);
  // The Stop button: the worker stops at its next frame or between files.
  void onStop();
  uint8_t state() const { return runState_.load(); }
  // Caption of the Stamp button for the current state: "加码", "暂停" or "继续".
  const char* stampButtonCaption() const;
  // Waits for the worker to end (the driving thread must keep serving the observer meanwhile).
  void wait();
  // Valid once the run has ended.
  const BatchSummary& summary() const { return summary_; }
  // 0 if the last run ended without a stop request, 1 otherwise.
  int workerResult() const { return workerResult_; }

  void setFileJob(FileJob job) { fileJob_ = std::move(job); }

 private:
  void workerMain();

  const settings::StampSettings& settings_;
  RunObserver& observer_;
  Prompter& prompter_;
  PowerOff& powerOff_;
  FileJob fileJob_;
  RunStateCell runState_{kRunIdle};
  BatchRequest request_;
  BatchSummary summary_;
  int workerResult_ = 0;
  std::thread worker_;
};

// "Mon Mar 07 23:59:55 2005": the heading time of the run log (C names, day with a leading zero).
std::string runLogTime(std::time_t when);

// The output path of each input, or "" when the file must be refused, with the reason logged by
// the driver. Exposed for tests.
struct OutputPlan {
  std::vector<std::string> outputs;
  std::vector<Refusal> refusal;
};
OutputPlan planOutputs(const std::vector<std::string>& inputs, const std::string& outputFolder,
                       bool renameOutput);

}  // namespace kelo::engine

#pragma once
// How the engine talks to whatever drives it (desktop program, kelo-cli, tests) during a run or a
// preview. All texts are UTF-8; the desktop program converts with QString::fromUtf8, the settings'
// char16_t texts convert with platform::toUtf8.
//
// Calls arrive on the engine's worker thread. An implementation that forwards them to a GUI thread
// must block until the GUI has handled them (the engine relies on the answer, and on the order of
// log lines), and the GUI thread must never wait for the worker. When several files are stamped
// at once (kelo-cli --jobs), Prompter calls may come from several threads: serialise them.
#include <atomic>
#include <cstdint>
#include <string>

namespace kelo::engine {

struct FileReport;

// The one byte shared by the driving thread and the worker: the driving thread writes Running,
// Paused and StopRequested; the worker writes Idle at the very end of a run and polls the state
// once per frame, between files and every millisecond while paused.
enum RunState : uint8_t {
  kRunIdle = 0,
  kRunRunning = 1,
  kRunStopRequested = 2,
  kRunPaused = 3,
};
using RunStateCell = std::atomic<uint8_t>;

// Progress, log and list selection of a run.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // One line appended to the run log (without a line end).
  virtual void logLine(const std::string& line) = 0;
  // Progress bar, 0..1000, and the progress text beside it (may be empty).
  virtual void progress(int perMille, const std::string& text) = 0;
  // The file list's current selection: the entry the run works on, and at the end the entry that
  // was selected before the run (-1: none).
  virtual void selectListItem(int index) = 0;
  // A run starts (true) or has ended (false): settings controls disabled/enabled, Stop button,
  // Stamp button caption.
  virtual void setRunning(bool running) = 0;
  // One file of a run is done (stamped, refused or failed). With several files at once it comes
  // from the thread that ran the file, as soon as it ends.
  virtual void fileFinished(const FileReport&) {}
};

// The three captions of message boxes; the caption text is `captionOf(kind)`.
enum class MessageKind {
  Error,        // "错误", error icon
  Warning,      // "警告", exclamation icon
  Information,  // "信息", information icon
  Plain,        // "信息", no icon
};

inline const char* captionOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::Error: return "错误";
    case MessageKind::Warning: return "警告";
    case MessageKind::Information:
    case MessageKind::Plain: return "信息";
  }
  return "信息";
}

// Message boxes and yes/no questions.
class Prompter {
 public:
  virtual ~Prompter() = default;
  // Shows a message and returns when the user has dismissed it.
  virtual void message(MessageKind kind, const std::string& text) = 0;
  // Asks a yes/no question; true for Yes.
  virtual bool askYesNo(MessageKind kind, const std::string& text) = 0;
};

// Switches the computer off at the end of a run. 0 on success or an error code.
class PowerOff {
 public:
  virtual ~PowerOff() = default;
  virtual int powerOff() = 0;
};

// Observer and prompter that do nothing (a prompter that answers No); for callers that do not
// show anything, such as a preview pass.
class NullObserver final : public RunObserver {
 public:
  void logLine(const std::string&) override {}
  void progress(int, const std::string&) override {}
  void selectListItem(int) override {}
  void setRunning(bool) override {}
};

class NullPrompter final : public Prompter {
 public:
  void message(MessageKind, const std::string&) override {}
  bool askYesNo(MessageKind, const std::string&) override { return false; }
};

}  // namespace kelo::engine

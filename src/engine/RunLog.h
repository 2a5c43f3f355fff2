#pragma once
// The run log: one line per event of a stamping run, in the order of the events, shown in the log
// window and written on request to "Kelo.log" in the temporary folder. Low-level file errors take
// the other channel, the process's standard error stream (container::logError).
#include <mutex>
#include <string>
#include <vector>

#include "container/MessageSink.h"

namespace kelo::engine {

class RunObserver;

class RunLog final : public container::MessageSink {
 public:
  // Lines are also handed to the observer (the log window, the terminal) as they are added.
  explicit RunLog(RunObserver* observer = nullptr) : observer_(observer) {}
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  void setObserver(RunObserver* observer);

  // Appends one line (UTF-8, no line break); callers format it first (formatMessage).
  void add(std::string line) override;
  std::vector<std::string> lines() const;
  size_t size() const;

  // Writes every line to "Kelo.log" in platform::tempFolder() (or to `path`): UTF-16LE with a
  // byte-order mark, each line followed by U+000A, replacing an earlier file. 0 or an errno value;
  // callers ignore a failure (the log file is a convenience, not a record that must exist).
  int writeFile() const;
  int writeFile(const std::string& path) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  RunObserver* observer_ = nullptr;
};

// Full path of the log file: platform::tempFolder() joined with "Kelo.log".
std::string runLogPath();

// printf-style formatting of a message template (UTF-8 templates and arguments).
std::string formatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kelo::engine

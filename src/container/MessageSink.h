#pragma once
// The two channels a reader or writer reports on: lines for the run log, through a MessageSink the
// engine provides, and low-level file errors on standard error.
#include <string>
#include <vector>

namespace kelo::container {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void add(std::string line) = 0;
};

// Adds the line when there is a sink.
inline void addLine(MessageSink* sink, std::string line) {
  if (sink != nullptr) sink->add(std::move(line));
}

// Keeps the lines (a caller that shows only the last reason, or hands them on later).
class MessageList final : public MessageSink {
 public:
  void add(std::string line) override { lines.push_back(std::move(line)); }
  std::string last(const char* otherwise) const { return lines.empty() ? std::string(otherwise) : lines.back(); }
  std::vector<std::string> lines;
};

// "ERROR: " followed by `text` (which carries its own line end) on standard error.
void logError(const char* text);
inline constexpr const char* kErrorFileNotValid = "file is not valid.\n";
inline constexpr const char* kErrorCannotOpen = "can not open file.\n";

}  // namespace kelo::container

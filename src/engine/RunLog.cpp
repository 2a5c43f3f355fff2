#include "engine/RunLog.h"

#include <cstdarg>
#include <cstdio>

#include "engine/RunObserver.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelo::engine {

void RunLog::setObserver(RunObserver* observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  observer_ = observer;
}

void RunLog::add(std::string line) {
  RunObserver* observer = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
    observer = observer_;
  }
  // Outside the lock: an observer may block until a GUI thread has shown the line, and that
  // thread may itself read the lines meanwhile.
  if (observer != nullptr) observer->logLine(line);
}

std::vector<std::string> RunLog::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

size_t RunLog::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.size();
}

std::string runLogPath() { return platform::joinPath(platform::tempFolder(), "Kelo.log"); }

int RunLog::writeFile() const { return writeFile(runLogPath()); }

int RunLog::writeFile(const std::string& path) const {
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  for (const std::string& line : lines()) {
    for (char16_t unit : platform::fromUtf8(line)) {
      bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.push_back(0x0A);
    bytes.push_back(0x00);
  }
  platform::File file;
  if (int err = file.openWrite(path)) return err;
  if (int err = file.writeAll(bytes.data(), bytes.size())) return err;
  return file.close();
}

std::string formatMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    out.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(needed));
  }
  va_end(args);
  return out;
}

}  // namespace kelo::engine

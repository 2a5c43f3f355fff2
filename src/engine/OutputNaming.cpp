#include "engine/OutputNaming.h"

#include <cerrno>
#include <cstdio>

#include "container/StampedFileWriter.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelo::engine {

namespace {

constexpr std::string_view kTemporaryStem = kTemporaryOutputStem;
// Renaming gives up after this many taken names rather than searching for ever.
constexpr int kMaxNumberedNames = 100000;

void replaceAll(std::string& text, std::string_view from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

int twoDigits(int value) { return ((value % 100) + 100) % 100; }

std::string dateDigits(const std::tm& t) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d%02d%02d", twoDigits(t.tm_year + 1900), t.tm_mon + 1, t.tm_mday);
  return text;
}

std::string timeDigits(const std::tm& t) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d%02d%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

}  // namespace

std::string extensionOf(const std::string& path) {
  const std::string name = platform::fileNameOf(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::string outputName(const std::string& inputPath, bool renameOutput) {
  return renameOutput ? kTemporaryOutputStem + extensionOf(inputPath) : platform::fileNameOf(inputPath);
}

std::string expandNamePattern(std::u16string_view pattern, const std::string& inputPath, const std::tm& first,
                              const std::tm& last) {
  std::string stem = platform::fileNameOf(inputPath);
  stem.resize(stem.size() - extensionOf(inputPath).size());
  std::string name = platform::toUtf8(pattern);
  replaceAll(name, "@N", stem);
  replaceAll(name, "@F", dateDigits(first));
  replaceAll(name, "@f", timeDigits(first));
  replaceAll(name, "@L", dateDigits(last));
  replaceAll(name, "@l", timeDigits(last));
  for (char& c : name) {
    if (c == platform::kSeparator) c = '_';
  }
  return name;
}

int finalName(StampedFileWriter& output, const std::string& inputPath, std::string& outputPath,
              std::u16string_view pattern, const std::tm& first, const std::tm& last) {
  if (output.close() != 0) return -2;
  const size_t cut = outputPath.rfind(platform::kSeparator);
  const size_t nameStart = cut == std::string::npos ? 0 : cut + 1;
  const size_t stemAt = outputPath.find(kTemporaryStem, nameStart);
  if (stemAt == std::string::npos) return 0;

  std::string candidate = outputPath;
  candidate.replace(stemAt, kTemporaryStem.size(), expandNamePattern(pattern, inputPath, first, last));
  const size_t extensionAt = candidate.size() - extensionOf(outputPath).size();
  const bool hasExtension = extensionAt < candidate.size();
  std::string attempt = candidate;
  for (int number = 1;; ++number) {
    const int err = platform::renameNoReplace(outputPath, attempt);
    if (err == 0) {
      outputPath = attempt;
      return 0;
    }
    if (err != EEXIST || number > kMaxNumberedNames) return err;
    const std::string suffix = "-" + std::to_string(number);
    attempt = hasExtension ? candidate.substr(0, extensionAt) + suffix + candidate.substr(extensionAt)
                           : candidate + suffix;
  }
}

int setFileTimes(StampedFileWriter& output, const std::tm& first, const std::tm& last, FileTimeOptions options) {
  if (first.tm_year == 0) return 0;
  // The creation (birth) time of a file cannot be set on Linux; options.creationFromFirst has
  // nothing to act on.
  std::time_t when = std::time(nullptr);
  if (options.modificationFromLast) {
    std::tm local = last;
    local.tm_isdst = -1;  // whatever daylight saving time was in force on that day
    const std::time_t recorded = std::mktime(&local);
    if (recorded != static_cast<std::time_t>(-1)) when = recorded;
  }
  return output.setModificationTime(when);
}

}  // namespace kelo::engine

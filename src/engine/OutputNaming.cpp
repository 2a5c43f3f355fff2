#include "engine/OutputNaming.h"

#include <cerrno>
#include <cstdio>

#include "engine/StampedAviWriter.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelo::engine {

namespace {

// Temporary names tried before giving up: one per pass running at once in the folder.
constexpr int kMaxTemporaryNames = 1000;
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

std::string stemOf(const std::string& name) { return name.substr(0, name.size() - extensionOf(name).size()); }

}  // namespace

std::string extensionOf(const std::string& path) {
  const std::string name = platform::fileNameOf(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::string outputName(const std::string& inputPath, bool renameOutput) {
  return renameOutput ? std::string(kTemporaryStem) + extensionOf(inputPath) : platform::fileNameOf(inputPath);
}

std::string expandNamePattern(std::u16string_view pattern, const std::string& inputPath, const std::tm& first,
                              const std::tm& last) {
  std::string name = platform::toUtf8(pattern);
  replaceAll(name, "@N", stemOf(platform::fileNameOf(inputPath)));
  replaceAll(name, "@F", dateDigits(first));
  replaceAll(name, "@f", timeDigits(first));
  replaceAll(name, "@L", dateDigits(last));
  replaceAll(name, "@l", timeDigits(last));
  for (char& c : name) {
    if (c == platform::kSeparator) c = '_';
  }
  return name;
}

bool fitName(std::string& stem, size_t tailBytes, size_t maxBytes) {
  const size_t room = maxBytes > tailBytes ? maxBytes - tailBytes : 0;
  if (stem.size() <= room) return false;
  size_t cut = room;
  // Back to the first byte of a character: continuation bytes are 10xxxxxx.
  while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
  stem.resize(cut);
  return true;
}

OutputOpen openTemporaryOutput(StampedAviWriter& writer, const std::string& outputPath, bool renameOutput,
                               std::string& temporaryPath) {
  const std::string folder = platform::folderOf(outputPath);
  const size_t nameMax = platform::nameMaxOf(folder);
  const std::string extension = extensionOf(outputPath);
  for (int n = 0; n < kMaxTemporaryNames; ++n) {
    std::string name;
    if (renameOutput) {
      name = std::string(kTemporaryStem) + (n == 0 ? "" : "-" + std::to_string(n)) + extension;
    } else {
      // One name per output: a second pass that would write it finds the name held.
      std::string stem = stemOf(platform::fileNameOf(outputPath));
      const std::string prefix = std::string(kTemporaryStem) + "-";
      fitName(stem, prefix.size() + extension.size(), nameMax);
      name = prefix + stem + extension;
    }
    temporaryPath = platform::joinPath(folder, name);
    if (writer.open(temporaryPath) == 0) return OutputOpen::Opened;
    if (writer.openError() != EWOULDBLOCK) return OutputOpen::Failed;
    if (!renameOutput) return OutputOpen::InUse;
  }
  return OutputOpen::InUse;
}

void discardTemporaryOutput(StampedAviWriter& writer, const std::string& temporaryPath) {
  // Removed while still held: a pass that opens the name meanwhile gets a file of its own.
  if (!writer.deletedAfterDiskFull()) platform::removeFile(temporaryPath);
  writer.close();
}

FinalName giveFinalName(StampedAviWriter& writer, const std::string& temporaryPath, const std::string& inputPath,
                        std::string& outputPath, bool renameOutput, std::u16string_view pattern,
                        const std::tm& first, const std::tm& last) {
  FinalName result;
  if (writer.close() != 0) {
    result.outcome = RenameOutcome::NotCompleted;
    return result;
  }
  if (!renameOutput) {
    result.error = platform::renameReplacing(temporaryPath, outputPath);
    result.outcome = result.error == 0 ? RenameOutcome::Renamed : RenameOutcome::Failed;
    if (result.error != 0) outputPath = temporaryPath;
    return result;
  }
  const std::string folder = platform::folderOf(temporaryPath);
  const std::string extension = extensionOf(inputPath);
  const std::string stem = expandNamePattern(pattern, inputPath, first, last);
  const size_t nameMax = platform::nameMaxOf(folder);
  for (int number = 0; number <= kMaxNumberedNames; ++number) {
    const std::string suffix = (number == 0 ? "" : "-" + std::to_string(number)) + extension;
    std::string name = stem;
    const bool shortened = fitName(name, suffix.size(), nameMax);
    const std::string attempt = platform::joinPath(folder, name + suffix);
    const int err = platform::renameNoReplace(temporaryPath, attempt);
    if (err == 0) {
      outputPath = attempt;
      result.outcome = RenameOutcome::Renamed;
      result.shortened = shortened;
      return result;
    }
    result.error = err;
    if (err != EEXIST) break;
  }
  outputPath = temporaryPath;
  result.outcome = RenameOutcome::Failed;
  return result;
}

int setFileTimes(StampedAviWriter& output, const std::tm& first, const std::tm& last, FileTimeOptions options) {
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

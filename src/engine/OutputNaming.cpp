#include "engine/OutputNaming.h"

#include <cerrno>
#include <cstdio>

#include "container/StampedFileWriter.h"
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

OutputOpen openTemporaryOutput(StampedFileWriter& writer, const std::string& outputPath, bool renameOutput,
                               std::string& temporaryPath) {
  const std::string folder = platform::folderOf(outputPath);
  const size_t nameMax = platform::nameMaxOf(folder);
  const std::string extension = extensionOf(outputPath);
  // Without renaming one name per output, so that a second pass that would write it finds it held.
  std::string stem = std::string(kTemporaryStem);
  if (!renameOutput) {
    std::string own = stemOf(platform::fileNameOf(outputPath));
    fitName(own, stem.size() + 1 + extension.size() + 7, nameMax);
    stem += "-" + own;
  }
  for (int n = 0; n < kMaxTemporaryNames; ++n) {
    temporaryPath = platform::joinPath(folder, stem + (n == 0 ? "" : "-" + std::to_string(n)) + extension);
    // A file of that name that this program did not create as scratch is a user's: never touched.
    const int created = platform::createMarkedFile(temporaryPath);
    if (created == EEXIST && !platform::hasScratchMark(temporaryPath)) continue;
    if (created != 0 && created != EEXIST) return OutputOpen::Failed;
    if (writer.open(temporaryPath) == 0) return OutputOpen::Opened;
    if (writer.openError() != EWOULDBLOCK) {
      if (created == 0) platform::removeFile(temporaryPath);
      return OutputOpen::Failed;
    }
    if (!renameOutput) return OutputOpen::InUse;
  }
  return OutputOpen::InUse;
}

void discardTemporaryOutput(StampedFileWriter& writer, const std::string& temporaryPath) {
  // Removed while still held: a pass that opens the name meanwhile gets a file of its own.
  if (!writer.deletedAfterDiskFull()) platform::removeFile(temporaryPath);
  writer.close();
}

namespace {

// Renames `temporaryPath` to `stem` + extension in its folder, or with "-1", "-2", ... before the
// extension while that name is taken; the stem is cut to fit the name length. 0 or the errno of
// the first failure that is not a taken name.
int renameToFreeName(const std::string& temporaryPath, const std::string& stem, const std::string& extension,
                     int firstNumber, std::string& renamed, bool& shortened) {
  const std::string folder = platform::folderOf(temporaryPath);
  const size_t nameMax = platform::nameMaxOf(folder);
  int err = EEXIST;
  for (int number = firstNumber; number <= kMaxNumberedNames && err == EEXIST; ++number) {
    const std::string suffix = (number == 0 ? "" : "-" + std::to_string(number)) + extension;
    std::string name = stem;
    shortened = fitName(name, suffix.size(), nameMax);
    renamed = platform::joinPath(folder, name + suffix);
    err = platform::renameNoReplace(temporaryPath, renamed);
  }
  return err;
}

}  // namespace

FinalName giveFinalName(StampedFileWriter& writer, const std::string& temporaryPath, const std::string& inputPath,
                        std::string& outputPath, bool renameOutput, std::u16string_view pattern,
                        const std::tm& first, const std::tm& last) {
  FinalName result;
  if (writer.closeDurably() != 0) {
    result.outcome = RenameOutcome::NotCompleted;
    return result;
  }
  // A finished output is no scratch: should it keep this name, no later run may reuse it.
  platform::removeScratchMark(temporaryPath);
  std::string renamed;
  if (renameOutput) {
    result.error = renameToFreeName(temporaryPath, expandNamePattern(pattern, inputPath, first, last),
                                    extensionOf(inputPath), 0, renamed, result.shortened);
  } else {
    result.error = platform::renameNoReplace(temporaryPath, outputPath);
    renamed = outputPath;
    // Another pass (another process) gave its output this name first: theirs stays. Without the
    // scratch mark no pass takes up the temporary name before it is gone.
    if (result.error == EEXIST) {
      platform::removeFile(temporaryPath);
      result.outcome = RenameOutcome::Taken;
      return result;
    }
  }
  if (result.error == 0) {
    outputPath = renamed;
    result.outcome = RenameOutcome::Renamed;
    return result;
  }
  // The name the settings ask for cannot be made here (a character the file system refuses, a
  // folder of that name): the input's own name, numbered, rather than a temporary name that a
  // later run would take for a leftover.
  const std::string inputName = platform::fileNameOf(inputPath);
  if (renameToFreeName(temporaryPath, stemOf(inputName), extensionOf(inputName), 1, renamed, result.shortened) == 0) {
    outputPath = renamed;
    result.outcome = RenameOutcome::RenamedOtherwise;
    return result;
  }
  outputPath = temporaryPath;
  result.outcome = RenameOutcome::Failed;
  return result;
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

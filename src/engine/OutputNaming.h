#pragma once
// The two ends of a stamping pass's output: its name (the input's own name in the output folder,
// or a name built from the renaming pattern with the first and last recorded date and time that
// never replaces an existing file) and its file times (from the recorded times).
#include <ctime>
#include <string>
#include <string_view>

namespace kelo::container {
class StampedFileWriter;
}

namespace kelo::engine {

using container::StampedFileWriter;

// The stem of the name a renamed output is written under until its pass is complete; the input's
// extension follows it.
inline constexpr const char* kTemporaryOutputStem = "tmpKeloout";

// The extension of a path's file name with its dot (".avi", ".dv", ".mov"); "" when it has none.
std::string extensionOf(const std::string& path);

// File name of the output in the output folder: kTemporaryOutputStem and the input's extension
// with renaming on, else the input's own file name.
std::string outputName(const std::string& inputPath, bool renameOutput);

// The renaming pattern with, in this order, every "@N" replaced by the input's file name without
// its extension, "@F" and "@f" by the first recorded time as %y%m%d and
// %H%M%S, "@L" and "@l" by the last. Case-sensitive; an "@F" brought in by "@N" is expanded too.
// Path separators in the result become "_" so that the name stays in the output folder.
std::string expandNamePattern(std::u16string_view pattern, const std::string& inputPath, const std::tm& first,
                              const std::tm& last);

// Closes the output and renames it from its temporary name to the expanded pattern (the
// "tmpKeloout" part of its file name replaced), adding "-1", "-2", ... before the extension while a file
// of that name exists; an existing file is never replaced. On success `outputPath` becomes the new
// path and the result is 0. When the output could not be completed (closing failed) the result is
// -2 and nothing is renamed; when the rename fails the output keeps its temporary name and the
// result is the errno value. An output path without "tmpKeloout" in its file name is only closed.
int finalName(StampedFileWriter& output, const std::string& inputPath, std::string& outputPath,
              std::u16string_view pattern, const std::tm& first, const std::tm& last);

struct FileTimeOptions {
  bool creationFromFirst = false;     // creationTimeFromFirstTimecode
  bool modificationFromLast = false;  // modificationTimeFromLastTimecode
};

// Sets the output's file times through its open handle, before it is closed: nothing when the year
// of the first recorded time is 0 (no frame had a usable recording time); otherwise the
// modification time is the last recorded time (taken as local time) with modificationFromLast,
// else the current time. A creation (birth) time cannot be set on Linux, so creationFromFirst has
// no effect here. 0, or the writer's failure (-1, -2).
int setFileTimes(StampedFileWriter& output, const std::tm& first, const std::tm& last, FileTimeOptions options);

}  // namespace kelo::engine

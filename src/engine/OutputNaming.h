#pragma once
// The two ends of a stamping pass's output: its name and its file times. A pass writes under a
// temporary name that it holds exclusively and gives the output its final name only once it is
// complete: the input's own file name, or a name built from the renaming pattern with the first
// and last recorded date and time that never replaces an existing file. Nothing lies under a final
// name for a file that was not stamped.
#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace kelo::container {
class StampedFileWriter;
}

namespace kelo::engine {

using container::StampedFileWriter;

// Stem of every temporary output name; with renaming on, a pass's output path names the folder
// and the extension with it ("tmpKeloout.avi").
inline constexpr std::string_view kTemporaryStem = "tmpKeloout";

// The extension of a file name or path, dot included; "" when it has none.
std::string extensionOf(const std::string& path);

// File name of the output in the output folder: with renaming on the temporary stem with the
// input's extension, else the input's own file name.
std::string outputName(const std::string& inputPath, bool renameOutput);

// The renaming pattern with, in this order, every "@N" replaced by the input's file name without
// its extension, "@F" and "@f" by the first recorded time as %y%m%d and %H%M%S, "@L" and "@l" by
// the last. Case-sensitive; an "@F" brought in by "@N" is expanded too. Path separators in the
// result become "_" so that the name stays in the output folder.
std::string expandNamePattern(std::u16string_view pattern, const std::string& inputPath, const std::tm& first,
                              const std::tm& last);

// Cuts `stem` at a character boundary (UTF-8) so that it and `tailBytes` more fit in `maxBytes`;
// true when it had to be cut.
bool fitName(std::string& stem, size_t tailBytes, size_t maxBytes);

enum class OutputOpen {
  Opened,
  InUse,   // another pass, in this program or another, is writing that output
  Failed,  // the file could not be created (folder missing, no permission, ...)
};

// Opens where a pass writes `outputPath` until it is complete, holding it exclusively until the
// writer closes. With renaming on: the first of "tmpKeloout<ext>", "tmpKeloout-1<ext>", ... in the
// output's folder that no running pass holds; one left behind by a pass that never finished is
// reused. Otherwise: "tmpKeloout-" followed by the output's file name, so that two passes that
// would write the same output cannot both run. A file of such a name that this program did not
// create as scratch (platform::hasScratchMark) is a user's and is passed over for the next
// numbered name. `temporaryPath` receives the name.
OutputOpen openTemporaryOutput(StampedFileWriter& writer, const std::string& outputPath, bool renameOutput,
                               std::string& temporaryPath);

// Removes a pass's temporary output while it is still held, then closes it: a file that was not
// stamped leaves nothing behind.
void discardTemporaryOutput(StampedFileWriter& writer, const std::string& temporaryPath);

enum class RenameOutcome {
  Renamed,           // the output has its final name
  RenamedOtherwise,  // that name could not be made: the output has the input's name, numbered
  NotCompleted,  // the last bytes could not be written: the output is incomplete
  Failed,        // the rename failed: the complete output keeps its temporary name
};

struct FinalName {
  RenameOutcome outcome = RenameOutcome::Failed;
  bool shortened = false;  // the expanded pattern was cut to fit the file system's name length
  int error = 0;           // errno of a failed rename
};

// Closes the output and gives it its final name in the folder of `outputPath`. With renaming on:
// the expanded pattern with the input's extension, cut at a character
// boundary where it would exceed the file system's name length, with "-1", "-2", ... before the
// extension while a file of that name exists; an existing file is never replaced. Without
// renaming the name of `outputPath`, replacing a file of that name. Where that rename fails for
// another reason than a taken name, the input's own name with "-1", "-2", ... On Renamed and
// RenamedOtherwise `outputPath` is the final path; on Failed it is the temporary path where the
// stamped output stays.
FinalName giveFinalName(StampedFileWriter& writer, const std::string& temporaryPath, const std::string& inputPath,
                        std::string& outputPath, bool renameOutput, std::u16string_view pattern,
                        const std::tm& first, const std::tm& last);

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

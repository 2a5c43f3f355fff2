#pragma once
// Project files (".zev"): the whole settings record as a fixed 3340-byte image, magic
// "Kelo-2.1.0". The reader also accepts the older 3136-byte "Kelo-2.0.0" files. The configuration
// file uses the same format (settings/ConfigFile.h).
//
// Every failure comes with `message`, the user-visible Chinese text already filled in with the
// path; nothing is printed. A refused or unreadable file never changes the settings.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/StampSettings.h"

namespace kelo::settings {

enum class LoadOutcome {
  Loaded,
  CannotOpen,  // no path, no such file, a folder, or a read error
  Refused,     // wrong magic, wrong size or damaged content
};

enum class SaveOutcome {
  Saved,
  NoPath,       // nothing was written
  Refused,      // the settings hold what no file may hold; nothing was written
  WriteFailed,  // the file could not be written; an existing file is as it was
};

inline constexpr std::size_t kProjectFileSize = 3340;
inline constexpr std::size_t kProjectFileSize200 = 3136;
inline constexpr std::string_view kProjectMagic = "Kelo-2.1.0";
inline constexpr std::string_view kProjectMagic200 = "Kelo-2.0.0";

// Message templates (printf-style; see settings/MessageFormat.h).
inline constexpr std::u16string_view kMsgCannotOpenProject = u"打不开项目：%s.";  // path
inline constexpr std::u16string_view kMsgProjectIncomplete = u"项目文件不完整：%s.";  // path
inline constexpr std::u16string_view kMsgProjectWrongSize = u"项目文件大小不对：%s.";  // path
inline constexpr std::u16string_view kMsgProjectDamaged = u"项目文件已损坏：%s. %s";  // path, detail
inline constexpr std::u16string_view kMsgCannotSaveProject = u"保存不了项目：%s.";  // path
inline constexpr std::u16string_view kMsgCannotSaveInvalid = u"保存不了项目：%s. %s";  // path, detail

// The 2.1.0 file image of `settings` (exactly kProjectFileSize bytes). The settings image and the
// custom formats are written as they are in memory, the output folder up to its terminator.
std::vector<uint8_t> projectFileBytes(const StampSettings& settings);

// Reads a whole project file image. On success the persisted fields of `settings` are replaced
// (the image, the custom formats, the output folder); projectModified and markersModified stay.
// `path` only fills the messages. Loaded or Refused.
LoadOutcome parseProjectFile(std::span<const uint8_t> bytes, StampSettings& settings, std::u16string& message,
                     std::u16string_view path = u"");

// Writes `settings` as a 2.1.0 file, positions clamped into the frame (the program's own controls
// can push them past it). Fails without touching the disk when the path is empty or the settings
// do not pass validateSettings. The file is written beside the target and then renamed over it,
// so a failed write (full disk) leaves an existing file as it was; a symbolic link is written
// through to its target, and an existing file keeps its permission bits.
SaveOutcome saveProjectFile(const std::string& path, const StampSettings& settings, std::u16string& message);

// Loads a 2.1.0 or 2.0.0 file. A file of the wrong size, unknown magic, a text without its
// terminator or a value outside its field's limits is refused and leaves `settings` as it was;
// positions outside the frame are clamped into it. Never changes projectModified; the caller sets
// projectPath to the path it opened.
LoadOutcome loadProjectFile(const std::string& path, StampSettings& settings, std::u16string& message);

}  // namespace kelo::settings

#pragma once
// The configuration file "Kelo.cfg": the settings in force, carried from one run of the program
// to the next in the project file format. The program computes the path once at start-up,
// loads it over the defaults (quietly keeping the defaults on any failure) and saves it at exit.
#include <string>

#include "settings/ProjectFile.h"
#include "settings/StampSettings.h"

namespace kelo::settings {

inline constexpr const char* kConfigFileName = "Kelo.cfg";
// The message of a configuration file that could not be written (printf-style, the path).
inline constexpr std::u16string_view kMsgCannotSaveConfig = u"保存不了设置：%s.";

// "Kelo.cfg" in platform::configFolder() (WINDIR, else the XDG configuration folder).
std::string configFilePath();

// As loadProjectFile: the settings are untouched on failure (a missing file is CannotOpen); the
// caller keeps the defaults quietly.
LoadOutcome loadConfigFile(const std::string& path, StampSettings& settings, std::u16string& message);
// As saveProjectFile, creating the folder first when it does not exist yet. At exit a result
// other than Saved is reported with `message` (kMsgCannotSaveConfig), or the session's settings
// would be lost without a word.
SaveOutcome saveConfigFile(const std::string& path, const StampSettings& settings, std::u16string& message);

}  // namespace kelo::settings

#pragma once
// The configuration file "Kelo.cfg": the settings in force, carried from one run of the program
// to the next in the project file format. The program computes the path once at start-up,
// loads it over the defaults (quietly keeping the defaults on any failure) and saves it at exit.
#include <string>

#include "settings/StampSettings.h"

namespace kelo::settings {

inline constexpr const char* kConfigFileName = "Kelo.cfg";

// "Kelo.cfg" in platform::configFolder() (WINDIR, else the XDG configuration folder).
std::string configFilePath();

// As loadProjectFile: 0, or a failure code with a message the caller may ignore; the settings
// are untouched on failure (a missing file gives -2).
int loadConfigFile(const std::string& path, StampSettings& settings, std::u16string& message);
// As saveProjectFile, creating the folder first when it does not exist yet.
int saveConfigFile(const std::string& path, const StampSettings& settings, std::u16string& message);

}  // namespace kelo::settings

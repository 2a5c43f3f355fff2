#pragma once
// What every kelo-cli command shares: exit statuses, one-line errors, the optional project and the
// version line.
#include <string>

#include "settings/StampSettings.h"

namespace kelo::cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // some file was not handled (bad input, write error)
inline constexpr int kExitUsage = 2;   // the command line cannot work: nothing was done

// Prints "error: MESSAGE" on standard error; returns `status` so a command can `return fail(...)`.
int fail(const std::string& message, int status = kExitFailed);

// The settings of `project`, or the defaults when it is empty. False, with the error printed,
// when the project cannot be read.
bool loadSettings(const std::string& project, settings::StampSettings& settings);

// "kelo-cli 2.1.0 (abc1234)": the program, the version and, when built from a checkout, the revision.
std::string versionText(const std::string& program);

}  // namespace kelo::cli

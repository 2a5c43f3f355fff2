#pragma once
// Each kelo-cli subcommand registers itself on the application. A command stores its exit status
// in `exitCode` (0 on success); errors are printed as one line on standard error.
#include <CLI/CLI.hpp>
#include <string>

namespace kelo::cli {

void addProjectCommand(CLI::App& app, int& exitCode);
void addInfoCommand(CLI::App& app, int& exitCode);
void addFrameCommand(CLI::App& app, int& exitCode);
void addSampleCommand(CLI::App& app, int& exitCode);
void addTextCommand(CLI::App& app, int& exitCode);
void addStampCommand(CLI::App& app, int& exitCode);
void addSubtitlesCommand(CLI::App& app, int& exitCode);
void addVerifyCommand(CLI::App& app, int& exitCode);

}  // namespace kelo::cli

#pragma once
// Each kelo-cli subcommand registers itself on the application. A command stores its exit status
// in `exitCode` (0 on success); errors are printed as one line on standard error.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cstring>
#include <string>

namespace kelo::cli {

void addProjectCommand(CLI::App& app, int& exitCode);
void addInfoCommand(CLI::App& app, int& exitCode);
void addFrameCommand(CLI::App& app, int& exitCode);
void addSampleCommand(CLI::App& app, int& exitCode);
void addTextCommand(CLI::App& app, int& exitCode);
void addStampCommand(CLI::App& app, int& exitCode);
void addVerifyCommand(CLI::App& app, int& exitCode);

// True when `path` ends in `ending` (a lower-case literal such as ".mov"), in any case.
inline bool endsWithNoCase(const std::string& path, const char* ending) {
  const size_t n = std::strlen(ending);
  if (path.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ending[i]) return false;
  return true;
}

}  // namespace kelo::cli

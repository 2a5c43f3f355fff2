#include "cli/Common.h"

#include <iostream>

#include "kelo/Version.h"
#include "platform/Text.h"
#include "settings/ProjectFile.h"

namespace kelo::cli {

int fail(const std::string& message, int status) {
  std::cerr << "error: " << message << "\n";
  return status;
}

bool loadSettings(const std::string& project, settings::StampSettings& settings) {
  settings = settings::StampSettings{};
  if (project.empty()) return true;
  std::u16string message;
  if (settings::loadProjectFile(project, settings, message) == settings::LoadOutcome::Loaded) return true;
  fail(platform::toUtf8(message));
  return false;
}

std::string versionText(const std::string& program) {
  std::string text = program + " " + kVersion;
  if (kGitRevision[0] != '\0') text += std::string(" (") + kGitRevision + ")";
  return text;
}

}  // namespace kelo::cli

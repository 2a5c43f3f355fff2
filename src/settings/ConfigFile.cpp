#include "settings/ConfigFile.h"

#include "platform/FileSystem.h"
#include "settings/ProjectFile.h"

namespace kelo::settings {

std::string configFilePath() { return platform::joinPath(platform::configFolder(), kConfigFileName); }

int loadConfigFile(const std::string& path, StampSettings& settings, std::u16string& message) {
  return loadProjectFile(path, settings, message);
}

int saveConfigFile(const std::string& path, const StampSettings& settings, std::u16string& message) {
  const std::string folder = platform::folderOf(path);
  if (!folder.empty() && !platform::isFolder(folder)) platform::makeFolders(folder);
  return saveProjectFile(path, settings, message);
}

}  // namespace kelo::settings

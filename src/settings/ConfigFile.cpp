#include "settings/ConfigFile.h"

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "settings/MessageFormat.h"
#include "settings/ProjectFile.h"

namespace kelo::settings {

std::string configFilePath() { return platform::joinPath(platform::configFolder(), kConfigFileName); }

LoadOutcome loadConfigFile(const std::string& path, StampSettings& settings, std::u16string& message) {
  return loadProjectFile(path, settings, message);
}

SaveOutcome saveConfigFile(const std::string& path, const StampSettings& settings, std::u16string& message) {
  const std::string folder = platform::folderOf(path);
  if (!folder.empty() && !platform::isFolder(folder)) platform::makeFolders(folder);
  const SaveOutcome outcome = saveProjectFile(path, settings, message);
  if (outcome != SaveOutcome::Saved) message = formatMessage(kMsgCannotSaveConfig, {platform::fromUtf8(path)});
  return outcome;
}

}  // namespace kelo::settings

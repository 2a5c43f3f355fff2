// kelo-cli info FILE...: what each DV file (AVI, raw DV, QuickTime) holds, as one JSON object per file.
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "container/FileInfo.h"

namespace kelo::cli {

namespace {

nlohmann::json toJson(const container::FileInfo& info) {
  nlohmann::json j;
  j["path"] = info.path;
  j["container"] = container::containerName(info.container);
  if (info.container == container::ContainerKind::Avi) {
    j["aviType"] = info.aviType;
    j["openDml"] = info.openDml;
  }
  if (info.trailingBytes > 0) j["partialFrameBytes"] = info.trailingBytes;
  j["system"] = info.profile ? nlohmann::json(info.profile->name) : nullptr;
  j["lastFrameIndex"] = info.lastFrameIndex;
  j["frames"] = info.frames;
  j["firstRecorded"] = info.hasRecorded ? nlohmann::json(container::formatRecorded(info.firstRecorded)) : nullptr;
  j["lastRecorded"] = info.hasRecorded ? nlohmann::json(container::formatRecorded(info.lastRecorded)) : nullptr;
  j["recordingDays"] = info.recordingDays;
  j["framesWithoutDate"] = info.framesWithoutDate;
  j["framesWithoutTime"] = info.framesWithoutTime;
  j["firstTimecode"] = info.hasFirstTimecode ? nlohmann::json(container::formatTimecode(info)) : nullptr;
  return j;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("info", "Describe DV files (AVI, raw DV, QuickTime) as JSON (one object per file)");
  auto files = std::make_shared<std::vector<std::string>>();
  cmd->add_option("files", *files, "DV files")->required();
  cmd->callback([files, &exitCode]() {
    exitCode = 0;
    for (const std::string& path : *files) {
      container::FileInfo info;
      std::string message;
      if (container::readFileInfo(path, info, message) != container::InfoOutcome::Read) {
        std::cerr << path << ": " << message << "\n";
        exitCode = 1;
        continue;
      }
      std::cout << toJson(info).dump() << "\n";
    }
  });
}

}  // namespace kelo::cli

// kelo-cli info FILE...: what each DV AVI file holds, as one JSON object per file.
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "dv/VideoProfile.h"
#include "engine/FileInfo.h"

namespace kelo::cli {

namespace {

nlohmann::json toJson(const engine::FileInfo& info) {
  nlohmann::json j;
  j["path"] = info.path;
  j["aviType"] = info.aviType;
  j["openDml"] = info.openDml;
  j["system"] = info.profile ? nlohmann::json(info.profile->name) : nullptr;
  j["lastFrameIndex"] = info.lastFrameIndex;
  j["frames"] = info.frames;
  j["firstRecorded"] = info.hasRecorded ? nlohmann::json(engine::formatRecorded(info.firstRecorded)) : nullptr;
  j["lastRecorded"] = info.hasRecorded ? nlohmann::json(engine::formatRecorded(info.lastRecorded)) : nullptr;
  j["recordingDays"] = info.recordingDays;
  j["framesWithoutDate"] = info.framesWithoutDate;
  j["framesWithoutTime"] = info.framesWithoutTime;
  j["firstTimecode"] = info.hasFirstTimecode ? nlohmann::json(engine::formatTimecode(info)) : nullptr;
  return j;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("info", "Describe DV AVI files as JSON (one object per file)");
  auto files = std::make_shared<std::vector<std::string>>();
  cmd->add_option("files", *files, "DV AVI files")->required();
  cmd->callback([files, &exitCode]() {
    exitCode = 0;
    for (const std::string& path : *files) {
      engine::FileInfo info;
      std::string message;
      if (engine::readFileInfo(path, info, message) != 0) {
        std::cerr << path << ": " << message << "\n";
        exitCode = 1;
        continue;
      }
      std::cout << toJson(info).dump() << "\n";
    }
  });
}

}  // namespace kelo::cli

// kelo-cli subtitles: the texts a stamp would draw, written as a subtitle file per video instead
// of into the picture.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Common.h"
#include "engine/Subtitles.h"
#include "platform/FileSystem.h"

namespace kelo::cli {
namespace {

struct SubtitleOptions {
  std::string project;
  std::string format = "srt";
  std::string output;
  std::vector<std::string> files;
};

// "tape.avi" → "tape.srt": the video's name without its last ending.
std::string subtitleName(const std::string& input, engine::SubtitleFormat format) {
  std::string name = platform::fileNameOf(input);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name + "." + engine::subtitleExtension(format);
}

// Written beside its final name and renamed into place, so a failed write leaves no partial file.
bool writeWhole(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(text.data(), static_cast<std::streamsize>(text.size())) || !out.flush()) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

int runSubtitles(const SubtitleOptions& o) {
  settings::StampSettings s;
  if (!loadSettings(o.project, s)) return kExitUsage;
  if (!platform::isFolder(o.output)) return fail("output folder does not exist: " + o.output, kExitUsage);
  const engine::SubtitleFormat format = o.format == "vtt"   ? engine::SubtitleFormat::Vtt
                                        : o.format == "ass" ? engine::SubtitleFormat::Ass
                                                            : engine::SubtitleFormat::Srt;
  int status = kExitOk;
  std::vector<std::string> written;
  for (const std::string& input : o.files) {
    const std::string path = platform::joinPath(o.output, subtitleName(input, format));
    platform::FileIdentity a, b;
    if (platform::fileIdentity(input, a) == 0 && platform::fileIdentity(path, b) == 0 && a == b) {
      status = fail(input + ": the subtitle file would overwrite the video");
      continue;
    }
    bool clash = false;
    for (const std::string& w : written) clash = clash || w == path;
    if (clash) {
      status = fail(input + ": " + path + " was already written for an earlier file");
      continue;
    }
    engine::SubtitleTrack track;
    std::string error;
    if (!engine::buildSubtitleTrack(s, input, track, error)) {
      status = fail(input + ": " + error);
      continue;
    }
    if (!writeWhole(path, engine::formatSubtitles(track, format))) {
      status = fail("cannot write " + path + ": " + std::strerror(errno));
      continue;
    }
    written.push_back(path);
    std::cout << path << "\n";
  }
  return status;
}

}  // namespace

void addSubtitlesCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<SubtitleOptions>();
  CLI::App* cmd = app.add_subcommand(
      "subtitles", "write the date and time texts the stamp would draw as a subtitle file per video");
  cmd->add_option("--project", options->project, "project file (.zev); default settings without it");
  cmd->add_option("--format", options->format, "srt (default), vtt or ass")->check(CLI::IsMember({"srt", "vtt", "ass"}));
  cmd->add_option("--output", options->output, "folder for the subtitle files (NAME.srt for NAME.avi)")->required();
  cmd->add_option("FILE", options->files, "DV files: AVI, raw DV or QuickTime")->required();
  cmd->callback([options, &exitCode] { exitCode = runSubtitles(*options); });
}

}  // namespace kelo::cli

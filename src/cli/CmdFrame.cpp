// kelo-cli frame: one frame of a DV file (AVI, raw DV, QuickTime) decoded to a picture file.
#include <iostream>
#include <string>

#include "cli/Commands.h"
#include "cli/Common.h"
#include "engine/FrameExport.h"
#include "settings/ProjectFile.h"

namespace kelo::cli {
namespace {

struct FrameOptions {
  std::string input;
  long long index = 0;
  std::string out;
  std::string project;
  bool stamp = false;
};

int runFrame(const FrameOptions& o) {
  settings::StampSettings s;
  if (!loadSettings(o.project, s)) return kExitUsage;
  std::string message;
  if (engine::exportFrame(o.input, o.index, s, o.stamp, o.out, message) != 0) return fail(message);
  return 0;
}

}  // namespace

void addFrameCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<FrameOptions>();
  CLI::App* cmd = app.add_subcommand("frame", "decode one frame of a DV file (AVI, raw DV, QuickTime) to .png, .ppm "
                                              "or .yuv (planar)");
  cmd->add_option("file", options->input, "DV file: AVI, raw DV or QuickTime")->required();
  cmd->add_option("--index", options->index, "frame number, from 0")->check(CLI::NonNegativeNumber);
  cmd->add_option("--out", options->out, "picture file: .png, .ppm, or .yuv for the planes as decoded")->required();
  cmd->add_option("--project", options->project, "project file whose settings --stamp draws");
  cmd->add_flag("--stamp", options->stamp, "draw the codes as the preview draws them (.png and .ppm)");
  cmd->callback([options, &exitCode] { exitCode = runFrame(*options); });
}

}  // namespace kelo::cli

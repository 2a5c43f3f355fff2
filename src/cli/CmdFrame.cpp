// kelo-cli frame: one frame of a raw DV stream decoded to a picture file.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "dv/FrameCodec.h"
#include "dv/RawDvFile.h"
#include "dv/VideoProfile.h"
#include "engine/FrameExport.h"
#include "platform/Text.h"
#include "settings/ProjectFile.h"

namespace kelo::cli {
namespace {

struct FrameOptions {
  std::string input;
  long long index = 0;
  std::string out;
  std::string project;  // AVI input only
  bool stamp = false;   // AVI input only
};

bool isAvi(const std::string& path) {
  return path.size() >= 4 && (path.compare(path.size() - 4, 4, ".avi") == 0 || path.compare(path.size() - 4, 4, ".AVI") == 0);
}

int fail(const std::string& message) {
  std::cerr << "error: " << message << "\n";
  return 1;
}

int runAviFrame(const FrameOptions& o) {
  settings::StampSettings s;
  if (!o.project.empty()) {
    std::u16string message;
    if (settings::loadProjectFile(o.project, s, message) != 0) return fail(platform::toUtf8(message));
  }
  std::string error;
  if (engine::exportFrame(o.input, static_cast<int>(o.index), s, o.stamp, o.out, error) != 0) return fail(error);
  return 0;
}

int runFrame(const FrameOptions& o) {
  if (isAvi(o.input)) return runAviFrame(o);
  std::string error;
  dv::RawDvReader reader;
  if (reader.open(o.input, error) != 0) return fail(error);
  std::vector<uint8_t> frame;
  if (reader.readFrame(o.index, frame, error) != 0) return fail(error);
  // Each frame by its own header: a stream may change layout.
  const dv::VideoProfile* profile = dv::profileForFrame(frame.data(), frame.size());
  dv::Picture picture;
  if (!profile || dv::decodeFrame(frame.data(), frame.size(), *profile, picture) != 0) {
    return fail("frame " + std::to_string(o.index) + " of " + o.input + " cannot be decoded");
  }
  if (dv::writePictureFile(o.out, picture, error) != 0) return fail(error);
  return 0;
}

}  // namespace

void addFrameCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<FrameOptions>();
  CLI::App* cmd = app.add_subcommand("frame", "decode one frame of a raw DV file to .png, .ppm or .yuv (planar)");
  cmd->add_option("file", options->input, "raw DV file (frames back to back)")->required();
  cmd->add_option("--index", options->index, "frame number, from 0")->check(CLI::NonNegativeNumber);
  cmd->add_option("--out", options->out, "picture file: .png, .ppm or .yuv (.png or .ppm for AVI input)")->required();
  cmd->add_option("--project", options->project, "AVI input: project file whose settings --stamp draws");
  cmd->add_flag("--stamp", options->stamp, "AVI input: draw the codes as the preview draws them");
  cmd->callback([options, &exitCode] { exitCode = runFrame(*options); });
}

}  // namespace kelo::cli

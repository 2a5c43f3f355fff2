// kelo-cli frame: one frame of a raw DV stream decoded to a picture file.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "dv/FrameCodec.h"
#include "dv/RawDvFile.h"

namespace kelo::cli {
namespace {

struct FrameOptions {
  std::string input;
  long long index = 0;
  std::string out;
};

int fail(const std::string& message) {
  std::cerr << "error: " << message << "\n";
  return 1;
}

int runFrame(const FrameOptions& o) {
  std::string error;
  dv::RawDvReader reader;
  if (reader.open(o.input, error) != 0) return fail(error);
  std::vector<uint8_t> frame;
  if (reader.readFrame(o.index, frame, error) != 0) return fail(error);
  dv::Picture picture;
  if (dv::decodeFrame(frame.data(), frame.size(), reader.system(), picture) != 0) {
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
  cmd->add_option("--out", options->out, "picture file: .png, .ppm or .yuv")->required();
  cmd->callback([options, &exitCode] { exitCode = runFrame(*options); });
}

}  // namespace kelo::cli

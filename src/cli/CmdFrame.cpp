// kelo-cli frame: one frame of a DV file (AVI, raw DV, QuickTime) decoded to a picture file.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Common.h"
#include "container/DvSource.h"
#include "dv/FrameCodec.h"
#include "dv/FrameInfo.h"
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
  std::string project;
  bool stamp = false;
};

// The planes as decoded, without the preview's conversion.
int writePlanes(container::DvSource& source, int index, const std::string& out) {
  std::vector<uint8_t> buffer(container::kFrameBufferBytes);
  size_t length = 0;
  dv::DvFrameInfo info;
  container::MessageList log;
  if (source.readFrame(info, nullptr, buffer.data(), length, index, &log) != container::ReadOutcome::Frame) {
    if (source.refusedKind() != dv::FrameKind::Stampable)
      return fail(source.path() + ": " + container::refusedVariantMessage(source.refusedKind()));
    return fail(source.path() + ": " + log.last(container::kMsgReadFailed));
  }
  dv::Picture picture;
  const size_t offset = source.frameOffset();
  // Each frame by its own header: a file may change layout.
  const dv::VideoProfile* profile = length > offset ? dv::profileForFrame(buffer.data() + offset, length - offset) : nullptr;
  if (!profile || dv::decodeFrame(buffer.data() + offset, length - offset, *profile, picture) != 0)
    return fail("frame " + std::to_string(index) + " of " + source.path() + " cannot be decoded");
  std::string error;
  if (dv::writePictureFile(out, picture, error) != 0) return fail(error);
  return 0;
}

int runFrame(const FrameOptions& o) {
  const bool planes = endsWithNoCase(o.out, ".yuv");
  if (!planes && !endsWithNoCase(o.out, ".png") && !endsWithNoCase(o.out, ".ppm"))
    return fail("picture file " + o.out + " must end in .png, .ppm or .yuv");
  settings::StampSettings s;
  if (!loadSettings(o.project, s)) return kExitUsage;
  std::unique_ptr<container::DvSource> source;
  int error = 0;
  const container::OpenOutcome opened = container::openDvSource(o.input, source, error);
  if (opened == container::OpenOutcome::CannotOpen || opened == container::OpenOutcome::EmptyPath)
    return fail("cannot open " + o.input + ": " + std::strerror(error != 0 ? error : ENOENT));
  if (opened != container::OpenOutcome::Opened)
    return fail(o.input + ": " + container::openFailureMessage(opened, o.input, error));
  source->setRandomAccess(true);
  container::MessageList log;
  if (source->validateHeader(nullptr, &log) != container::HeaderOutcome::Valid)
    return fail(o.input + ": " + log.last(container::kMsgUnknownContainer));
  const int last = source->lastFrameIndex();
  if (o.index > last)
    return fail("frame " + std::to_string(o.index) + " is outside 0-" + std::to_string(last) + " of " + o.input);
  if (planes) return writePlanes(*source, static_cast<int>(o.index), o.out);
  source.reset();
  std::string message;
  if (engine::exportFrame(o.input, static_cast<int>(o.index), s, o.stamp, o.out, message) != 0) return fail(message);
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

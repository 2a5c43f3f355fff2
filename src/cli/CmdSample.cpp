// kelo-cli sample: a synthetic DV file (raw DV, AVI or QuickTime by the name's extension) with a
// moving test picture, silent audio and recording date, time and timecode packs, made by our own
// encoder.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Common.h"
#include "platform/FileSystem.h"
#include "dv/VideoProfile.h"
#include "dv/SampleWriter.h"
#include "container/QuickTimeWriter.h"
#include "container/SampleAvi.h"

namespace kelo::cli {
namespace {

struct SampleOptions {
  std::string output;
  std::string system = "pal";
  std::vector<std::string> scenes;
  long long frames = -1;
  int type = 2;          // AVI output only
  bool openDml = false;  // AVI output only
};

int runSample(const SampleOptions& o) {
  // pal411: 625/50 with SMPTE 314M 4:1:1 sampling.
  const dv::VideoProfile& profile = o.system == "ntsc"     ? dv::profileOf(dv::VideoSystem::k525_60)
                                    : o.system == "pal411" ? *dv::findProfile(dv::VideoSystem::k625_50, dv::ChromaFormat::k411)
                                                           : dv::profileOf(dv::VideoSystem::k625_50);
  std::vector<dv::SampleScene> scenes;
  for (const std::string& text : o.scenes) {
    dv::SampleScene scene;
    std::string error;
    if (!dv::parseSampleScene(text, scene, error)) return fail(error);
    scenes.push_back(scene);
  }
  std::string error;
  if (platform::endsWithNoCase(o.output, ".mov")) {
    if (container::writeSampleQuickTime(o.output, profile, scenes, o.frames, error) != 0) return fail(error);
    return 0;
  }
  if (platform::endsWithNoCase(o.output, ".avi")) {
    container::SampleOptions avi;
    avi.profile = &profile;
    avi.type = o.type;
    avi.openDml = o.openDml;
    avi.scenes = scenes;
    avi.frameLimit = o.frames;
    if (container::writeSampleAvi(o.output, avi, error) != 0) return fail(error);
    return 0;
  }
  if (dv::writeSampleStream(o.output, profile, scenes, o.frames, error) != 0) return fail(error);
  return 0;
}

}  // namespace

void addSampleCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<SampleOptions>();
  CLI::App* cmd = app.add_subcommand("sample", "write a synthetic DV file (moving test picture, silent audio, "
                                               "recording date/time and timecode)");
  cmd->add_option("output", options->output, "file to write: AVI when it ends in .avi, QuickTime in .mov, else raw DV")
      ->required();
  cmd->add_option("--type", options->type, "AVI type 1 (interleaved) or 2 (separate audio)")->check(CLI::IsMember({1, 2}));
  cmd->add_flag("--opendml", options->openDml, "AVI with OpenDML indexes and RIFF parts");
  cmd->add_option("--system", options->system, "pal (625/50), pal411 (625/50 4:1:1) or ntsc (525/60)")
      ->check(CLI::IsMember({"pal", "pal411", "ntsc"}));
  cmd->add_option("--scene", options->scenes,
                  "one recording: \"YYYY-MM-DD hh:mm:ss\",SECONDS (default: 2005-03-07 23:59:55, 10 s)")
      ->allow_extra_args(false);
  cmd->add_option("--frames", options->frames, "stop after this many frames (short clips for tests)")
      ->check(CLI::PositiveNumber);
  cmd->callback([options, &exitCode] { exitCode = runSample(*options); });
}

}  // namespace kelo::cli

#pragma once
// Synthetic DV AVI files for demos and tests: the codec's sample frames (moving test picture,
// silent audio, recording date, time and timecode packs) wrapped as an AVI file. Type 1 (one
// interleaved stream, frames padded to 512 bytes) or type 2 (video and PCM audio streams),
// optionally with OpenDML indexes and several RIFF parts.
#include <cstdint>
#include <string>
#include <vector>

#include "dv/SampleWriter.h"
#include "dv/VideoProfile.h"

namespace kelo::container {

using dv::SampleScene;

struct SampleOptions {
  const dv::VideoProfile* profile = &dv::profileOf(dv::VideoSystem::k625_50);
  int type = 2;          // AVI type 1 or 2
  bool openDml = false;  // super and standard indexes, RIFF-AVIX parts
  int framesPerPart = 0; // OpenDML: frames per RIFF part (0: 50, so short samples have several)
  std::vector<SampleScene> scenes;  // empty: one 10 s scene from 2005-03-07 23:59:55
  int64_t frameLimit = -1;          // stop after this many frames (not negative)
};

// Writes the file; 0 on success, else an errno value with `error` saying what failed.
int writeSampleAvi(const std::string& path, const SampleOptions& options, std::string& error);

}  // namespace kelo::container

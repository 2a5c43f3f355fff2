#pragma once
// Synthetic DV AVI files for demos and tests: a moving test picture made by our own encoder,
// silent audio, and subcode with recording date, time and timecode packs. Type 1 (one
// interleaved stream, frames padded to 512 bytes) or type 2 (video and PCM audio streams),
// optionally with OpenDML indexes and several RIFF parts.
#include <cstdint>
#include <string>
#include <vector>

namespace kelo::engine {

// One recording: its start date and time and its length.
struct SampleScene {
  int year = 2005, month = 3, day = 7;
  int hour = 23, minute = 59, second = 55;
  int seconds = 10;
};

struct SampleOptions {
  int system = 2;        // 1 = 525/60, 2 = 625/50
  int type = 2;          // AVI type 1 or 2
  bool openDml = false;  // super and standard indexes, RIFF-AVIX parts
  int framesPerPart = 0; // OpenDML: frames per RIFF part (0: 50, so short samples have several)
  std::vector<SampleScene> scenes;  // empty: one 10 s scene from 2005-03-07 23:59:55
};

// Parses "YYYY-MM-DD hh:mm:ss,SECONDS"; false when it is not that.
bool parseSampleScene(const std::string& text, SampleScene& scene);

// Writes the file; 0 on success, else an errno value with `error` saying what failed.
int writeSampleAvi(const std::string& path, const SampleOptions& options, std::string& error);

}  // namespace kelo::engine

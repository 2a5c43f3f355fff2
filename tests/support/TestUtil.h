#pragma once
// Helpers shared by the tests: temporary folders, whole-file reads, checksums, and running the
// peers (FFmpeg, dvgrab, MediaInfo, kelo-cli) as separate programs.
#include <cstdint>
#include <string>
#include <vector>

#include "dv/VideoProfile.h"

namespace kelo::test {

// The three layouts Kelo stamps.
inline const dv::VideoProfile& ntscProfile() { return dv::profileOf(dv::VideoSystem::k525_60); }
inline const dv::VideoProfile& palProfile() { return dv::profileOf(dv::VideoSystem::k625_50); }
inline const dv::VideoProfile& pal411Profile() {
  return *dv::findProfile(dv::VideoSystem::k625_50, dv::ChromaFormat::k411);
}
// FFmpeg's names of a profile's picture: size, rate and pixel format.
inline std::string ffmpegSize(const dv::VideoProfile& p) {
  return std::to_string(p.width) + "x" + std::to_string(p.height);
}
inline std::string ffmpegRate(const dv::VideoProfile& p) {
  return std::to_string(p.rateNumerator) + "/" + std::to_string(p.rateDenominator);
}
inline std::string ffmpegPixelFormat(const dv::VideoProfile& p) {
  return p.chroma == dv::ChromaFormat::k411 ? "yuv411p" : "yuv420p";
}

// A fresh folder under /tmp, removed with everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct CommandResult {
  int exitCode = -1;   // the program's exit status, or -1 when it could not run or was killed
  std::string output;  // standard output and standard error together
};

// Runs a shell command line and collects everything it prints.
CommandResult runCommand(const std::string& commandLine);
// True when the program is on PATH (peers are installed by ./kelo.sh setup).
bool haveProgram(const std::string& name);
// Path of kelo-cli (from the KELO_CLI environment variable that CTest sets).
std::string keloCli();
// Quotes a path for a shell command line.
std::string shellQuote(const std::string& s);

std::vector<uint8_t> readFile(const std::string& path);
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
// Names in a folder (no "." or ".."), sorted; empty when it cannot be read.
std::vector<std::string> listDir(const std::string& folder);
// SHA-256 of a file as hex (via sha256sum), "" when it cannot be read.
std::string sha256File(const std::string& path);

// A 3 s DV AVI sample that kelo-cli reads, recorded from `start` ("YYYY-MM-DD hh:mm:ss"):
// kelo-cli's own, or else one made by FFmpeg (which writes the recording date and time packs from
// creation_time). Returns `path`, or "" when neither works.
// Wraps the raw DV file `dv` into "<prefix>001.avi" with dvgrab ("-format <format>", e.g. "dv2" or
// "dv1 -opendml"; "raw" writes "<prefix>001.dv", "qt" "<prefix>001.mov"). Under load dvgrab now and then fails to exit at the end of its input, or meets
// that end early and writes no frame or only the last one; such runs are repeated (three tries).
// A run counts when dvgrab reports at least `minFrames` frames written. Returns the file, or ""
// when no try succeeded; `log` gets dvgrab's last output either way.
std::string rewrapWithDvgrab(const std::string& dv, const std::string& format, const std::string& prefix,
                             int minFrames, std::string* log = nullptr);

std::string makeSampleAvi(const std::string& path, const std::string& start, bool pal);

}  // namespace kelo::test

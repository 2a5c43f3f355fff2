#include "support/TestUtil.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace kelo::test {

TempDir::TempDir() {
  char tmpl[] = "/tmp/kelo-test-XXXXXX";
  const char* made = ::mkdtemp(tmpl);
  path_ = made ? made : "/tmp";
}

TempDir::~TempDir() {
  std::error_code ec;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

CommandResult runCommand(const std::string& commandLine) {
  CommandResult result;
  std::string full = commandLine + " 2>&1";
  FILE* pipe = ::popen(full.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) result.output.append(buf.data(), n);
  int status = ::pclose(pipe);
  result.exitCode = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  return result;
}

bool haveProgram(const std::string& name) {
  return runCommand("command -v " + shellQuote(name) + " >/dev/null").exitCode == 0;
}

std::string keloCli() {
  const char* p = std::getenv("KELO_CLI");
  return p ? p : "kelo-cli";
}

std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

std::vector<std::string> listDir(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string sha256File(const std::string& path) {
  CommandResult r = runCommand("sha256sum " + shellQuote(path));
  if (r.exitCode != 0 || r.output.size() < 64) return "";
  return r.output.substr(0, 64);
}

std::string rewrapWithDvgrab(const std::string& dv, const std::string& format, const std::string& prefix,
                             int minFrames, std::string* log) {
  // dvgrab names its file by the format: raw DV, QuickTime or AVI.
  const std::string file = prefix + "001" +
                           (format.rfind("raw", 0) == 0 ? ".dv" : format.rfind("qt", 0) == 0 ? ".mov" : ".avi");
  const std::string folder = std::filesystem::path(prefix).parent_path().string();
  CommandResult r;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    r = runCommand("cd " + shellQuote(folder.empty() ? "." : folder) + " && timeout -k 5 20 dvgrab -input " +
                   shellQuote(dv) + " -format " + format + " -size 0 " + shellQuote(prefix) + " </dev/null");
    if (log) *log = r.output;
    // Its last progress line ends in "<n> frames".
    int frames = -1;
    for (size_t at = r.output.find(" frames"); at != std::string::npos; at = r.output.find(" frames", at + 1)) {
      size_t start = at;
      while (start > 0 && std::isdigit(static_cast<unsigned char>(r.output[start - 1]))) --start;
      if (start < at) frames = std::stoi(r.output.substr(start, at - start));
    }
    const bool counted = frames >= minFrames;
    const auto size = std::filesystem::file_size(file, ec);  // (uintmax_t)-1 when missing
    if (r.exitCode == 0 && counted && !ec && size > 0)
      return file;
  }
  return {};
}

std::string makeSampleAvi(const std::string& path, const std::string& start, bool pal) {
  const std::string cli = shellQuote(keloCli());
  const std::string out = shellQuote(path);
  auto readable = [&] {
    const CommandResult info = runCommand(cli + " info " + out);
    return info.exitCode == 0 && info.output.find("\"frames\"") != std::string::npos;
  };
  if (runCommand(cli + " sample " + out + (pal ? " --system pal" : " --system ntsc") + " --scene '" + start + ",3'")
              .exitCode == 0 &&
      readable())
    return path;
  if (!haveProgram("ffmpeg") || start.size() < 11) return {};
  std::string stamp = start;
  stamp[10] = 'T';
  const std::string dv = shellQuote(path + ".dv");
  const std::string size = pal ? "720x576:rate=25" : "720x480:rate=30000/1001";
  runCommand("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=" + size + " -t 3 -c:v dvvideo -pix_fmt " +
             (pal ? "yuv420p" : "yuv411p") + " -metadata creation_time=" + stamp + "Z -f dv " + dv +
             " && ffmpeg -loglevel error -y -i " + dv + " -c copy " + out);
  return readable() ? path : std::string();
}

}  // namespace kelo::test

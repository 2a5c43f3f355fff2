#include "support/TestUtil.h"

#include <array>
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

}  // namespace kelo::test

#include "cli/Common.h"

#include <cctype>
#include <cstring>
#include <iostream>

#include "kelo/Version.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "settings/ProjectFile.h"

namespace kelo::cli {

int fail(const std::string& message, int status) {
  std::cerr << "error: " << message << "\n";
  return status;
}

bool loadSettings(const std::string& project, settings::StampSettings& settings) {
  settings = settings::StampSettings{};
  if (project.empty()) return true;
  std::u16string message;
  if (settings::loadProjectFile(project, settings, message) == 0) return true;
  fail(platform::toUtf8(message));
  return false;
}

namespace {

bool endsWith(const std::string& path, const char* ending) {
  const size_t n = std::strlen(ending);
  if (path.size() < n) return false;
  for (size_t k = 0; k < n; ++k)
    if (std::tolower(static_cast<unsigned char>(path[path.size() - n + k])) != ending[k]) return false;
  return true;
}

}  // namespace

Container containerOf(const std::string& path) {
  platform::File file;
  uint8_t head[12] = {};
  size_t got = 0;
  if (file.openRead(path) == 0 && file.readAt(0, head, sizeof head, got) == 0 && got == sizeof head) {
    if (std::memcmp(head, "RIFF", 4) == 0) return Container::Avi;
    for (const char* box : {"ftyp", "moov", "mdat", "wide", "free", "skip"})
      if (std::memcmp(head + 4, box, 4) == 0) return Container::QuickTime;
    // A DIF header block: section type 0, DIF sequence 0, block 0.
    if ((head[0] & 0xE0) == 0 && (head[1] & 0xF0) == 0 && head[2] == 0) return Container::RawDv;
    return Container::Unknown;
  }
  if (endsWith(path, ".avi")) return Container::Avi;
  if (endsWith(path, ".dv") || endsWith(path, ".dif")) return Container::RawDv;
  if (endsWith(path, ".mov") || endsWith(path, ".qt")) return Container::QuickTime;
  return Container::Unknown;
}

const char* containerName(Container container) {
  switch (container) {
    case Container::Avi: return "avi";
    case Container::RawDv: return "dv";
    case Container::QuickTime: return "mov";
    case Container::Unknown: return nullptr;
  }
  return nullptr;
}

std::string versionText(const std::string& program) {
  std::string text = program + " " + kVersion;
  if (kGitRevision[0] != '\0') text += std::string(" (") + kGitRevision + ")";
  return text;
}

}  // namespace kelo::cli

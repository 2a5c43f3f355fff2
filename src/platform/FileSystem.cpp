#include "platform/FileSystem.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kelo::platform {
namespace {

std::string envOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : fallback;
}

}  // namespace

std::string configFolder() {
  if (const char* w = std::getenv("WINDIR"); w && *w) return w;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return joinPath(x, "kelo");
  return joinPath(joinPath(envOr("HOME", "/tmp"), ".config"), "kelo");
}

std::string tempFolder() { return envOr("TEMP", envOr("TMPDIR", "/tmp")); }

int makeFolders(const std::string& path) {
  if (path.empty()) return EINVAL;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find(kSeparator, pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return errno;
  }
  return isFolder(path) ? 0 : ENOTDIR;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == kSeparator) return folder + name;
  return folder + kSeparator + name;
}

std::string fileNameOf(const std::string& path) {
  size_t cut = path.rfind(kSeparator);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool endsWithNoCase(const std::string& path, const char* ending) {
  const size_t n = std::strlen(ending);
  if (path.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ending[i]) return false;
  return true;
}

std::string folderOf(const std::string& path) {
  size_t cut = path.rfind(kSeparator);
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool pathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int freeBytes(const std::string& path, uint64_t& bytes) {
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) != 0) return errno;
  bytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  return 0;
}

int fileIdentity(const std::string& path, FileIdentity& id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  return 0;
}

int setModificationTime(int fd, std::time_t when) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = when;
  times[1].tv_nsec = 0;
  return ::futimens(fd, times) == 0 ? 0 : errno;
}

int renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without RENAME_NOREPLACE: link refuses an existing target just the same.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) return errno;
  return 0;
}

int renameReplacing(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

size_t nameMaxOf(const std::string& folder) {
  const long max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return max > 0 ? static_cast<size_t>(max) : 255;
}

std::string linkTarget(const std::string& path) {
  std::string current = path;
  // A bounded walk: a loop of links ends here and the last name is used (the write then fails).
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return current;
    target.resize(static_cast<size_t>(n));
    current = (!target.empty() && target.front() == kSeparator) ? target : joinPath(folderOf(current), target);
  }
  return current;
}

int replaceFileContent(const std::string& path, const void* bytes, size_t count) {
  const std::string target = linkTarget(path);
  // A fresh name of our own beside the target; created with the mode every new file gets here
  // (the umask applies), then given the old file's bits when there is one.
  static std::atomic<unsigned> counter{0};
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = target + ".kelo-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;
  int err = 0;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0) err = errno;
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (size_t done = 0; err == 0 && done < count;) {
    const ssize_t w = ::write(fd, p + done, count - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) err = w < 0 ? errno : ENOSPC;
    else done += static_cast<size_t>(w);
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) ::unlink(temporary.c_str());
  return err;
}

int removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

namespace {
constexpr const char* kScratchAttribute = "user.kelo.scratch";
}  // namespace

int createMarkedFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  // Without extended attributes the file stays unmarked: it is then never taken for a leftover.
  ::fsetxattr(fd, kScratchAttribute, "1", 1, 0);
  ::close(fd);
  return 0;
}

bool hasScratchMark(const std::string& path) { return ::getxattr(path.c_str(), kScratchAttribute, nullptr, 0) >= 0; }

void removeScratchMark(const std::string& path) { ::removexattr(path.c_str(), kScratchAttribute); }

}  // namespace kelo::platform

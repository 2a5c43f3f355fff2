#pragma once
// File-system services over POSIX: folders, names, free space, identities, times and renames.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace kelo::platform {

// Folder of the configuration file: WINDIR when set, else $XDG_CONFIG_HOME/kelo, else
// ~/.config/kelo. Not created here.
std::string configFolder();
// Folder of the run log file: TEMP, else TMPDIR, else /tmp.
std::string tempFolder();
// Creates a folder and its parents; 0 or errno.
int makeFolders(const std::string& path);

// Joins with the native separator; the "last backslash" rules of the design cut at this one.
constexpr char kSeparator = '/';
std::string joinPath(const std::string& folder, const std::string& name);
std::string fileNameOf(const std::string& path);
std::string folderOf(const std::string& path);
// True when `path` ends in `ending` (a lower-case literal such as ".mov"), in any case.
bool endsWithNoCase(const std::string& path, const char* ending);

bool fileExists(const std::string& path);
// True when anything is at `path`, a dangling symbolic link included (which a rename that never
// replaces finds in its way just the same).
bool pathExists(const std::string& path);
bool isFolder(const std::string& path);
// Bytes available to the caller on the file system that holds `path`; 0 or errno.
int freeBytes(const std::string& path, uint64_t& bytes);

// Identity of a file (device and inode), so that links and case variants compare equal.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};
// 0 or errno (ENOENT when the file does not exist).
int fileIdentity(const std::string& path, FileIdentity& id);

// Sets the modification time (access time left alone); 0 or errno.
int setModificationTime(int fd, std::time_t when);
// Renames without ever replacing an existing file: EEXIST when `to` exists.
int renameNoReplace(const std::string& from, const std::string& to);
// Renames over an existing file in one step; 0 or errno.
int renameReplacing(const std::string& from, const std::string& to);
// Longest file name, in bytes, the file system that holds `folder` takes (255 when unknown).
size_t nameMaxOf(const std::string& folder);
// The file a path finally names: symbolic links followed (also a link whose target does not
// exist yet); the path itself when it is no link.
std::string linkTarget(const std::string& path);
// Replaces the content of `path` in one step: the bytes go to a new file beside it, which is
// synced and renamed over it, so a failed write leaves the old file as it was. A symbolic link is
// written through to its target and stays a link; an existing file keeps its permission bits.
// 0 or errno.
int replaceFileContent(const std::string& path, const void* bytes, size_t count);
// 0 or errno.
int removeFile(const std::string& path);

// Files this program creates as scratch (temporary outputs) carry a mark in an extended
// attribute, so that a leftover of a stopped run can be told from a user's file of the same name.
// Creates `path` exclusively (EEXIST when it exists) and marks it where the file system keeps
// extended attributes; 0 or errno.
int createMarkedFile(const std::string& path);
bool hasScratchMark(const std::string& path);
// Takes the mark off: the file is no scratch any more (a finished output).
void removeScratchMark(const std::string& path);

}  // namespace kelo::platform

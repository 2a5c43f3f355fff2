#pragma once
// POSIX file handle with 64-bit offsets. Results are 0 or an errno value; nothing throws.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kelo::platform {

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens for reading and takes a shared lock (writers of the same file are kept out).
  int openRead(const std::string& path);
  // Opens for writing, "not shared": an exclusive lock taken without waiting; EWOULDBLOCK when
  // another program holds the file. The file is truncated only once the lock is held, and only
  // when it is still the file that `path` names.
  int openWrite(const std::string& path);

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Reads up to n bytes; `got` receives the count (less than n only at the end of the file).
  int read(void* buf, size_t n, size_t& got);
  int readAt(int64_t offset, void* buf, size_t n, size_t& got);
  // `firstCount` bytes at `offset` into `first` and the `secondCount` behind them into `second`,
  // in one system call where the kernel gives them all; `got` counts both.
  int readAt(int64_t offset, void* first, size_t firstCount, void* second, size_t secondCount, size_t& got);
  // Writes all n bytes or fails; a write that makes no progress is ENOSPC.
  int writeAll(const void* buf, size_t n);
  // Writes both pieces, one after the other, in as few system calls as the kernel takes them.
  int writeAll(const void* first, size_t firstCount, const void* second, size_t secondCount);
  // Waits until the written data is on the disk (fdatasync): 0, or the error of a failed write-back.
  int syncData();
  int seek(int64_t offset);
  int64_t position() const;
  int size(int64_t& bytes) const;
  // Closes and reports the error of close itself (delayed write errors surface here).
  int close();

 private:
  int fd_ = -1;
};

}  // namespace kelo::platform

#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace kelo::platform {

File::~File() { close(); }

File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int File::openRead(const std::string& path) {
  close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    return EWOULDBLOCK;
  }
  fd_ = fd;
  return 0;
}

int File::openWrite(const std::string& path) {
  close();
  // The name can be renamed or removed between open and lock by the program that held the file
  // (a finished output takes its final name): a lock on that file is not a lock on this name, so
  // open again until the locked file is the one the name refers to.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int err = errno;
      ::close(fd);
      return err;
    }
    struct stat opened {}, named {};
    if (::fstat(fd, &opened) != 0 || ::stat(path.c_str(), &named) != 0 || opened.st_dev != named.st_dev ||
        opened.st_ino != named.st_ino) {
      ::close(fd);
      continue;
    }
    if (::ftruncate(fd, 0) != 0) {
      int err = errno;
      ::close(fd);
      return err;
    }
    fd_ = fd;
    return 0;
  }
  return EWOULDBLOCK;
}

int File::read(void* buf, size_t n, size_t& got) {
  got = 0;
  auto* p = static_cast<unsigned char*>(buf);
  while (got < n) {
    ssize_t r = ::read(fd_, p + got, n - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return 0;
}

int File::readAt(int64_t offset, void* buf, size_t n, size_t& got) {
  got = 0;
  auto* p = static_cast<unsigned char*>(buf);
  while (got < n) {
    ssize_t r = ::pread(fd_, p + got, n - got, static_cast<off_t>(offset + static_cast<int64_t>(got)));
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return 0;
}

namespace {

// Moves the pieces past `done` bytes that a vectored call transferred; the pieces left are returned.
int advance(iovec*& part, int left, size_t done) {
  while (left > 0 && done >= part->iov_len) {
    done -= part->iov_len;
    ++part;
    --left;
  }
  if (left > 0) {
    part->iov_base = static_cast<unsigned char*>(part->iov_base) + done;
    part->iov_len -= done;
  }
  return left;
}

}  // namespace

int File::readAt(int64_t offset, void* first, size_t firstCount, void* second, size_t secondCount, size_t& got) {
  got = 0;
  iovec parts[2] = {{first, firstCount}, {second, secondCount}};
  iovec* part = parts;
  int left = advance(part, 2, 0);
  while (left > 0) {
    ssize_t r = ::preadv(fd_, part, left, static_cast<off_t>(offset + static_cast<int64_t>(got)));
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
    left = advance(part, left, static_cast<size_t>(r));
  }
  return 0;
}

int File::writeAll(const void* buf, size_t n) {
  auto* p = static_cast<const unsigned char*>(buf);
  size_t done = 0;
  while (done < n) {
    ssize_t w = ::write(fd_, p + done, n - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (w == 0) return ENOSPC;
    done += static_cast<size_t>(w);
  }
  return 0;
}

int File::writeAll(const void* first, size_t firstCount, const void* second, size_t secondCount) {
  iovec parts[2] = {{const_cast<void*>(first), firstCount}, {const_cast<void*>(second), secondCount}};
  iovec* part = parts;
  int left = advance(part, 2, 0);
  while (left > 0) {
    ssize_t w = ::writev(fd_, part, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (w == 0) return ENOSPC;
    left = advance(part, left, static_cast<size_t>(w));
  }
  return 0;
}

int File::syncData() {
  while (::fdatasync(fd_) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int File::seek(int64_t offset) {
  return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0 ? errno : 0;
}

int64_t File::position() const { return ::lseek(fd_, 0, SEEK_CUR); }

int File::size(int64_t& bytes) const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return errno;
  bytes = st.st_size;
  return 0;
}

int File::close() {
  if (fd_ < 0) return 0;
  int r = ::close(fd_);
  fd_ = -1;
  return r == 0 ? 0 : errno;
}

}  // namespace kelo::platform

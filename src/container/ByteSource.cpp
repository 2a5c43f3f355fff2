#include "container/ByteSource.h"

#include <cstring>

namespace kelo::container {

bool MemoryByteSource::readAt(int64_t offset, uint8_t* dst, size_t n) {
  if (offset < 0 || static_cast<uint64_t>(offset) > size_ || n > size_ - static_cast<size_t>(offset)) return false;
  if (n) std::memcpy(dst, data_ + offset, n);
  return true;
}

int FileByteSource::open(const std::string& path) {
  size_ = 0;
  if (int rc = file_.openRead(path)) return rc;
  return file_.size(size_);
}

bool FileByteSource::readAt(int64_t offset, uint8_t* dst, size_t n) {
  if (!file_.isOpen() || offset < 0) return false;
  size_t got = 0;
  return file_.readAt(offset, dst, n, got) == 0 && got == n;
}

bool FileByteSource::readPairAt(int64_t offset, uint8_t* first, size_t firstCount, uint8_t* second,
                                size_t secondCount) {
  if (!file_.isOpen() || offset < 0) return false;
  size_t got = 0;
  return file_.readAt(offset, first, firstCount, second, secondCount, got) == 0 && got == firstCount + secondCount;
}

}  // namespace kelo::container

#pragma once
// Bytes at a given offset of something with a known size: a file for the real readers, a block of
// memory for fuzz targets and tests. Readers check offsets against size() before they read, so a
// failed read means the device failed, not that the bytes were missing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/File.h"

namespace kelo::container {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int64_t size() const = 0;
  // Exactly `n` bytes at `offset` into `dst`; false when they could not all be read.
  virtual bool readAt(int64_t offset, uint8_t* dst, size_t n) = 0;
  // `firstCount` bytes at `offset` into `first` and the `secondCount` behind them into `second`.
  virtual bool readPairAt(int64_t offset, uint8_t* first, size_t firstCount, uint8_t* second, size_t secondCount) {
    return readAt(offset, first, firstCount) &&
           readAt(offset + static_cast<int64_t>(firstCount), second, secondCount);
  }
};

class MemoryByteSource final : public ByteSource {
 public:
  MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int64_t size() const override { return static_cast<int64_t>(size_); }
  bool readAt(int64_t offset, uint8_t* dst, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Reads a file under a shared lock; the size is taken when it is opened.
class FileByteSource final : public ByteSource {
 public:
  // 0 or an errno value.
  int open(const std::string& path);
  int64_t size() const override { return size_; }
  bool readAt(int64_t offset, uint8_t* dst, size_t n) override;
  // One system call for both.
  bool readPairAt(int64_t offset, uint8_t* first, size_t firstCount, uint8_t* second, size_t secondCount) override;

 private:
  platform::File file_;
  int64_t size_ = 0;
};

}  // namespace kelo::container

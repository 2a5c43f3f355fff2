#pragma once
// A write layer for tests: writes through the real file system until `limit` bytes, then fails
// with a full disk.
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "container/StampedFileWriter.h"

namespace kelo::test {

class FillingLayer final : public container::WriteLayer {
 public:
  explicit FillingLayer(uint64_t limit) : real_(container::makeFileWriteLayer()), left_(limit) {}
  int open(const std::string& path) override { return real_->open(path); }
  int write(const void* data, size_t count) override {
    if (count > left_) return ENOSPC;
    left_ -= count;
    return real_->write(data, count);
  }
  int setModificationTime(std::time_t when) override { return real_->setModificationTime(when); }
  int close() override { return real_->close(); }
  int remove(const std::string& path) override { return real_->remove(path); }

 private:
  std::unique_ptr<container::WriteLayer> real_;
  uint64_t left_;
};

}  // namespace kelo::test

#pragma once
// The checks every container fuzz target runs on a frame source over bytes in memory: a sequential
// pass with a copy must reproduce the input byte for byte, frames stay inside the frame buffer,
// and random access (the preview) ends without crash or hang. Any failure aborts.
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "container/DvSource.h"
#include "container/StampedFileWriter.h"
#include "dv/FrameInfo.h"

namespace kelo::fuzz {

class MemoryLayer final : public container::WriteLayer {
 public:
  explicit MemoryLayer(std::vector<uint8_t>& out) : out_(out) {}
  int open(const std::string&) override { return 0; }
  int write(const void* data, size_t n) override {
    out_.insert(out_.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + n);
    return 0;
  }
  int setModificationTime(std::time_t) override { return 0; }
  int close() override { return 0; }
  int remove(const std::string&) override { return 0; }

 private:
  std::vector<uint8_t>& out_;
};

// `source` is attached to the bytes of `file`.
// Buffers live from one input to the next, and one source serves both passes; the targets keep
// their sources too and attach each input anew (as a pass reopening a source does): fresh large
// blocks for every input would cost more page faults than the reading itself.
inline void checkSource(const std::vector<uint8_t>& file, container::DvSource& source) {
  static std::vector<uint8_t> buffer(container::kFrameBufferBytes);
  static std::vector<uint8_t> copy;
  static container::StampedFileWriter writer(std::make_unique<MemoryLayer>(copy));
  container::MessageList log;
  source.setRandomAccess(false);
  copy.clear();
  if (writer.open("memory") == 0 && source.validateHeader(&writer, &log) == container::HeaderOutcome::Valid) {
    dv::DvFrameInfo info;
    size_t length = 0;
    container::ReadOutcome r;
    int i = 0;
    while ((r = source.readFrame(info, &writer, buffer.data(), length, i++, &log)) == container::ReadOutcome::Frame) {
      if (length <= source.frameOffset() || length > container::kFrameBufferBytes) std::abort();
      writer.write(buffer.data(), length);
    }
    if (r != container::ReadOutcome::End) std::abort();  // memory never fails to read or write
    writer.write(buffer.data(), length);
    if (source.copyRemainder(writer) != container::CopyOutcome::Copied) std::abort();
    writer.close();
    if (copy != file) std::abort();
  }
  writer.close();
  source.setRandomAccess(true);
  if (source.validateHeader(nullptr, &log) == container::HeaderOutcome::Valid) {
    dv::DvFrameInfo info;
    size_t length = 0;
    for (int n : {3, 0, 1, 70, 2, source.lastFrameIndex()}) {
      if (source.readFrame(info, nullptr, buffer.data(), length, n, &log) == container::ReadOutcome::Frame &&
          (length <= source.frameOffset() || length > container::kFrameBufferBytes))
        std::abort();
    }
  }
}

}  // namespace kelo::fuzz

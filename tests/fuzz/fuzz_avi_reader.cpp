// Fuzz target for the DV AVI reader, fed from memory: arbitrary files, sequential scan with copy
// and random access.
// The input drives a small file builder (chunks of a movie list with sizes and ids chosen by the
// fuzzer, frames that start with a DIF header, raw bytes anywhere), so that files are large enough
// to reach the frame scan. Checks: no crash or hang, and the sequential copy reproduces the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "container/DvAviReader.h"
#include "container/RiffChunks.h"
#include "fuzz/SourceCheck.h"

namespace {

using namespace kelo::container;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t u16() { return static_cast<uint32_t>(byte()) | (static_cast<uint32_t>(byte()) << 8); }
  uint32_t u32() { return u16() | (u16() << 16); }
  size_t take(size_t n, std::vector<uint8_t>& out) {
    n = std::min(n, size_ - std::min(at_, size_));
    out.insert(out.end(), data_ + at_, data_ + at_ + n);
    at_ += n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

void put(std::vector<uint8_t>& f, const char* id) { f.insert(f.end(), id, id + 4); }
void put32(std::vector<uint8_t>& f, uint32_t v) {
  uint8_t b[4];
  writeLe32(b, v);
  f.insert(f.end(), b, b + 4);
}

const std::vector<uint8_t>& build(const uint8_t* data, size_t size) {
  Input in(data, size);
  static std::vector<uint8_t> f;  // kept from input to input (see SourceCheck.h)
  f.clear();
  const uint8_t mode = in.byte();
  if (mode < 16) {  // the bytes as they are, padded to the header read
    in.take(size, f);
    if (mode & 1) f.resize(std::max(f.size(), kHeaderBytes + (mode & 2 ? 512u : 0u)), 0);
    return f;
  }
  const bool typeII = mode & 1;
  const bool pal = mode & 2;
  const char* videoId = typeII ? (mode & 4 ? "00db" : "00dc") : "00__";
  const size_t frameBytes = pal ? 144000 : 120000;
  put(f, "RIFF");
  put32(f, 0);
  put(f, "AVI ");
  put(f, "LIST");
  put32(f, 200);
  put(f, "hdrl");
  put(f, "strh");
  put32(f, 56);
  put(f, typeII ? "vids" : "iavs");
  put(f, mode & 8 ? "dsvd" : "dvsd");
  f.resize(f.size() + 24, 0);
  put32(f, in.u16());  // dwLength
  f.resize(f.size() + 20, 0);
  if (mode & 16) in.take(in.byte(), f);  // fuzzed header bytes (a super index, say)
  put(f, "LIST");
  put32(f, in.u32());
  put(f, "movi");
  while (!in.empty() && f.size() < (2u << 20)) {
    const uint8_t op = in.byte();
    switch (op % 8) {
      case 0:
      case 1: {  // a frame: DIF header block, the rest zero or fuzzed
        put(f, videoId);
        put32(f, static_cast<uint32_t>(frameBytes));
        const size_t start = f.size();
        f.resize(start + frameBytes, 0);
        f[start] = 0x1F;
        f[start + 3] = pal ? 0x80 : 0x00;
        std::vector<uint8_t> patch;
        in.take(op / 8, patch);
        const size_t where = start + (in.u32() % frameBytes);
        for (size_t i = 0; i < patch.size() && where + i < f.size(); ++i) f[where + i] = patch[i];
        break;
      }
      case 2: {  // audio
        const uint32_t n = in.u16();
        put(f, "01wb");
        put32(f, n);
        f.resize(f.size() + n + (n & 1), 0);
        break;
      }
      case 3: {  // JUNK of any size, odd ones padded
        const uint32_t n = in.byte() * 3u;
        put(f, "JUNK");
        put32(f, n);
        f.resize(f.size() + n + (n & 1), 0);
        break;
      }
      case 4: {  // a standard index with a fuzzed size and chunk id
        put(f, op & 8 ? "ix00" : "ix01");
        put32(f, in.u32());
        f.resize(f.size() + 8, 0);
        put(f, op & 16 ? videoId : "01wb");
        in.take(in.byte(), f);
        break;
      }
      case 5: {  // idx1 with fuzzed entries
        put(f, "idx1");
        put32(f, in.u32());
        in.take(in.byte(), f);
        break;
      }
      case 6:  // raw bytes
        in.take(in.byte(), f);
        break;
      case 7:  // cut the file here (a truncated chunk)
        f.resize(f.size() - std::min<size_t>(f.size() - 12, in.u32() % 200000));
        break;
    }
  }
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t>& file = build(data, size);
  static DvAviReader reader;
  reader.attach(std::make_unique<MemoryByteSource>(file.data(), file.size()), "memory.avi");
  kelo::fuzz::checkSource(file, reader);
  return 0;
}

// Fuzz target for the QuickTime box reader, fed from memory. Either the input is the file itself,
// or it drives a small builder of movie boxes (tracks with chosen sample descriptions, sample
// tables with fuzzed counts and entries, media data as a zero-filled tail that costs no memory)
// whose bytes the input then flips, so that the table checks are reached and not only the box walk.
// Checks: no crash, hang or large allocation; an accepted index lists samples in order, apart and
// inside the file; messages are single lines.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "container/ByteOrder.h"
#include "container/QuickTimeIndex.h"

namespace {

using namespace kelo::container;

// The input's bytes followed by `tail` zero bytes.
class TailSource final : public ByteSource {
 public:
  TailSource(const std::vector<uint8_t>& bytes, int64_t tail) : bytes_(bytes), tail_(tail) {}
  int64_t size() const override { return static_cast<int64_t>(bytes_.size()) + tail_; }
  bool readAt(int64_t offset, uint8_t* dst, size_t n) override {
    if (offset < 0 || offset > size() || static_cast<int64_t>(n) > size() - offset) return false;
    for (size_t i = 0; i < n; ++i) {
      const uint64_t at = static_cast<uint64_t>(offset) + i;
      dst[i] = at < bytes_.size() ? bytes_[at] : 0;
    }
    return true;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  int64_t tail_;
};

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t u16() { return (static_cast<uint32_t>(byte()) << 8) | byte(); }
  uint32_t u32() { return (u16() << 16) | u16(); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

struct Boxes {
  std::vector<uint8_t> v;
  void u32(uint32_t x) {
    uint8_t b[4];
    writeBe32(b, x);
    v.insert(v.end(), b, b + 4);
  }
  void u64(uint64_t x) { u32(static_cast<uint32_t>(x >> 32)), u32(static_cast<uint32_t>(x)); }
  void id(const char* f) { v.insert(v.end(), f, f + 4); }
  size_t open(const char* type) {
    const size_t at = v.size();
    u32(0);
    id(type);
    return at;
  }
  void close(size_t at) { writeBe32(v.data() + at, static_cast<uint32_t>(v.size() - at)); }
};

const char* const kEntries[] = {"dvc ", "dvcp", "dvpp", "dv5p", "dvh1", "twos", "avc1", "dv5n"};

// Offsets land near frame boundaries of the media data most of the time.
uint64_t chunkOffset(Input& in, uint64_t mdatPayload) {
  const uint32_t r = in.u16();
  if (r & 0x8000) return in.u32();
  return mdatPayload + (r & 0xFF) * 120000ull + ((r >> 8) & 0x7) * 24000ull;
}

void track(Boxes& b, Input& in, uint64_t mdatPayload) {
  const size_t trak = b.open("trak");
  const size_t tkhd = b.open("tkhd");
  for (int i = 0; i < 5; ++i) b.u32(in.byte() < 8 ? 1u << 24 : 7);
  b.close(tkhd);
  const size_t mdia = b.open("mdia");
  const size_t mdhd = b.open("mdhd");
  for (int i = 0; i < 5; ++i) b.u32(in.byte());
  b.close(mdhd);
  const size_t minf = b.open("minf");
  const uint8_t refs = in.byte();
  if (refs & 0x80) {  // data references: this file or another
    const size_t dinf = b.open("dinf");
    const size_t dref = b.open("dref");
    b.u32(0);
    b.u32(refs & 3);
    for (uint32_t i = 0; i < (refs & 3u); ++i) {
      const size_t e = b.open(refs & 4 ? "url " : "alis");
      b.u32(in.byte() & 1);
      b.close(e);
    }
    b.close(dref);
    b.close(dinf);
  }
  const size_t stbl = b.open("stbl");

  const size_t stsd = b.open("stsd");
  b.u32(0);
  const uint32_t entries = in.byte() % 4;
  b.u32(entries);
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t e = b.open(kEntries[in.byte() % 8]);
    b.v.resize(b.v.size() + in.byte() % 80, 0);
    b.close(e);
  }
  b.close(stsd);

  const size_t stsz = b.open("stsz");
  b.u32(0);
  const uint8_t sizeMode = in.byte();
  const uint32_t count = in.byte() % 16;
  if (sizeMode & 1) {
    b.u32(sizeMode & 2 ? 144000 : in.u32());
    b.u32(sizeMode & 4 ? in.u32() : count);
  } else {
    b.u32(0);
    b.u32(sizeMode & 4 ? in.u32() : count);
    for (uint32_t i = 0; i < count; ++i) b.u32(sizeMode & 8 ? in.u32() : 120000);
  }
  b.close(stsz);

  const size_t stsc = b.open("stsc");
  b.u32(0);
  const uint32_t runs = in.byte() % 4;
  b.u32(runs);
  for (uint32_t i = 0; i < runs; ++i) b.u32(i == 0 ? 1 : in.byte()), b.u32(in.byte() % 5), b.u32(1 + in.byte() % 2);
  b.close(stsc);

  const bool co64 = in.byte() & 1;
  const size_t stco = b.open(co64 ? "co64" : "stco");
  b.u32(0);
  const uint32_t chunks = in.byte() % 16;
  b.u32(chunks);
  for (uint32_t i = 0; i < chunks; ++i) {
    const uint64_t o = chunkOffset(in, mdatPayload);
    co64 ? b.u64(o) : b.u32(static_cast<uint32_t>(o));
  }
  b.close(stco);

  b.close(stbl);
  b.close(minf);
  b.close(mdia);
  b.close(trak);
}

// ftyp, moov (its size fixed), then an mdat header whose payload is the zero tail.
std::vector<uint8_t> build(Input& in, int64_t& tail) {
  const uint8_t mode = in.byte();
  Boxes b;
  if (mode & 1) {
    const size_t ftyp = b.open("ftyp");
    b.id("qt  ");
    b.u32(0);
    b.close(ftyp);
  }
  // The moov's size is known only after it is built, but chunk offsets need the media data's
  // place: keep the tracks small and put the media data at a fixed offset behind a free box.
  constexpr uint64_t kMdatPayload = 8192;
  const size_t moov = b.open("moov");
  const int tracks = 1 + in.byte() % 3;
  for (int t = 0; t < tracks; ++t) track(b, in, kMdatPayload);
  b.close(moov);
  const bool large = mode & 4;  // a 64-bit media data header
  const size_t header = large ? 16 : 8;
  if (b.v.size() + 8 + header > kMdatPayload) return b.v;  // no room: leave the media data out
  const size_t freeAt = b.open("free");
  b.v.resize(kMdatPayload - header, 0);
  b.close(freeAt);
  tail = (mode & 2 ? 20 : 2) * 144000;
  if (large)
    b.u32(1), b.id("mdat"), b.u64(static_cast<uint64_t>(tail) + 16);
  else
    b.u32(mode & 8 ? 0 : static_cast<uint32_t>(tail + 8)), b.id("mdat");
  // Flips: any byte of the boxes becomes a fuzzed value.
  while (!in.empty()) {
    const uint32_t at = in.u16();
    const uint8_t value = in.byte();
    if (at < b.v.size()) b.v[at] = value;
  }
  return b.v;
}

void check(ByteSource& source) {
  const QuickTimeIndex index = readQuickTimeIndex(source);
  if (index.outcome == QuickTimeOutcome::Ok) {
    int64_t end = 0;
    for (const QuickTimeSample& s : index.samples) {
      if (s.offset < end || s.size == 0 || s.offset + s.size > source.size()) std::abort();
      end = s.offset + s.size;
    }
  } else {
    if (!index.samples.empty()) std::abort();
    if (quickTimeMessage(index, "f").find('\n') != std::string::npos) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] < 64) {  // the bytes as they are, with a zero tail as large as the first byte says
    const std::vector<uint8_t> file(data + 1, data + size);
    TailSource source(file, static_cast<int64_t>(data[0]) * 50000);
    check(source);
    return 0;
  }
  Input in(data + 1, size - 1);
  int64_t tail = 0;
  const std::vector<uint8_t> file = build(in, tail);
  TailSource source(file, tail);
  check(source);
  return 0;
}

// Fuzz target for raw DV streams and for telling containers apart, fed from memory. Either the input
// is the file itself, opened by content (AVI, QuickTime or raw DV, whichever its first bytes say),
// or it drives a builder of raw streams: frames of either size whose first DIF blocks carry the
// identifiers of a frame, with fuzzed bytes patched in, runs of other bytes between them, and a
// cut anywhere (a partial last frame). Checks: those of SourceCheck.h.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "container/ByteOrder.h"
#include "container/DvAviReader.h"
#include "container/QuickTimeSource.h"
#include "container/RawDvStream.h"
#include "dv/DifLayout.h"
#include "fuzz/SourceCheck.h"

namespace {

using namespace kelo::container;

// A frame's start: header, subcode and VAUX blocks of sequence 0 with their identifiers.
void frameStart(uint8_t* f, bool pal) {
  static constexpr uint8_t kType[6] = {0, 1, 1, 2, 2, 2};
  static constexpr uint8_t kNumber[6] = {0, 0, 1, 0, 1, 2};
  for (int k = 0; k < 6; ++k) {
    uint8_t* id = f + k * kelo::dv::kDifBlockBytes;
    id[0] = static_cast<uint8_t>(kType[k] << 5 | 0x1F);
    id[1] = 0x07;
    id[2] = kNumber[k];
  }
  f[3] = pal ? 0x80 : 0x00;
}

const std::vector<uint8_t>& build(const uint8_t* data, size_t size, bool& opened) {
  size_t at = 0;
  auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  static std::vector<uint8_t> f;  // kept from input to input (see SourceCheck.h)
  f.clear();
  const uint8_t mode = byte();
  opened = mode < 64;
  if (opened) {
    f.assign(data + at, data + size);
    return f;
  }
  while (at < size && f.size() < (1u << 20)) {
    const uint8_t op = byte();
    switch (op % 4) {
      case 0:
      case 1: {  // a frame, its bytes zero but for a patch
        const bool pal = op & 4;
        const size_t start = f.size();
        f.resize(start + (pal ? 144000 : 120000), 0);
        frameStart(&f[start], pal);
        const size_t where = start + (static_cast<size_t>(byte()) << 8 | byte()) % 600;
        const size_t n = std::min<size_t>(op / 8, size - at);
        for (size_t i = 0; i < n && where + i < f.size(); ++i) f[where + i] = data[at + i];
        at += n;
        break;
      }
      case 2: {  // other bytes
        const size_t n = std::min<size_t>(byte(), size - at);
        f.insert(f.end(), data + at, data + at + n);
        at += n;
        break;
      }
      case 3:  // a cut
        f.resize(f.size() - std::min<size_t>(f.size(), (static_cast<size_t>(byte()) << 8 | byte()) * 4));
        break;
    }
  }
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bool byContent = false;
  const std::vector<uint8_t>& file = build(data, size, byContent);
  // One source of each kind, kept: the one the bytes call for is attached to them.
  static DvAviReader avi;
  static QuickTimeSource quickTime;
  static RawDvStream raw;
  DvSource* source = &raw;
  if (byContent) {
    // Opening picks the kind by content; the source it makes has read nothing yet.
    std::unique_ptr<DvSource> picked;
    if (openDvSource(std::make_unique<MemoryByteSource>(file.data(), file.size()), "memory", picked) !=
        OpenOutcome::Opened) {
      return 0;
    }
    switch (picked->kind()) {
      case ContainerKind::Avi: source = &avi; break;
      case ContainerKind::QuickTime: source = &quickTime; break;
      case ContainerKind::RawDv: source = &raw; break;
    }
  }
  source->attach(std::make_unique<MemoryByteSource>(file.data(), file.size()), byContent ? "memory" : "memory.dv");
  kelo::fuzz::checkSource(file, *source);
  return 0;
}

// Any 400 bytes as a video segment: parsing never reads or writes out of bounds, and whatever the
// re-encoder writes (with some macroblocks changed) parses cleanly and survives a second unchanged
// round trip with every coefficient intact.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dv/DifLayout.h"
#include "dv/SegmentDecoder.h"
#include "dv/SegmentEncoder.h"

namespace {

using namespace kelo::dv;

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // First byte: layout (bits 6-7) and which macroblocks get painted (bits 0-4).
  const VideoProfile& profile = profileAt((data[0] >> 6) % kProfileCount);
  const unsigned paint = data[0] & 0x1F;
  ++data;
  --size;
  uint8_t bytes[kSegmentBytes] = {};
  std::memcpy(bytes, data, size < kSegmentBytes ? size : kSegmentBytes);
  const int sequence = static_cast<int>(size % static_cast<size_t>(profile.sequenceCount));

  auto seg = std::make_unique<VideoSegment>();
  loadSegment(*seg, bytes, profile, sequence, 26);
  parseSegment(*seg);
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    if (!(paint & (1u << m))) continue;
    Macroblock& mb = seg->macroblocks[m];
    decodeMacroblock(mb);
    mb.modified = 1;
    // Paint a bright bar over the top rows of the luminance, as a stamp would.
    for (int b = 0; b < 4; ++b)
      for (int i = 0; i < 16; ++i) mb.blocks[b].coeffs[i] = 200;
  }
  prepareForEncoding(*seg);
  uint8_t out[kSegmentBytes];
  std::memcpy(out, bytes, sizeof out);
  encodeSegment(*seg, out);

  auto first = std::make_unique<VideoSegment>();
  loadSegment(*first, out, profile, sequence, 26);
  check(parseSegment(*first) == 0);
  for (const Macroblock& mb : first->macroblocks) check(mb.eobCount == kBlocksPerMacroblock && !mb.vlcError);

  auto again = std::make_unique<VideoSegment>();
  loadSegment(*again, out, profile, sequence, 26);
  parseSegment(*again);
  prepareForEncoding(*again);
  uint8_t out2[kSegmentBytes];
  std::memcpy(out2, out, sizeof out2);
  encodeSegment(*again, out2);
  auto second = std::make_unique<VideoSegment>();
  loadSegment(*second, out2, profile, sequence, 26);
  check(parseSegment(*second) == 0);
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const Macroblock& a = first->macroblocks[m];
    const Macroblock& b = second->macroblocks[m];
    check(a.qno == b.qno);
    for (int k = 0; k < kBlocksPerMacroblock; ++k) {
      check(a.blocks[k].dctMode == b.blocks[k].dctMode && a.blocks[k].classNumber == b.blocks[k].classNumber);
      check(std::memcmp(a.blocks[k].coeffs, b.blocks[k].coeffs, sizeof a.blocks[k].coeffs) == 0);
    }
  }
  return 0;
}

#include "dv/SegmentDecoder.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "dv/CoefficientMask.h"
#include "dv/Dct.h"
#include "dv/QuantTables.h"
#include "dv/ScanTables.h"
#include "dv/VlcTables.h"

namespace kelo::dv {

namespace {

enum class RunResult { Complete, Exhausted, Error };

// A bit stream made of one buffer and a bit range in it.
struct Stream {
  const uint8_t* data;
  size_t size;
  uint32_t pos;
  uint32_t end;
};

// Continues decoding `block` from `s`: pending bits first, then the stream, until the end-of-block
// code, the end of the stream (the unread rest becomes the block's pending bits) or a code that
// runs past coefficient 63 (a bitstream error that ends the block).
RunResult decodeRun(const VlcDecodeTable& table, DctBlock& block, Stream& s) {
  const uint8_t* scan = scanOrder(block.dctMode);
  int next = block.next;
  // Ends the run at the end of the stream: the start of the code that continues in another area
  // is kept (fewer than 16 bits).
  auto exhausted = [&](uint32_t window, uint32_t available) {
    block.pendingBits = static_cast<uint16_t>(available == 0 ? 0 : window >> (16 - available));
    block.pendingCount = static_cast<uint8_t>(available);
    s.pos = s.end;
    block.next = static_cast<uint8_t>(next);
    return RunResult::Exhausted;
  };
  // Streams keep kBitPadding bytes beyond their end and pos <= end: a load is always inside.
  auto load = [&](uint32_t pos) {
    uint64_t word;
    std::memcpy(&word, s.data + (pos >> 3), 8);
    return __builtin_bswap64(word) << (pos & 7);
  };

  // Takes one decoded code into the block; Exhausted here means "go on".
  auto take = [&](const VlcEntry& e) {
    if (e.run == kRunEob) {
      block.eob = 1;
      block.next = static_cast<uint8_t>(next);
      return RunResult::Complete;
    }
    const int index = next + e.run;
    if (index > 63) {
      block.error = 1;
      block.next = static_cast<uint8_t>(next);
      return RunResult::Error;
    }
    block.coeffs[scan[index]] = e.amplitude;  // zero for a pure zero run: the value is already 0
    next = index + 1;
    return RunResult::Exhausted;
  };

  // A code begun in another area, one code at a time until its bits are used up.
  while (block.pendingCount != 0) {
    const uint32_t pc = block.pendingCount;
    const uint32_t available = pc + (s.end - s.pos);
    const uint32_t window =
        ((uint32_t{block.pendingBits} << (16 - pc)) | (static_cast<uint32_t>(load(s.pos) >> 48) >> pc)) & 0xFFFF;
    const VlcEntry e = decodeVlc(table, window);
    if (e.length > available) return exhausted(window, available);
    if (e.length >= pc) {
      s.pos += e.length - pc;
      block.pendingCount = 0;
      block.pendingBits = 0;
    } else {
      block.pendingCount = static_cast<uint8_t>(pc - e.length);
      block.pendingBits &= static_cast<uint16_t>((1u << block.pendingCount) - 1);
    }
    if (const RunResult r = take(e); r != RunResult::Exhausted) return r;
  }

  // Then the stream alone, from a register of at least 57 bits reloaded once fewer than 16 are
  // left: the next code never waits on a memory load. The position and end stay in registers;
  // s.pos is written when the run ends.
  uint32_t pos = s.pos;
  const uint32_t end = s.end;
  int16_t* coeffs = block.coeffs;
  for (;;) {
    uint64_t bits = load(pos);
    int left = 64 - static_cast<int>(pos & 7);
    do {
      const uint32_t window = static_cast<uint32_t>(bits >> 48);
      const VlcEntry e = decodeVlc(table, window);
      if (e.length > end - pos) return exhausted(window, end - pos);
      pos += e.length;
      bits <<= e.length;
      left -= e.length;
      // kRunEob lies beyond every scan position: one test finds both the end of the block and a
      // code past coefficient 63.
      const int index = next + e.run;
      if (index > 63) {
        s.pos = pos;
        return take(e);
      }
      coeffs[scan[index]] = e.amplitude;  // zero for a pure zero run: the value is already 0
      next = index + 1;
    } while (left >= 16);
  }
}

// Continues the unfinished blocks of `mb` from `s` in block order: Complete when all of them are
// done, else how the first one that could not finish stopped (an error marks the macroblock).
// Each block's bits of the stream go to `from` and `to` of the pass (`second` or third).
RunResult continueMacroblock(const VlcDecodeTable& table, Macroblock& mb, Stream& s, bool second) {
  for (DctBlock& block : mb.blocks) {
    if (block.eob || block.error) continue;
    const uint32_t from = s.pos;
    const RunResult r = decodeRun(table, block, s);
    (second ? block.secondFrom : block.thirdFrom) = static_cast<uint16_t>(from);
    (second ? block.secondTo : block.thirdTo) = static_cast<uint16_t>(s.pos);
    if (r == RunResult::Complete) {
      ++mb.eobCount;
      continue;
    }
    if (r == RunResult::Error) mb.vlcError = 1;
    return r;
  }
  return RunResult::Complete;
}

// Block headers start on byte boundaries, so parsing reads them as two bytes.
static_assert(kMacroblockBits % 8 == 0 && kBlockHeaderBit[0] % 8 == 0 && kBlockHeaderBit[1] % 8 == 0 &&
              kBlockHeaderBit[2] % 8 == 0 && kBlockHeaderBit[3] % 8 == 0 && kBlockHeaderBit[4] % 8 == 0 &&
              kBlockHeaderBit[5] % 8 == 0);


}  // namespace

void loadSegment(VideoSegment& segment, const uint8_t* bytes, const VideoProfile& profile, int sequence,
                 int segmentNumber) {
  std::memcpy(segment.bytes, bytes, kSegmentBytes);
  std::memset(segment.bytes + kSegmentBytes, 0, kBitPadding);
  segment.reader.reset(segment.bytes, sizeof segment.bytes);
  segment.sequence = sequence;
  segment.segment = segmentNumber;
  segment.profile = &profile;
  segment.isFiftyField = profile.isFiftyField();
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    Macroblock& mb = segment.macroblocks[m];
    mb.superblockRow = (sequence + kRowShuffle[m]) % profile.sequenceCount;
    mb.superblockColumn = kColumnShuffle[m];
    mb.number = segmentNumber;
    mb.place = profile.place(sequence, segmentNumber, m);
    mb.modified = 0;
  }
}

int parseSegment(VideoSegment& segment) {
  const VlcDecodeTable& table = vlcDecodeTable();
  const uint8_t* data = segment.bytes;
  const size_t size = sizeof segment.bytes;

  // Pass 1: every block in its own area.
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    Macroblock& mb = segment.macroblocks[m];
    const uint32_t base = static_cast<uint32_t>(m * kMacroblockBits);
    mb.qno = data[m * kDifBlockBytes + 3] & 0x0F;
    mb.vlcError = 0;
    mb.eobCount = 0;
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
      DctBlock& block = mb.blocks[b];
      const uint8_t* at = data + ((base + kBlockHeaderBit[b]) >> 3);
      const uint32_t header = (uint32_t{at[0]} << 4) | (at[1] >> 4);
      int dc = static_cast<int>(header >> 3);
      if (dc >= 256) dc -= 512;
      zeroBlock(block.coeffs);
      block.coeffs[0] = static_cast<int16_t>(dc);
      block.dctMode = static_cast<uint8_t>((header >> 2) & 1);
      block.classNumber = static_cast<uint8_t>(header & 3);
      block.eob = 0;
      block.error = 0;
      block.next = 1;
      block.holdsSamples = 0;
      block.pendingCount = 0;
      block.pendingBits = 0;
      block.spareStart = block.spareEnd = 0;
      block.secondFrom = block.secondTo = block.thirdFrom = block.thirdTo = 0;
      Stream s{data, size, base + kBlockAcBit[b], base + kBlockAcBit[b] + kBlockAcBits[b]};
      const RunResult r = decodeRun(table, block, s);
      if (r == RunResult::Complete) {
        ++mb.eobCount;
        block.spareStart = static_cast<uint16_t>(s.pos);
        block.spareEnd = static_cast<uint16_t>(s.end);
      } else if (r == RunResult::Error) {
        mb.vlcError = 1;
      }
    }
  }

  // Pass 2: within each macroblock, the unfinished blocks continue in the spare bits of its
  // finished ones. A macroblock with a damaged block takes no further part.
  auto& mbStream = segment.macroblockStreams;
  uint32_t leftoverStart[kMacroblocksPerSegment] = {};
  uint32_t leftoverEnd[kMacroblocksPerSegment] = {};
  bool usedStream[kMacroblocksPerSegment] = {};
  bool thirdPass = true;
  bool anyIncomplete = false;
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    Macroblock& mb = segment.macroblocks[m];
    if (mb.vlcError || mb.eobCount == kBlocksPerMacroblock) continue;
    usedStream[m] = true;
    std::memset(mbStream[m], 0, kMacroblockStreamBytes);
    uint32_t length = 0;
    for (const DctBlock& block : mb.blocks) {
      if (block.eob) {
        length = appendBits(mbStream[m], kMacroblockStreamBytes, length, data, size, block.spareStart, block.spareEnd);
      }
    }
    Stream s{mbStream[m], kMacroblockStreamBytes, 0, length};
    if (continueMacroblock(table, mb, s, true) == RunResult::Error) thirdPass = false;
    leftoverStart[m] = s.pos;
    leftoverEnd[m] = s.end;
    if (mb.eobCount < kBlocksPerMacroblock && !mb.vlcError) anyIncomplete = true;
  }
  if (!thirdPass || !anyIncomplete) return 0;

  // Pass 3: across the segment, from the leftovers of the macroblocks that are complete.
  uint8_t* segStream = segment.segmentStream;
  std::memset(segStream, 0, kSegmentStreamBytes);
  uint32_t length = 0;
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const Macroblock& mb = segment.macroblocks[m];
    if (mb.vlcError || mb.eobCount < kBlocksPerMacroblock) continue;
    if (usedStream[m]) {
      length = appendBits(segStream, kSegmentStreamBytes, length, mbStream[m], kMacroblockStreamBytes, leftoverStart[m],
                          leftoverEnd[m]);
    } else {
      for (const DctBlock& block : mb.blocks) {
        length = appendBits(segStream, kSegmentStreamBytes, length, data, size, block.spareStart, block.spareEnd);
      }
    }
  }
  Stream s{segStream, kSegmentStreamBytes, 0, length};
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    Macroblock& mb = segment.macroblocks[m];
    if (mb.vlcError || mb.eobCount == kBlocksPerMacroblock) continue;
    const RunResult r = continueMacroblock(table, mb, s, false);
    if (r == RunResult::Error) return -1;
    if (r == RunResult::Exhausted) return 0;  // no unused bits left anywhere
  }
  return 0;
}

namespace {

inline int16_t dequantised(int q, int32_t factor) {
  const int32_t v = (q * factor + kDequantRound) >> kDequantShift;
  return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

}  // namespace

bool dequantiseBlock(const DctBlock& block, int qno, int16_t* out) {
  // Blocks carry few coefficients: visit only those that are there.
  uint64_t mask = nonzeroMask(block.coeffs) & ~uint64_t{1};
  if (mask == 0) return false;
  const int32_t* factor = dequantTable().factor[block.dctMode & 1][block.classNumber & 3][qno & 15];
  zeroBlock(out);
  out[0] = dequantised(block.coeffs[0], factor[0]);
  while (mask != 0) {
    const int p = __builtin_ctzll(mask);
    mask &= mask - 1;
    out[p] = dequantised(block.coeffs[p], factor[p]);
  }
  return true;
}

void decodeBlockTo(const DctBlock& block, int qno, int16_t* samples) {
  alignas(32) int16_t x[64];
  if (dequantiseBlock(block, qno, x)) {
    dctKernels().toSamples(x, samples, block.dctMode & 1);
  } else {
    // Only a DC: every sample is exactly the mean, 2 x (mean - 128) = DC.
    const int16_t dc = block.coeffs[0];
    for (int i = 0; i < 64; ++i) samples[i] = dc;
  }
}

void decodeBlock(DctBlock& block, int qno) {
  decodeBlockTo(block, qno, block.coeffs);
  block.holdsSamples = 1;
}

void decodeMacroblock(Macroblock& macroblock) {
  for (DctBlock& block : macroblock.blocks) decodeBlock(block, macroblock.qno);
}

void decodeBlockToLevels(const DctBlock& block, int qno, uint8_t* out, ptrdiff_t stride) {
  alignas(32) int16_t x[64];
  if (dequantiseBlock(block, qno, x)) {
    dctKernels().toLevels(x, out, stride, block.dctMode & 1);
  } else {
    // The mean DC / 2 + 128, exact halves downward as in the full transform.
    const uint8_t level = static_cast<uint8_t>(128 + (block.coeffs[0] >> 1));
    for (int y = 0; y < 8; ++y) std::memset(out + y * stride, level, 8);
  }
}

void prepareForEncoding(VideoSegment& segment) {
  for (Macroblock& mb : segment.macroblocks) {
    for (DctBlock& block : mb.blocks) {
      if (block.holdsSamples) transposeBlock(block.coeffs);
    }
  }
}

}  // namespace kelo::dv

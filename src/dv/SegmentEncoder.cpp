#include "dv/SegmentEncoder.h"

#include <algorithm>
#include <cstdlib>
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

// The QNO at which colour classes are judged and values limited.
constexpr int kClassQno = 12;
constexpr int kHighestQno = 15;
constexpr int kLowestQno = 1;
// Where the quantiser rounds up, in sixteenths of a step: a value rounds to the level above once it
// passes that share of the step. The usual share, and a smaller one that fills the room between two
// QNOs. Both found on stamped FFmpeg-made and Kelo's own pictures against the ideal composite:
// rounding to nearest spends bits on values barely above a half, truncation loses a step's worth.
constexpr int kFineRounding = 7;
constexpr int kCoarseRounding = 5;
constexpr int kNearest = 8;

// One block on its way out, in scan order, index 0 the DC as stored.
struct OutBlock {
  // Values before quantisation; a parsed block of an unchanged macroblock has them only once the
  // segment falls back.
  alignas(32) int16_t scan[64];
  alignas(32) int16_t quantised[64];  // as they are coded
  int dctMode;
  int classNumber;
};

struct OutMacroblock {
  OutBlock blocks[kBlocksPerMacroblock];
  int qno;
  int rounding;  // of the quantiser (sixteenths of a step)
  bool modified;
  int bits;
  int reductions;
};

// Quantises the macroblock's blocks and returns their bits; with a `limit`, stops (leaving the
// rest as they were) as soon as the bits exceed it.
constexpr int kNoBitLimit = 1 << 30;
int macroblockBits(OutMacroblock& mb, int qno, int rounding, int limit = kNoBitLimit) {
  int bits = 0;
  for (OutBlock& b : mb.blocks) {
    bits += quantiseBlock(b.scan, b.quantised, qno, b.classNumber, rounding);
    if (bits > limit) break;
  }
  return bits;
}

void writeBits(uint8_t* segmentBytes, uint32_t pos, uint32_t bits, int length) {
  orBits(segmentBytes, kSegmentBytes, pos, bits, length);
}

}  // namespace

int classifyLuminance(const int16_t* scanCoeffs) {
  int a = 0;
#if defined(__SSE2__)
  // Largest |value| over the AC lanes; -32768 saturates to 32767, which classifies the same.
  const __m128i zero = _mm_setzero_si128();
  const __m128i notDc = _mm_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1);
  __m128i m = zero;
  for (int i = 0; i < 64; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scanCoeffs + i));
    if (i == 0) v = _mm_and_si128(v, notDc);
    m = _mm_max_epi16(m, _mm_max_epi16(v, _mm_subs_epi16(zero, v)));
  }
  alignas(16) int16_t lanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), m);
  for (int16_t l : lanes) a = std::max<int>(a, l);
#else
  for (int i = 1; i < 64; ++i) {
    const int m = std::abs(scanCoeffs[i]);
    if (m > a) a = m;
  }
#endif
  return a > 35 ? 3 : a > 23 ? 2 : a > 11 ? 1 : 0;
}

int classifyColour(int decodedClass, int decodedQno) {
  int decodedSum = 0;
  for (int area = 0; area < 4; ++area) decodedSum += stepShift(decodedClass & 3, decodedQno & 15, area);
  for (int c = 3; c >= 0; --c) {
    int sum = 0;
    for (int area = 0; area < 4; ++area) sum += stepShift(c, kClassQno, area);
    if (sum <= decodedSum) return c;
  }
  return 0;
}

void clampForQno12(int16_t* scanCoeffs, int classNumber) {
#if defined(__SSE2__)
  // Per class and scan index the bounds +-(255 << shift) within 16 bits; the DC is left open.
  struct Bounds {
    alignas(16) int16_t high[4][64];
    alignas(16) int16_t low[4][64];
  };
  static const Bounds bounds = [] {
    Bounds b{};
    for (int c = 0; c < 4; ++c) {
      const uint8_t* shift = stepShiftsByScan(c, kClassQno);
      for (int i = 0; i < 64; ++i) {
        const int limit = i == 0 ? 32768 : kMaxAmplitude << shift[i];
        b.high[c][i] = static_cast<int16_t>(std::min(limit, 32767));
        b.low[c][i] = static_cast<int16_t>(-std::min(limit, 32768));
      }
    }
    return b;
  }();
  const int16_t* high = bounds.high[classNumber & 3];
  const int16_t* low = bounds.low[classNumber & 3];
  for (int i = 0; i < 64; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scanCoeffs + i));
    v = _mm_min_epi16(v, _mm_load_si128(reinterpret_cast<const __m128i*>(high + i)));
    v = _mm_max_epi16(v, _mm_load_si128(reinterpret_cast<const __m128i*>(low + i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(scanCoeffs + i), v);
  }
#else
  const uint8_t* shift = stepShiftsByScan(classNumber, kClassQno);
  for (int i = 1; i < 64; ++i) {
    const int limit = kMaxAmplitude << shift[i];
    const int v = scanCoeffs[i];
    scanCoeffs[i] = static_cast<int16_t>(v > limit ? limit : v < -limit ? -limit : v);
  }
#endif
}

namespace {

// For each scan index of a class and QNO: 2^(16 - shift) as an unsigned 16-bit multiplier whose
// high product half is |v| >> shift, 0 where the shift is 0; and the step 2^shift.
struct QuantMultipliers {
  alignas(16) uint16_t m[4][16][64];
  alignas(16) uint16_t step[4][16][64];
};

const QuantMultipliers& quantMultipliers() {
  static const QuantMultipliers q = [] {
    QuantMultipliers t{};
    for (int c = 0; c < 4; ++c)
      for (int n = 0; n < 16; ++n) {
        const uint8_t* shift = stepShiftsByScan(c, n);
        for (int i = 1; i < 64; ++i) {
          t.m[c][n][i] = shift[i] == 0 ? 0 : static_cast<uint16_t>(1u << (16 - shift[i]));
          t.step[c][n][i] = static_cast<uint16_t>(1u << shift[i]);
        }
      }
    return t;
  }();
  return q;
}

// The code table, found once rather than through its first-use guard in every call.
const VlcEncodeTable& gCodes = vlcEncodeTable();

// Bits of a block's codes, end-of-block included, from the mask of its AC values that are not zero
// (scan order) and their magnitudes.
int bitsOfCodes(uint64_t mask, const uint8_t* magnitude) {
  const VlcEncodeTable& t = gCodes;
  int bits = kEobLength;
  int previous = 0;
  for (; mask != 0; mask &= mask - 1) {
    const int p = __builtin_ctzll(mask);
    bits += t.pairLength[p - previous - 1][magnitude[p]];
    previous = p;
  }
  return bits;
}

// The same for quantised values as they are coded (magnitudes up to the code table's 255).
int countBits(const int16_t* quantised) {
  alignas(16) uint8_t magnitude[64];
  for (int i = 1; i < 64; ++i) magnitude[i] = static_cast<uint8_t>(std::abs(quantised[i]));
  return bitsOfCodes(nonzeroMask(quantised) & ~uint64_t{1}, magnitude);
}

}  // namespace

namespace {

// Quantises as quantiseBlock does; returns the mask of the AC values that are not zero and leaves
// their magnitudes, as bytes, in `magnitude`.
uint64_t quantiseValues(const int16_t* scanCoeffs, int16_t* quantised, int qno, int classNumber, int rounding,
                        uint8_t* magnitude) {
#if defined(__SSE2__)
  // (|v| + rounding x step / 16) >> shift on the magnitude, limited to the code table's 255, sign
  // put back. |v| plus at most half a step stays within 16 unsigned bits (32768 + 16).
  const QuantMultipliers& t = quantMultipliers();
  const uint16_t* mult = t.m[classNumber & 3][qno & 15];
  const uint16_t* step = t.step[classNumber & 3][qno & 15];
  const __m128i zero = _mm_setzero_si128();
  const __m128i ceiling = _mm_set1_epi16(kMaxAmplitude);
  const __m128i share = _mm_set1_epi16(static_cast<int16_t>(rounding));
  auto lanes = [&](int i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scanCoeffs + i));
    const __m128i m = _mm_load_si128(reinterpret_cast<const __m128i*>(mult + i));
    const __m128i steps = _mm_load_si128(reinterpret_cast<const __m128i*>(step + i));
    const __m128i offset = _mm_srli_epi16(_mm_mullo_epi16(steps, share), 4);
    const __m128i sign = _mm_srai_epi16(v, 15);
    const __m128i a = _mm_add_epi16(_mm_sub_epi16(_mm_xor_si128(v, sign), sign), offset);
    const __m128i unshifted = _mm_and_si128(a, _mm_cmpeq_epi16(m, zero));
    __m128i q = _mm_or_si128(_mm_mulhi_epu16(a, m), unshifted);
    q = _mm_sub_epi16(q, _mm_subs_epu16(q, ceiling));  // unsigned min(q, 255)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(quantised + i), _mm_sub_epi16(_mm_xor_si128(q, sign), sign));
    return q;
  };
  uint64_t mask = 0;
  for (int i = 0; i < 64; i += 16) {
    const __m128i bytes = _mm_packus_epi16(lanes(i), lanes(i + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(magnitude + i), bytes);
    mask |= static_cast<uint64_t>(~_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)) & 0xFFFF) << i;
  }
  quantised[0] = scanCoeffs[0];
#else
  const uint8_t* shift = stepShiftsByScan(classNumber, qno);
  quantised[0] = scanCoeffs[0];
  uint64_t mask = 0;
  for (int i = 1; i < 64; ++i) {
    const int v = scanCoeffs[i];
    const int s = shift[i];
    int q = ((v < 0 ? -v : v) + ((rounding << s) >> 4)) >> s;
    q = q > kMaxAmplitude ? kMaxAmplitude : q;
    quantised[i] = static_cast<int16_t>(v < 0 ? -q : q);
    magnitude[i] = static_cast<uint8_t>(q);
    mask |= static_cast<uint64_t>(q != 0) << i;
  }
#endif
  return mask & ~uint64_t{1};
}

}  // namespace

int quantiseBlock(const int16_t* scanCoeffs, int16_t* quantised, int qno, int classNumber, int rounding) {
  alignas(16) uint8_t magnitude[64];
  return bitsOfCodes(quantiseValues(scanCoeffs, quantised, qno, classNumber, rounding, magnitude), magnitude);
}

int packCodes(const int16_t* quantised, BlockCodes& codes) {
  const VlcEncodeTable& t = gCodes;
  // Codes gathered in a register and stored 32 bits at a time, big-endian: fewer than 32 bits wait,
  // so a code string of up to 32 bits always fits beside them.
  uint64_t pending = 0;
  int pendingBits = 0;
  uint8_t* out = codes.bytes;
  auto put = [&](uint64_t bits, int n) {
    pending = (pending << n) | bits;
    pendingBits += n;
    if (pendingBits >= 32) {
      pendingBits -= 32;
      const uint32_t word = __builtin_bswap32(static_cast<uint32_t>(pending >> pendingBits));
      std::memcpy(out, &word, 4);
      out += 4;
    }
  };
  int previous = 0;
  for (uint64_t mask = nonzeroMask(quantised) & ~uint64_t{1}; mask != 0; mask &= mask - 1) {
    const int p = __builtin_ctzll(mask);
    const int run = p - previous - 1;
    const int v = quantised[p];
    const int a = v < 0 ? -v : v;
    previous = p;
    if (run < kShortPairRuns && a < kShortPairAmplitudes) {
      const uint64_t pair = t.shortPair[v < 0][run][a];
      put(pair >> 8, static_cast<int>(pair & 0xFF));
      continue;
    }
    uint32_t pair[2];
    const int n = encodePair(t, run, v, pair);
    for (int k = 0; k < n; ++k) put(codeBits(pair[k]), codeLength(pair[k]));
  }
  put(codeBits(kEobEntry), kEobLength);
  const uint32_t word = __builtin_bswap32(static_cast<uint32_t>(pending << (32 - pendingBits)));
  std::memcpy(out, &word, 4);
  codes.length = static_cast<int>(out - codes.bytes) * 8 + pendingBits;
  codes.placed = 0;
  return codes.length;
}

int dropTrailingValues(int16_t* const* quantised, int* bits, int count, int budget) {
  const VlcEncodeTable& t = gCodes;
  int total = 0;
  for (int b = 0; b < count; ++b) total += bits[b];
  // A dropped value takes its whole pair with it: the zero run in front of it would carry nothing.
  bool progress = true;
  while (total > budget && progress) {
    progress = false;
    for (int b = count - 1; b >= 0 && total > budget; --b) {
      const uint64_t mask = nonzeroMask(quantised[b]) & ~uint64_t{1};
      if (mask == 0) continue;
      const int last = 63 - __builtin_clzll(mask);
      const uint64_t before = mask & ~(uint64_t{1} << last);
      const int previous = before == 0 ? 0 : 63 - __builtin_clzll(before);
      const int v = quantised[b][last];
      const int removed = t.pairLength[last - previous - 1][v < 0 ? -v : v];
      quantised[b][last] = 0;
      bits[b] -= removed;
      total -= removed;
      progress = true;
    }
  }
  return total;
}

namespace {

// Moves as much of `from`'s unplaced codes as fit into `into`'s free room; with `copy` false the
// bits are there already and only the counts move.
void placeInto(BlockCodes& from, BlockCodes& into, uint8_t* segmentBytes, bool copy) {
  const int n = std::min(from.length - from.placed, into.freeBits);
  if (copy)
    appendBits(segmentBytes, kSegmentBytes, into.freeAt, from.bytes, kBlockCodeBytes,
               static_cast<uint32_t>(from.placed), static_cast<uint32_t>(from.placed + n));
  from.placed += n;
  into.freeAt += static_cast<uint32_t>(n);
  into.freeBits -= n;
}

// Passes 2 and 3: the incomplete blocks, in order, continue in the free room of the complete ones.
void spread(BlockCodes* codes, int count, uint8_t* segmentBytes, bool copy) {
  int supplier = 0;
  for (int taker = 0; taker < count; ++taker) {
    BlockCodes& t = codes[taker];
    while (t.placed < t.length) {
      while (supplier < count && !(codes[supplier].placed == codes[supplier].length && codes[supplier].freeBits > 0))
        ++supplier;
      if (supplier == count) return;  // no room left: the rest waits for a later pass
      placeInto(t, codes[supplier], segmentBytes, copy);
    }
  }
}

// Clears bits [from, to) of the segment.
void clearBits(uint8_t* segmentBytes, uint32_t from, uint32_t to) {
  while (from < to && (from & 7) != 0) {
    segmentBytes[from >> 3] &= static_cast<uint8_t>(~(0x80u >> (from & 7)));
    ++from;
  }
  if (from < to && to - from >= 8) {
    std::memset(segmentBytes + (from >> 3), 0, (to - from) >> 3);
    from += (to - from) & ~uint32_t{7};
  }
  for (; from < to; ++from) segmentBytes[from >> 3] &= static_cast<uint8_t>(~(0x80u >> (from & 7)));
}

}  // namespace

void placeCodes(BlockCodes* codes, uint8_t* segmentBytes, unsigned laidOut) {
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const bool copy = !(laidOut >> m & 1);
    BlockCodes* mb = codes + m * kBlocksPerMacroblock;
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
      BlockCodes& c = mb[b];
      c.freeAt = static_cast<uint32_t>(m * kMacroblockBits + kBlockAcBit[b]);
      c.freeBits = kBlockAcBits[b];
      c.placed = 0;
      placeInto(c, c, segmentBytes, copy);
    }
    spread(mb, kBlocksPerMacroblock, segmentBytes, copy);
    // What the input held beyond its first two passes makes room for this segment's third.
    if (!copy)
      for (int b = 0; b < kBlocksPerMacroblock; ++b)
        clearBits(segmentBytes, mb[b].freeAt, mb[b].freeAt + static_cast<uint32_t>(mb[b].freeBits));
  }
  spread(codes, kMacroblocksPerSegment * kBlocksPerMacroblock, segmentBytes, true);
}

namespace {

// Whether some AC value of the macroblock would need an amplitude above the code table's at `qno`:
// such a QNO is not finer, it cuts the largest coefficients.
bool saturatesAt(const OutMacroblock& mb, int qno) {
#if defined(__SSE2__)
  // Per class, QNO and scan index the largest magnitude that still fits, (256 << shift) - 1; the
  // DC never counts.
  struct Ceilings {
    alignas(16) uint16_t m[4][16][64];
  };
  static const Ceilings ceilings = [] {
    Ceilings c{};
    for (int k = 0; k < 4; ++k)
      for (int n = 0; n < 16; ++n) {
        const uint8_t* shift = stepShiftsByScan(k, n);
        c.m[k][n][0] = 0xFFFF;
        for (int i = 1; i < 64; ++i) c.m[k][n][i] = static_cast<uint16_t>(((kMaxAmplitude + 1) << shift[i]) - 1);
      }
    return c;
  }();
  __m128i over = _mm_setzero_si128();
  for (const OutBlock& b : mb.blocks) {
    const uint16_t* ceiling = ceilings.m[b.classNumber & 3][qno & 15];
    for (int i = 0; i < 64; i += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.scan + i));
      const __m128i sign = _mm_srai_epi16(v, 15);
      const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);  // 0x8000 for -32768
      over = _mm_or_si128(over, _mm_subs_epu16(magnitude, _mm_load_si128(reinterpret_cast<const __m128i*>(ceiling + i))));
    }
  }
  return _mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128())) != 0xFFFF;
#else
  for (const OutBlock& b : mb.blocks) {
    const uint8_t* shift = stepShiftsByScan(b.classNumber, qno);
    for (uint64_t mask = nonzeroMask(b.scan) & ~uint64_t{1}; mask != 0; mask &= mask - 1) {
      const int i = __builtin_ctzll(mask);
      const int v = b.scan[i];
      if ((v < 0 ? -v : v) >> shift[i] > kMaxAmplitude) return true;
    }
  }
  return false;
#endif
}

// Coarsens one macroblock after another, the one with the most bits first, unchanged ones before
// changed ones (only changed ones with `modifiedOnly`), each at most once per round, until the
// segment fits or none can go lower. Returns the segment's total.
int coarsen(OutMacroblock* out, int total, bool modifiedOnly) {
  int round = 1;
  while (total > kSegmentAcBits) {
    int candidate = -1;
    bool reducible = false;
    for (int group = 0; group < 2 && candidate < 0; ++group) {
      const bool wantModified = modifiedOnly || group == 1;
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        const OutMacroblock& o = out[m];
        if (o.modified != wantModified || o.qno <= kLowestQno) continue;
        reducible = true;
        if (o.reductions >= round) continue;
        if (candidate < 0 || o.bits > out[candidate].bits) candidate = m;
      }
    }
    if (!reducible) break;
    if (candidate < 0) {
      ++round;
      continue;
    }
    OutMacroblock& o = out[candidate];
    ++o.reductions;
    int bits = o.bits;
    while (o.qno > kLowestQno) {
      --o.qno;
      bits = macroblockBits(o, o.qno, o.rounding);
      if (bits != o.bits) break;
    }
    total += bits - o.bits;
    o.bits = bits;
  }
  return total;
}

// The rung's QNO and rounding share: rung 0 is QNO 1 truncating, rungs 2q - 1 and 2q are QNO q with
// the smaller and then the usual share.
int rungQno(int rung) { return rung == 0 ? kLowestQno : (rung + 1) / 2; }
int rungRounding(int rung) { return rung == 0 ? 0 : rung % 2 ? kCoarseRounding : kFineRounding; }

// The macroblock holds its values at a rung, in `bits`, that fit `room`. Its lowest frequencies take
// the values of the next larger rounding share at the same QNO, as far into the scan as the room
// allows, so the bits up to the next rung are not left unused. Returns the macroblock's bits.
int fillWithLargerShare(OutMacroblock& o, int bits, int room) {
  const VlcEncodeTable& t = gCodes;
  const int share = o.rounding == 0 ? kCoarseRounding : o.rounding == kCoarseRounding ? kFineRounding : kNearest;
  alignas(32) int16_t fine[kBlocksPerMacroblock][64];
  uint64_t fineMask[kBlocksPerMacroblock], coarseMask[kBlocksPerMacroblock], differ[kBlocksPerMacroblock];
  uint64_t anyDiffer = 0;
  for (int b = 0; b < kBlocksPerMacroblock; ++b) {
    const OutBlock& ob = o.blocks[b];
    alignas(16) uint8_t magnitude[64];
    fineMask[b] = quantiseValues(ob.scan, fine[b], o.qno, ob.classNumber, share, magnitude);
    coarseMask[b] = nonzeroMask(ob.quantised) & ~uint64_t{1};
    differ[b] = differenceMask(fine[b], ob.quantised) & ~uint64_t{1};
    anyDiffer |= differ[b];
  }
  // The boundary moves up the scan past one differing index after another; each move changes a
  // block's codes only around that index: the pair there, and the run of the next coarse value.
  int best = 1, bestBits = bits;
  for (uint64_t at = anyDiffer; at != 0; at &= at - 1) {
    const int d = __builtin_ctzll(at);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
      if (!(differ[b] >> d & 1)) continue;
      const uint64_t below = fineMask[b] & ((uint64_t{1} << d) - 1);
      const int last = below == 0 ? 0 : 63 - __builtin_clzll(below);
      const uint64_t above = coarseMask[b] & ~((uint64_t{2} << d) - 1);
      const int next = above == 0 ? -1 : __builtin_ctzll(above);
      const int nextValue = next < 0 ? 0 : std::abs(o.blocks[b].quantised[next]);
      auto around = [&](int value) {
        if (value == 0) return next < 0 ? 0 : t.pairLength[next - last - 1][nextValue];
        return t.pairLength[d - last - 1][std::abs(value)] + (next < 0 ? 0 : t.pairLength[next - d - 1][nextValue]);
      };
      bits += around(fine[b][d]) - around(o.blocks[b].quantised[d]);
    }
    if (bits <= room) best = d + 1, bestBits = bits;
  }
  for (OutBlock& ob : o.blocks)
    std::memcpy(ob.quantised + 1, fine[&ob - o.blocks] + 1, sizeof(int16_t) * static_cast<size_t>(best - 1));
  return bestBits;
}

// Gives way with the changed macroblocks only. A single one (the usual case) takes the finest
// quantisation whose bits fit beside the others: the QNOs, each with the usual and then the smaller
// rounding share, form one ladder from fine to coarse, searched by halving rather than step by step.
// Several are coarsened in turns. Returns the segment's total.
int fitChanged(OutMacroblock* out, int total) {
  int changed = -1, count = 0;
  for (int m = 0; m < kMacroblocksPerSegment; ++m)
    if (out[m].modified) changed = m, ++count;
  if (count != 1 || total <= kSegmentAcBits) return coarsen(out, total, true);
  OutMacroblock& o = out[changed];
  const int others = total - o.bits;
  const int room = kSegmentAcBits - others;
  // The ladder, coarse to fine: QNO 1 truncating, then each QNO q with the smaller and then the
  // usual rounding share (rungs 2q - 1 and 2q), so the coarsest choice is still QNO 1 truncating,
  // as with the values as they were. The start, the top rung, did not fit. The values of the
  // finest rung found to fit are kept, so that the search need not quantise them again at its end.
  alignas(32) int16_t kept[kBlocksPerMacroblock][64];
  int keptRung = -1, keptBits = 0;
  auto fitsAt = [&](int rung) {
    o.qno = rungQno(rung);
    o.rounding = rungRounding(rung);
    const int bits = macroblockBits(o, o.qno, o.rounding, room);
    if (bits > room) return false;
    for (int b = 0; b < kBlocksPerMacroblock; ++b) std::memcpy(kept[b], o.blocks[b].quantised, sizeof kept[b]);
    keptRung = rung;
    keptBits = bits;
    return true;
  };
  // The coarsest rung is tried only when no finer one fits.
  int low = 0, high = 2 * o.qno - 1;  // the answer, if any, lies in [low, high]
  while (low < high) {
    const int mid = (low + high + 1) / 2;
    if (fitsAt(mid)) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  if (keptRung < 0) fitsAt(0);
  if (keptRung < 0) {  // not even the coarsest rung fits: the fallback starts afresh
    o.bits = kSegmentAcBits + 1;
    return others + o.bits;
  }
  o.qno = rungQno(keptRung);
  o.rounding = rungRounding(keptRung);
  for (int b = 0; b < kBlocksPerMacroblock; ++b) std::memcpy(o.blocks[b].quantised, kept[b], sizeof kept[b]);
  o.bits = fillWithLargerShare(o, keptBits, room);
  return others + o.bits;
}

// Forward transform of samples (transposed order) in `dctMode`, into scan order.
void transform(const int16_t* samples, int dctMode, OutBlock& ob) {
  ob.dctMode = dctMode;
  alignas(32) int16_t weighted[64];
  forwardDct(samples, dctMode, weighted);
  const uint8_t* scan = scanOrder(dctMode);
  for (int i = 0; i < 64; ++i) ob.scan[i] = weighted[scan[i]];
}

// A luminance block in the DCT mode whose codes are shorter at a middle QNO, classified and
// limited: text is drawn on both fields alike, so a block under it often codes better as one
// frame than in the mode the picture beneath was coded with, and the other way round.
void transformCheaper(const int16_t* samples, OutBlock& ob) {
  constexpr int kTrialQno = 8;
  OutBlock other;
  int bits[2];
  for (int mode = 0; mode < 2; ++mode) {
    OutBlock& t = mode == 0 ? ob : other;
    transform(samples, mode, t);
    t.classNumber = classifyLuminance(t.scan);
    clampForQno12(t.scan, t.classNumber);
    bits[mode] = quantiseBlock(t.scan, t.quantised, kTrialQno, t.classNumber, kFineRounding);
  }
  if (bits[1] < bits[0]) ob = other;
}

// A parsed block's DCT mode, class and values (quantised at the decoded QNO), in scan order. Blocks
// carry few coefficients: place those there are rather than gather all 64.
void takeParsedValues(const DctBlock& in, OutBlock& ob) {
  ob.dctMode = in.dctMode & 1;
  ob.classNumber = in.classNumber & 3;
  const uint8_t* scanIndex = scanIndexOf(ob.dctMode);
  zeroBlock(ob.quantised);
  for (uint64_t mask = nonzeroMask(in.coeffs); mask != 0; mask &= mask - 1) {
    const int p = __builtin_ctzll(mask);
    ob.quantised[scanIndex[p]] = in.coeffs[p];
  }
}

// A parsed block's values before quantisation, from its levels at the QNO they were coded with.
void valuesFromLevels(OutBlock& ob, int qno) {
  const uint8_t* shift = stepShiftsByScan(ob.classNumber, qno);
  zeroBlock(ob.scan);
  for (uint64_t mask = nonzeroMask(ob.quantised); mask != 0; mask &= mask - 1) {
    const int i = __builtin_ctzll(mask);
    ob.scan[i] = static_cast<int16_t>(ob.quantised[i] * (1 << shift[i]));
  }
}

// The codes of a parsed block that reached its end-of-block code, taken as they stand: from its own
// area, then from where the second and third passes found the rest. With `thirdOnly`, for a
// macroblock whose first two passes stay where they are, only the third pass's part is copied,
// to where it lies in the block's codes.
int copyCodes(const VideoSegment& segment, int m, int b, BlockCodes& codes, bool thirdOnly) {
  const DctBlock& in = segment.macroblocks[m].blocks[b];
  const uint32_t start = static_cast<uint32_t>(m * kMacroblockBits + kBlockAcBit[b]);
  const uint32_t ownEnd = in.spareEnd != 0 ? in.spareStart : start + static_cast<uint32_t>(kBlockAcBits[b]);
  const uint32_t firstTwo = (ownEnd - start) + (in.secondTo - in.secondFrom);
  const uint32_t length = firstTwo + (in.thirdTo - in.thirdFrom);
  codes.length = static_cast<int>(length);
  codes.placed = 0;
  if (thirdOnly && length == firstTwo) return codes.length;
  const uint32_t from = thirdOnly ? firstTwo / 8 : 0;
  std::memset(codes.bytes + from, 0, std::min<size_t>(kBlockCodeBytes - from, length / 8 + 9 - from));
  uint32_t at = firstTwo;
  if (!thirdOnly) {
    at = appendBits(codes.bytes, kBlockCodeBytes, 0, segment.bytes, sizeof segment.bytes, start, ownEnd);
    at = appendBits(codes.bytes, kBlockCodeBytes, at, segment.macroblockStreams[m], kMacroblockStreamBytes,
                    in.secondFrom, in.secondTo);
  }
  appendBits(codes.bytes, kBlockCodeBytes, at, segment.segmentStream, kSegmentStreamBytes, in.thirdFrom, in.thirdTo);
  return codes.length;
}

}  // namespace

SegmentFit encodeSegment(VideoSegment& segment, uint8_t* blocks) {
  OutMacroblock out[kMacroblocksPerSegment];
  int startQno[kMacroblocksPerSegment];
  BlockCodes codes[kMacroblocksPerSegment * kBlocksPerMacroblock];
  unsigned laidOut = 0;  // macroblocks whose input codes may stay where they are

  // Forward path for the blocks that hold samples; the others, in changed macroblocks too, keep
  // their parsed coefficients, class and DCT mode in scan order. An unchanged macroblock all of
  // whose blocks parsing finished needs only its codes, unless the segment falls back.
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    Macroblock& mb = segment.macroblocks[m];
    OutMacroblock& o = out[m];
    o.modified = mb.modified != 0;
    bool finished = true;
    for (const DctBlock& in : mb.blocks) {
      o.modified = o.modified || in.holdsSamples;
      finished = finished && in.eob && !in.error;
    }
    o.reductions = 0;
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
      DctBlock& in = mb.blocks[b];
      OutBlock& ob = o.blocks[b];
      if (in.holdsSamples) {
        if (b < kCr) {
          transformCheaper(in.coeffs, ob);
        } else {
          transform(in.coeffs, in.dctMode & 1, ob);
          ob.classNumber = classifyColour(in.classNumber, mb.qno);
          clampForQno12(ob.scan, ob.classNumber);
        }
      } else if (o.modified || !finished) {
        takeParsedValues(in, ob);
        // Quantised again only in a changed macroblock (or a fallback, which does this then).
        if (o.modified) valuesFromLevels(ob, mb.qno & 15);
      }
    }
    // A changed macroblock starts at the finest QNO that cuts none of its values; the others keep
    // theirs, and with it their codes.
    o.qno = mb.qno & 15;
    o.rounding = kFineRounding;
    if (o.modified) {
      o.qno = kHighestQno;
      while (o.qno > kLowestQno && saturatesAt(o, o.qno)) --o.qno;
      o.bits = 0;  // counted below, once the room beside the unchanged ones is known
    } else {
      // Its codes now, as the input coded them: unless the segment falls back, they are laid out
      // again as they are, a finished macroblock's first two passes left where they are.
      o.bits = 0;
      if (finished) laidOut |= 1u << m;
      for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        const DctBlock& in = mb.blocks[b];
        BlockCodes& c = codes[m * kBlocksPerMacroblock + b];
        o.bits += in.eob && !in.error ? copyCodes(segment, m, b, c, finished) : packCodes(o.blocks[b].quantised, c);
      }
    }
    startQno[m] = o.qno;
  }

  // Only the changed macroblocks give way. When even their coarsest choice does not fit, every
  // macroblock takes part, changed ones from their start again, untouched ones coarsened first.
  int unchangedBits = 0, changedCount = 0;
  for (const OutMacroblock& o : out) {
    unchangedBits += o.bits;
    changedCount += o.modified ? 1 : 0;
  }
  // A single changed macroblock is only counted at its start as far as the room: over it, the
  // search below quantises it afresh.
  const int startLimit = changedCount == 1 ? kSegmentAcBits - unchangedBits : kNoBitLimit;
  int total = unchangedBits;
  for (OutMacroblock& o : out)
    if (o.modified) total += o.bits = macroblockBits(o, o.qno, o.rounding, startLimit);
  SegmentFit fit = SegmentFit::ChangedOnly;
  total = fitChanged(out, total);
  if (total > kSegmentAcBits) {
    fit = SegmentFit::AllMacroblocks;
    total = 0;
    for (OutMacroblock& o : out) {
      if (!o.modified) {
        const int m = static_cast<int>(&o - out);
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
          OutBlock& ob = o.blocks[b];
          if (laidOut >> m & 1) takeParsedValues(segment.macroblocks[m].blocks[b], ob);
          valuesFromLevels(ob, o.qno);
        }
      } else {
        o.qno = startQno[&o - out];
        o.rounding = kFineRounding;
        o.bits = macroblockBits(o, o.qno, o.rounding);
        o.reductions = 0;
      }
      total += o.bits;
    }
    total = coarsen(out, total, false);
  }

  // Every block now holds its values as chosen. Only when not even QNO 1 everywhere fitted do
  // the highest frequencies go.
  if (total > kSegmentAcBits) {
    fit = SegmentFit::Truncated;
    int16_t* values[kMacroblocksPerSegment * kBlocksPerMacroblock];
    int bits[kMacroblocksPerSegment * kBlocksPerMacroblock];
    for (int i = 0; i < kMacroblocksPerSegment * kBlocksPerMacroblock; ++i) {
      values[i] = out[i / kBlocksPerMacroblock].blocks[i % kBlocksPerMacroblock].quantised;
      bits[i] = countBits(values[i]);
    }
    dropTrailingValues(values, bits, kMacroblocksPerSegment * kBlocksPerMacroblock, kSegmentAcBits);
  }

  // Layout: headers, then the codes in three passes.
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const bool packed = !out[m].modified && out[m].qno == startQno[m] && fit != SegmentFit::Truncated;
    if (!packed) laidOut &= ~(1u << m);
    uint8_t* dif = blocks + m * kDifBlockBytes;
    dif[3] = static_cast<uint8_t>((dif[3] & 0xF0) | (out[m].qno & 0x0F));
    if (laidOut >> m & 1) {  // headers and codes as the segment was parsed from
      std::memcpy(dif + 4, segment.bytes + m * kDifBlockBytes + 4, kDifBlockBytes - 4);
      continue;
    }
    std::memset(dif + 4, 0, kDifBlockBytes - 4);
    const uint32_t base = static_cast<uint32_t>(m * kMacroblockBits);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
      const OutBlock& ob = out[m].blocks[b];
      const uint32_t header = (static_cast<uint32_t>(ob.quantised[0] & 0x1FF) << 3) |
                              (static_cast<uint32_t>(ob.dctMode) << 2) | static_cast<uint32_t>(ob.classNumber);
      writeBits(blocks, base + kBlockHeaderBit[b], header, 12);
      if (!packed) packCodes(ob.quantised, codes[m * kBlocksPerMacroblock + b]);
    }
  }
  placeCodes(codes, blocks, laidOut);

  // Filler: zero bits up to the next byte, then whole bytes of 0xFF, as common encoders write it.
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
      const BlockCodes& c = codes[m * kBlocksPerMacroblock + b];
      const uint32_t areaEnd = static_cast<uint32_t>(m * kMacroblockBits + kBlockAcBit[b] + kBlockAcBits[b]);
      for (uint32_t byte = (c.freeAt + 7) / 8; byte < areaEnd / 8; ++byte) blocks[byte] = 0xFF;
    }
  }
  return fit;
}

}  // namespace kelo::dv

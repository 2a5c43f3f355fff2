#include "dv/VlcTables.h"

#include <vector>

namespace kelo::dv {

// IEC 61834-2 AC code table, sorted by code.
const AcCode kAcCodes[kAcCodeCount] = {
    {0b00, 2, 0, 1},
    {0b010, 3, 0, 2},
    {0b0111, 4, 1, 1},
    {0b1000, 4, 0, 3},
    {0b1001, 4, 0, 4},
    {0b10100, 5, 2, 1},
    {0b10101, 5, 1, 2},
    {0b10110, 5, 0, 5},
    {0b10111, 5, 0, 6},
    {0b110000, 6, 3, 1},
    {0b110001, 6, 4, 1},
    {0b110010, 6, 0, 7},
    {0b110011, 6, 0, 8},
    {0b1101000, 7, 5, 1},
    {0b1101001, 7, 6, 1},
    {0b1101010, 7, 2, 2},
    {0b1101011, 7, 1, 3},
    {0b1101100, 7, 1, 4},
    {0b1101101, 7, 0, 9},
    {0b1101110, 7, 0, 10},
    {0b1101111, 7, 0, 11},
    {0b11100000, 8, 7, 1},
    {0b11100001, 8, 8, 1},
    {0b11100010, 8, 9, 1},
    {0b11100011, 8, 10, 1},
    {0b11100100, 8, 3, 2},
    {0b11100101, 8, 4, 2},
    {0b11100110, 8, 2, 3},
    {0b11100111, 8, 1, 5},
    {0b11101000, 8, 1, 6},
    {0b11101001, 8, 1, 7},
    {0b11101010, 8, 0, 12},
    {0b11101011, 8, 0, 13},
    {0b11101100, 8, 0, 14},
    {0b11101101, 8, 0, 15},
    {0b11101110, 8, 0, 16},
    {0b11101111, 8, 0, 17},
    {0b111100000, 9, 11, 1},
    {0b111100001, 9, 12, 1},
    {0b111100010, 9, 13, 1},
    {0b111100011, 9, 14, 1},
    {0b111100100, 9, 5, 2},
    {0b111100101, 9, 6, 2},
    {0b111100110, 9, 3, 3},
    {0b111100111, 9, 4, 3},
    {0b111101000, 9, 2, 4},
    {0b111101001, 9, 2, 5},
    {0b111101010, 9, 1, 8},
    {0b111101011, 9, 0, 18},
    {0b111101100, 9, 0, 19},
    {0b111101101, 9, 0, 20},
    {0b111101110, 9, 0, 21},
    {0b111101111, 9, 0, 22},
    {0b1111100000, 10, 5, 3},
    {0b1111100001, 10, 3, 4},
    {0b1111100010, 10, 3, 5},
    {0b1111100011, 10, 2, 6},
    {0b1111100100, 10, 1, 9},
    {0b1111100101, 10, 1, 10},
    {0b1111100110, 10, 1, 11},
    {0b11111001110, 11, 0, 0},
    {0b11111001111, 11, 1, 0},
    {0b11111010000, 11, 6, 3},
    {0b11111010001, 11, 4, 4},
    {0b11111010010, 11, 3, 6},
    {0b11111010011, 11, 1, 12},
    {0b11111010100, 11, 1, 13},
    {0b11111010101, 11, 1, 14},
    {0b111110101100, 12, 2, 0},
    {0b111110101101, 12, 3, 0},
    {0b111110101110, 12, 4, 0},
    {0b111110101111, 12, 5, 0},
    {0b111110110000, 12, 7, 2},
    {0b111110110001, 12, 8, 2},
    {0b111110110010, 12, 9, 2},
    {0b111110110011, 12, 10, 2},
    {0b111110110100, 12, 7, 3},
    {0b111110110101, 12, 8, 3},
    {0b111110110110, 12, 4, 5},
    {0b111110110111, 12, 3, 7},
    {0b111110111000, 12, 2, 7},
    {0b111110111001, 12, 2, 8},
    {0b111110111010, 12, 2, 9},
    {0b111110111011, 12, 2, 10},
    {0b111110111100, 12, 2, 11},
    {0b111110111101, 12, 1, 15},
    {0b111110111110, 12, 1, 16},
    {0b111110111111, 12, 1, 17},
};

namespace {

struct Pattern {
  uint32_t bits;  // right-aligned, sign included
  int length;
  int run;
  int amplitude;  // signed
};

// Every code of the complete set with both signs spelt out.
std::vector<Pattern> allPatterns() {
  std::vector<Pattern> p;
  for (const AcCode& c : kAcCodes) {
    if (c.amplitude == 0) {
      p.push_back({c.bits, c.length, c.run, 0});
    } else {
      p.push_back({static_cast<uint32_t>(c.bits) << 1, c.length + 1, c.run, c.amplitude});
      p.push_back({(static_cast<uint32_t>(c.bits) << 1) | 1u, c.length + 1, c.run, -c.amplitude});
    }
  }
  p.push_back({kEobBits, kEobLength, kRunEob, 0});
  for (uint32_t r = 0; r < 64; ++r) p.push_back({(kRunEscapePrefix << 6) | r, 13, static_cast<int>(r), 0});
  p.push_back({kAmplitudeEscapePrefix << 8, 15, 0, 0});  // amplitude 0 carries no sign
  for (uint32_t a = 1; a < 256; ++a) {
    p.push_back({(((kAmplitudeEscapePrefix << 8) | a) << 1), 16, 0, static_cast<int>(a)});
    p.push_back({(((kAmplitudeEscapePrefix << 8) | a) << 1) | 1u, 16, 0, -static_cast<int>(a)});
  }
  return p;
}

VlcDecodeTable buildDecodeTable() {
  VlcDecodeTable t{};
  const std::vector<Pattern> patterns = allPatterns();
  constexpr int P = kVlcPrimaryBits;
  int groupBits[1 << P] = {};
  for (const Pattern& p : patterns) {
    if (p.length <= P) {
      const int spare = P - p.length;
      for (uint32_t s = 0; s < (1u << spare); ++s) {
        t.primary[(p.bits << spare) | s] = {static_cast<int16_t>(p.amplitude), static_cast<uint8_t>(p.run),
                                            static_cast<uint8_t>(p.length)};
      }
    } else {
      const uint32_t prefix = p.bits >> (p.length - P);
      if (p.length - P > groupBits[prefix]) groupBits[prefix] = p.length - P;
    }
  }
  int used = 0;
  for (int prefix = 0; prefix < (1 << P); ++prefix) {
    if (groupBits[prefix] == 0) continue;
    t.primary[prefix] = {static_cast<int16_t>(used), static_cast<uint8_t>(groupBits[prefix]), 0};
    used += 1 << groupBits[prefix];
  }
  t.secondaryUsed = used;
  for (const Pattern& p : patterns) {
    if (p.length <= P) continue;
    const uint32_t prefix = p.bits >> (p.length - P);
    const VlcEntry link = t.primary[prefix];
    const int sub = link.run;
    const int own = p.length - P;
    const uint32_t tail = p.bits & ((1u << own) - 1);
    for (uint32_t s = 0; s < (1u << (sub - own)); ++s) {
      t.secondary[link.amplitude + ((tail << (sub - own)) | s)] = {
          static_cast<int16_t>(p.amplitude), static_cast<uint8_t>(p.run), static_cast<uint8_t>(p.length)};
    }
  }
  return t;
}

VlcEncodeTable buildEncodeTable() {
  VlcEncodeTable t{};
  for (const AcCode& c : kAcCodes) {
    if (c.amplitude == 0) {
      t.zeroRunCode[c.run] = packCode(c.bits, c.length);
    } else {
      t.pairCode[c.run][c.amplitude] = packCode(static_cast<uint32_t>(c.bits) << 1, c.length + 1);
      if (c.run == 0) t.runZeroCode[c.amplitude] = t.pairCode[0][c.amplitude];
    }
  }
  // Only the standard escape values: zero runs 6-61 and amplitudes 23-255.
  for (int r = 6; r <= 61; ++r) t.zeroRunCode[r] = packCode((kRunEscapePrefix << 6) | static_cast<uint32_t>(r), 13);
  for (int a = 23; a <= 255; ++a) {
    t.runZeroCode[a] = packCode(((kAmplitudeEscapePrefix << 8) | static_cast<uint32_t>(a)) << 1, 16);
  }
  for (int run = 0; run < 64; ++run) {
    for (int a = 1; a < 256; ++a) {
      if (run > 62) continue;
      uint32_t codes[2];
      const int n = encodePair(t, run, a, codes);
      int bits = 0;
      for (int i = 0; i < n; ++i) bits += codeLength(codes[i]);
      t.pairLength[run][a] = static_cast<uint8_t>(bits);
    }
  }
  for (int negative = 0; negative < 2; ++negative)
    for (int run = 0; run < kShortPairRuns; ++run)
      for (int a = 1; a < kShortPairAmplitudes; ++a) {
        uint32_t codes[2];
        const int n = encodePair(t, run, negative ? -a : a, codes);
        uint64_t bits = 0;
        int length = 0;
        for (int i = 0; i < n; ++i) {
          bits = (bits << codeLength(codes[i])) | codeBits(codes[i]);
          length += codeLength(codes[i]);
        }
        t.shortPair[negative][run][a] = (bits << 8) | static_cast<uint64_t>(length);
      }
  return t;
}

}  // namespace

const VlcDecodeTable& vlcDecodeTable() {
  static const VlcDecodeTable table = buildDecodeTable();
  return table;
}

const VlcEncodeTable& vlcEncodeTable() {
  static const VlcEncodeTable table = buildEncodeTable();
  return table;
}

}  // namespace kelo::dv

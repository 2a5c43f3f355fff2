#pragma once
// The run/amplitude variable-length codes of the DV video AC coefficients: the code table itself,
// a two-level lookup table for decoding and the code choice for encoding.
#include <cstdint>

namespace kelo::dv {

// One explicit code of the table: `bits` right-aligned, `length` without the sign bit. A code with
// amplitude 0 stands for run + 1 zero coefficients and has no sign bit.
struct AcCode {
  uint16_t bits;
  uint8_t length;
  uint8_t run;
  uint8_t amplitude;
};
inline constexpr int kAcCodeCount = 88;
extern const AcCode kAcCodes[kAcCodeCount];

inline constexpr uint32_t kEobBits = 0x6;  // "0110"
inline constexpr int kEobLength = 4;
// Escape prefixes (7 bits): a zero run of R + 1 coefficients ("1111110" + R in 6 bits) and a run-0
// amplitude ("1111111" + A in 8 bits + sign).
inline constexpr uint32_t kRunEscapePrefix = 0x7E;
inline constexpr uint32_t kAmplitudeEscapePrefix = 0x7F;
inline constexpr int kMaxCodeLength = 16;
inline constexpr int kMaxAmplitude = 255;

// ---- decoding ----

inline constexpr uint8_t kRunEob = 0xFF;

// A decoded code: `length` bits in all (sign included), `run` zeros before the coefficient (kRunEob
// for the end-of-block code), signed `amplitude` (0 for a pure zero run).
struct VlcEntry {
  int16_t amplitude;
  uint8_t run;
  uint8_t length;  // 0 in the first-level table: a link to a second-level table
};

inline constexpr int kVlcPrimaryBits = 10;

struct VlcDecodeTable {
  VlcEntry primary[1 << kVlcPrimaryBits];
  VlcEntry secondary[1024];
  int secondaryUsed;
};

// Built on first use; read-only afterwards. The decoder accepts the long escape forms that some
// encoders emit (zero runs 0-5, 62, 63 and amplitudes 0-22 through the escapes), so every 16-bit
// pattern starts with some code.
const VlcDecodeTable& vlcDecodeTable();

// Decodes the code at the top of a 16-bit window (first bit in bit 15).
inline VlcEntry decodeVlc(const VlcDecodeTable& table, uint32_t window16) {
  VlcEntry e = table.primary[window16 >> (16 - kVlcPrimaryBits)];
  if (e.length == 0) {
    const int subBits = e.run;
    const uint32_t index = (window16 >> (16 - kVlcPrimaryBits - subBits)) & ((1u << subBits) - 1);
    e = table.secondary[e.amplitude + index];
  }
  return e;
}

// ---- encoding ----

// A code list entry: (bits << 8) | length, bits right-aligned, length 1-16.
inline constexpr uint32_t packCode(uint32_t bits, int length) { return (bits << 8) | static_cast<uint32_t>(length); }
inline constexpr int codeLength(uint32_t packed) { return static_cast<int>(packed & 0xFF); }
inline constexpr uint32_t codeBits(uint32_t packed) { return packed >> 8; }
inline constexpr uint32_t kEobEntry = packCode(kEobBits, kEobLength);  // 0x604

inline constexpr int kShortPairRuns = 16;
inline constexpr int kShortPairAmplitudes = 32;

struct VlcEncodeTable {
  // Total bits (sign included) that carry `run` zeros and then amplitude `amp` (1-255), run 0-62.
  uint8_t pairLength[64][256];
  // Codes with a positive sign for a run-0 amplitude, a pair with its own code, and a zero run.
  uint32_t runZeroCode[256];         // amplitude 1-255
  uint32_t pairCode[15][23];         // own code or 0
  uint32_t zeroRunCode[64];          // (r, 0): r + 1 zeros, r 0-61
  // The codes of the common pairs with their sign as one bit string (at most 29 bits), ready to
  // copy: [negative][run][amplitude], (bits << 8) | length (encodePair's codes, joined).
  uint64_t shortPair[2][kShortPairRuns][kShortPairAmplitudes];
};

const VlcEncodeTable& vlcEncodeTable();

// The one or two codes that carry (run, amplitude) with its sign (amplitude != 0, run <= 62).
// Returns how many entries were written to `out`.
inline int encodePair(const VlcEncodeTable& table, int run, int amplitude, uint32_t out[2]) {
  const bool negative = amplitude < 0;
  const int a = negative ? -amplitude : amplitude;
  const uint32_t sign = negative ? (1u << 8) : 0u;
  if (run < 15 && a < 23 && table.pairCode[run][a] != 0) {
    out[0] = table.pairCode[run][a] | sign;
    return 1;
  }
  int n = 0;
  if (run > 0) out[n++] = table.zeroRunCode[run - 1];
  out[n++] = table.runZeroCode[a] | sign;
  return n;
}

}  // namespace kelo::dv

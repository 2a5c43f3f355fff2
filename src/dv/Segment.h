#pragma once
// The work record of one DV video segment: five macroblocks of six DCT blocks, as parsed from the
// segment's 400 bytes and as handed to the re-encoder.
#include <cstdint>

#include "dv/BitReader.h"
#include "dv/DifLayout.h"
#include "dv/VideoProfile.h"

namespace kelo::dv {

inline constexpr int kBlocksPerMacroblock = 6;
inline constexpr int kMacroblocksPerSegment = 5;
inline constexpr int kLumaAcBits = 100;
inline constexpr int kChromaAcBits = 68;
inline constexpr int kMacroblockAcBits = 4 * kLumaAcBits + 2 * kChromaAcBits;       // 536
inline constexpr int kSegmentAcBits = kMacroblocksPerSegment * kMacroblockAcBits;  // 2680
inline constexpr int kMacroblockBits = kDifBlockBytes * 8;                          // 640

// Bit offsets within a macroblock's DIF block: the 12-bit header of block b and its AC area.
inline constexpr int kBlockHeaderBit[6] = {32, 144, 256, 368, 480, 560};
inline constexpr int kBlockAcBit[6] = {44, 156, 268, 380, 492, 572};
inline constexpr int kBlockAcBits[6] = {kLumaAcBits, kLumaAcBits, kLumaAcBits, kLumaAcBits, kChromaAcBits,
                                        kChromaAcBits};

// Block order within a macroblock.
enum BlockIndex { kY0 = 0, kY1 = 1, kY2 = 2, kY3 = 3, kCr = 4, kCb = 5 };

struct DctBlock {
  // Raster order (8 x row + column). After parsing: quantised coefficients, [0] the DC as stored.
  // After decodeBlock: samples S = 2 x (level - 128). The encoder takes either.
  alignas(32) int16_t coeffs[64];
  uint8_t dctMode;      // kDct88 or kDct248
  uint8_t classNumber;  // 0-3
  uint8_t eob;          // the end-of-block code was read
  uint8_t error;        // decoding stopped on a code that ran past the last coefficient
  uint8_t next;         // scan position reached
  uint8_t holdsSamples; // coeffs hold samples (decoded for painting), not parsed coefficients
  // Parsing state: the start of a code whose rest lies elsewhere, and the unused bits of the
  // block's own area once it is complete.
  uint8_t pendingCount;
  uint16_t pendingBits;
  uint16_t spareStart;
  uint16_t spareEnd;
  // Where the rest of its codes lay, once its own area was full: bits [from, to) of its
  // macroblock's stream (the second pass) and of the segment's stream (the third).
  uint16_t secondFrom, secondTo;
  uint16_t thirdFrom, thirdTo;
};

struct Macroblock {
  DctBlock blocks[kBlocksPerMacroblock];
  uint8_t qno;       // 0-15
  uint8_t vlcError;  // a bitstream error stopped one of its blocks
  uint8_t eobCount;  // blocks whose end-of-block was read
  uint8_t modified;  // changed in this frame: quantised again (its blocks holding samples transformed)
  int superblockRow;
  int superblockColumn;
  int number;  // macroblock number within its superblock: the segment number
  MacroblockPlace place;
};

// The streams of the second and third pass: the spare bits gathered in order, padded.
inline constexpr size_t kMacroblockStreamBytes = kMacroblockAcBits / 8 + 1 + kBitPadding;
inline constexpr size_t kSegmentStreamBytes = kSegmentAcBits / 8 + 1 + kBitPadding;

struct VideoSegment {
  int sequence = 0;
  int segment = 0;
  bool isFiftyField = false;
  const VideoProfile* profile = nullptr;
  // The segment's bytes with zero padding, so that the bit reader never leaves the buffer.
  alignas(16) uint8_t bytes[kSegmentBytes + kBitPadding];
  BitReader reader;
  Macroblock macroblocks[kMacroblocksPerSegment];
  // As parsing left them, for the encoder to take unchanged blocks' codes from.
  uint8_t macroblockStreams[kMacroblocksPerSegment][kMacroblockStreamBytes];
  uint8_t segmentStream[kSegmentStreamBytes];
};

}  // namespace kelo::dv

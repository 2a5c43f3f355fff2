#pragma once
// Decoding of DV video segments: the three-pass variable-length decoding of a segment's five DIF
// blocks into quantised coefficients, and of one macroblock's coefficients into samples.
#include <cstdint>

#include "dv/Segment.h"

namespace kelo::dv {

// Copies the segment's 400 bytes into the record, sets the reader over them, and sets the segment's
// numbers, each macroblock's superblock, number and place; clears the `modified` flags.
void loadSegment(VideoSegment& segment, const uint8_t* bytes, const VideoProfile& profile, int sequence,
                 int segmentNumber);

// Fills QNO, DC, DCT mode, class and the AC coefficients of all 30 blocks. Returns 0, or -1 when a
// bitstream error ended the third pass. Damaged data never stops parsing: what was read is kept,
// the rest stays zero. No read leaves the segment's bytes, no write leaves a block's coefficients.
int parseSegment(VideoSegment& segment);

// Coefficients to samples S = 2 x (level - 128), in place, for one block (marking it as holding
// samples) or for all six blocks of a macroblock.
void decodeBlock(DctBlock& block, int qno);
// The same samples written to `samples` (64 of them), the block left as it was.
void decodeBlockTo(const DctBlock& block, int qno, int16_t* samples);
void decodeMacroblock(Macroblock& macroblock);

// Coefficients to 8-bit levels for one block, written with `stride` bytes between rows.
void decodeBlockToLevels(const DctBlock& block, int qno, uint8_t* out, ptrdiff_t stride);

// Dequantised, weighted coefficients (input scale of the inverse transform); returns false when
// every AC coefficient is zero.
bool dequantiseBlock(const DctBlock& block, int qno, int16_t* out);

// Readies a parsed segment for encodeSegment: blocks holding samples are transposed into the order
// the forward transform takes; the others keep their parsed coefficients.
void prepareForEncoding(VideoSegment& segment);

}  // namespace kelo::dv

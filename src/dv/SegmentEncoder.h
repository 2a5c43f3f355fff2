#pragma once
// Re-encoding of a DV video segment into its five DIF blocks within the fixed budget of 2680 AC
// bits: DCT mode choice, forward transform and classification for changed macroblocks, the
// quantiser search, and the three-pass layout of the codes.
#include <cstdint>

#include "dv/Segment.h"

namespace kelo::dv {

// How a segment was made to fit its budget.
enum class SegmentFit : uint8_t {
  ChangedOnly,     // only the changed macroblocks were quantised again; the others kept their codes
  AllMacroblocks,  // the changed ones could not fit alone: unchanged ones were coarsened too
  Truncated,       // not even QNO 1 everywhere fitted: trailing codes were dropped
};

// `segment` as left by prepareForEncoding: blocks that hold samples are in transposed order, the
// others hold their parsed coefficients (with their decoded DCT mode, class and macroblock QNO). A
// macroblock that is `modified` or has a block holding samples is changed; the others are
// unchanged. Writes the segment into `blocks` (its 400 bytes in the frame): keeps each DIF block's
// ID and STA, rewrites QNO and bytes 4-79. Unchanged macroblocks keep their codes (coefficients,
// DCT mode, class and QNO; a block whose end-of-block code parsing reached, the very codes of the
// segment's bytes, wherever the passes found them) unless even QNO 1 for the changed ones cannot
// make the segment fit; changed ones take the finest quantisation that fits beside them, their
// luminance blocks that hold samples in whichever DCT mode codes them shorter. The segment record
// is used up.
SegmentFit encodeSegment(VideoSegment& segment, uint8_t* blocks);

// ---- the steps, for tests and tools ----

// Class of a luminance block from its largest weighted AC value (scan order, index 0 the DC).
int classifyLuminance(const int16_t* scanCoeffs);
// Class of a colour-difference block: the coarsest class whose steps at QNO 12 are no coarser in
// sum than those it was decoded with.
int classifyColour(int decodedClass, int decodedQno);
// Limits every AC value to what QNO 12 can carry in that class.
void clampForQno12(int16_t* scanCoeffs, int classNumber);
// Quantises a block for coding and returns the bits of its codes, end-of-block included: each AC
// value's magnitude is divided by its step, rounding up once the remainder reaches `rounding`
// sixteenths of the step (0 truncates, 8 rounds to nearest), and limited to the code table's 255.
// Index 0 is copied.
int quantiseBlock(const int16_t* scanCoeffs, int16_t* quantised, int qno, int classNumber, int rounding);

// One block's codes as a bit string, most significant bit first, end-of-block code last. 63
// values take at most 16 bits a position, so 1012 bits; room is left for whole-word writes.
inline constexpr int kBlockCodeBytes = 136;
struct BlockCodes {
  uint8_t bytes[kBlockCodeBytes];
  int length = 0;        // bits
  int placed = 0;        // bits written into the segment so far
  uint32_t freeAt = 0;   // next free bit of the block's own area
  int freeBits = 0;      // free bits left there
};

// The codes of a block's quantised values (scan order, index 0 not coded); returns their length.
int packCodes(const int16_t* quantised, BlockCodes& codes);
// Drops trailing values (never the end-of-block code) from the blocks, last block first, one
// value per block per sweep, until their bits sum to at most `budget`: the highest frequencies
// go first across the segment. `bits` holds each block's bits and is kept up to date. Returns
// the new sum.
int dropTrailingValues(int16_t* const* quantised, int* bits, int count, int budget);
// The three passes for the 30 blocks of a segment, in block order within macroblock order: each
// block's codes into its own area, the rest of the incomplete ones into the free room of the
// complete ones of the same macroblock, then of the whole segment. `segmentBytes` cleared
// beforehand except for the headers, and for the macroblocks in the mask `laidOut`: those hold
// their codes' first two passes already, where the passes put them (their blocks' `bytes` need
// only the third pass's part); what lies beyond is cleared for the third pass.
void placeCodes(BlockCodes* codes, uint8_t* segmentBytes, unsigned laidOut = 0);

}  // namespace kelo::dv

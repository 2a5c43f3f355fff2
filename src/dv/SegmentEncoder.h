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
// others hold their parsed coefficients (with their decoded DCT mode, class and macroblock QNO). A macroblock
// that is `modified` or has a block holding samples is changed; the others are unchanged.
// Writes the segment into `blocks` (its 400 bytes in the frame): keeps each DIF block's ID and STA,
// rewrites QNO and bytes 4-79. Unchanged macroblocks keep their codes (coefficients, DCT mode,
// class and QNO) unless even QNO 1 for the changed ones cannot make the segment fit; changed ones
// take the finest quantisation that fits beside them, their luminance blocks that hold samples in
// whichever DCT mode codes them shorter. The segment record is used up.
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

inline constexpr int kMaxCodeListEntries = 128;

struct CodeList {
  uint32_t entries[kMaxCodeListEntries];   // packed codes (VlcTables.h), ending with kEobEntry
  uint8_t zeroRun[kMaxCodeListEntries];    // entry stands for zeros only
  int read = 0;                            // next entry to place
  int end = 0;                             // entries in the list
  int codeBits = 0;                        // sum of the lengths, end-of-block included
  uint32_t bitOffset = 0;                  // next free bit in the segment for this block's data
  int bitBudget = 0;                       // free bits left in the block's own area
  bool complete = false;                   // every entry placed
};

void buildCodeList(const int16_t* quantised, CodeList& list);
// Drops trailing codes (never the end-of-block code) from the lists, last list first, one code per
// list per sweep, until their sum is at most `budget`. Returns the new sum.
int makeFit(CodeList* lists, int count, int budget);
// Pass 1: the list's codes into its own area from `bitOffset`, `bitBudget` bits.
void placeOwnArea(CodeList& list, uint8_t* segmentBytes);
// Passes 2 and 3: the incomplete lists continue in the free bits of the complete ones, in order.
void distribute(CodeList* lists, int count, uint8_t* segmentBytes);

}  // namespace kelo::dv

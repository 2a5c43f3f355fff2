#include "dv/DifLayout.h"

namespace kelo::dv {

static_assert(segmentOffset(0, 0) == 560 && segmentOffset(0, 3) == 560 + 3 * 400 + 80);
static_assert(segmentOffset(1, 26) == 12000 + 480 + 80 * 9 + 400 * 26);
static_assert(segmentOffset(0, 26) + kSegmentBytes == kSequenceBytes);
static_assert(blockInSequence(149).type == BlockType::Video && blockInSequence(149).dbn == 134);
static_assert(blockInSequence(134).type == BlockType::Audio && blockInSequence(134).dbn == 8);
static_assert(videoBlockIndex(134) == 149 && videoBlockIndex(15) == 23);

}  // namespace kelo::dv

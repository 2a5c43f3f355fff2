#include "dv/DifLayout.h"

#include "dv/FrameInfo.h"

namespace kelo::dv {

static_assert(segmentOffset(0, 0) == 560 && segmentOffset(0, 3) == 560 + 3 * 400 + 80);
static_assert(segmentOffset(1, 26) == 12000 + 480 + 80 * 9 + 400 * 26);
static_assert(segmentOffset(0, 26) + kSegmentBytes == kSequenceBytes);
static_assert(blockInSequence(149).type == BlockType::Video && blockInSequence(149).dbn == 134);
static_assert(blockInSequence(134).type == BlockType::Audio && blockInSequence(134).dbn == 8);
static_assert(videoBlockIndex(134) == 149 && videoBlockIndex(15) == 23);

int detectSystem(DvFrameInfo& info, const uint8_t* frame, size_t length) {
  if (frame == nullptr || length < static_cast<size_t>(kDetectBytes)) return -1;
  if ((frame[0] >> 5) != static_cast<int>(BlockType::Header)) return -1;
  const int dsf = frame[3] >> 7;
  if (frame[3] & 0x40) return -1;

  int fiftyField = -1;
  for (int block = 0; block < kVauxBlocksPerSequence && fiftyField < 0; ++block) {
    const uint8_t* vaux = frame + vauxOffset(0, block);
    for (int j = 0; j < kVauxPacksPerBlock; ++j) {
      const uint8_t* pack = vaux + vauxPackOffset(j);
      if (pack[0] == 0x60) {
        fiftyField = pack[3] & 0x20;
        break;
      }
    }
  }

  const SystemProfile& profile = (dsf == 1 || fiftyField > 0) ? kProfile625_50 : kProfile525_60;
  info.system = profile.system;
  info.sequenceCount = profile.sequenceCount;
  info.vauxFiftyField = fiftyField;
  return 0;
}

}  // namespace kelo::dv

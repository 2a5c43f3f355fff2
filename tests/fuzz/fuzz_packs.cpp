// Any bytes as a DV frame of any length: system detection and the date/time reader must stay
// within the bytes given and keep the month and weekday in range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "dv/VideoProfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelo::dv;
  // An exact-size copy, so that any read past the end is caught.
  std::vector<uint8_t> frame(data, data + size);
  frame.shrink_to_fit();
  const uint8_t* bytes = frame.empty() ? nullptr : frame.data();

  DvFrameInfo info;
  const FrameIdentity id = identifyFrame(bytes, frame.size());
  if (id.profile && id.kind != FrameKind::Stampable) std::abort();

  // The first bytes choose the adjustment and whether the tape timecode is wanted.
  DateTimeReadOptions options;
  if (size >= 4) {
    options.adjustment = {int(int8_t(data[0])), int(int8_t(data[1])) % 12, int(int8_t(data[2])) % 17,
                          int(int8_t(data[3])) % 24, int(int8_t(data[1])), int(int8_t(data[2]))};
    options.wantTapeTimecode = (data[3] & 1) != 0;
  }
  for (int pass = 0; pass < 2; ++pass) {
    if (readRecordedDateTime(info, options, bytes, frame.size()) == 0 || (info.hasDate && info.hasTime)) {
      if (info.recorded.tm_mon < 0 || info.recorded.tm_mon > 11) std::abort();
      if (info.recorded.tm_wday < 0 || info.recorded.tm_wday > 6) std::abort();
    }
  }
  // Short inputs never reach the second half of a frame: also spread them over the subcode blocks
  // of sequences 0 and 6 of a whole 625/50 frame.
  std::vector<uint8_t> whole(size_t(profileOf(VideoSystem::k625_50).frameBytes), 0xFF);
  const size_t blocks[4] = {subcodeOffset(0, 0), subcodeOffset(0, 1), subcodeOffset(6, 0), subcodeOffset(6, 1)};
  for (size_t i = 0; i < size && i < 4 * 77; ++i) whole[blocks[i / 77] + 3 + i % 77] = data[i];
  if (readRecordedDateTime(info, options, whole.data(), whole.size()) == 0) {
    if (info.recorded.tm_mon < 0 || info.recorded.tm_mon > 11) std::abort();
    if (info.recorded.tm_wday < 0 || info.recorded.tm_wday > 6) std::abort();
  }
  frameNumberToTimecode(profileAt(int(size % kProfileCount)), static_cast<int>(size * 2654435761u));
  return 0;
}

#pragma once
// What the engine and the frame readers need to know about each entry of the time format list
// (FormatTables.h), beside it so that nobody else counts format numbers.
#include <array>

#include "dv/Packs.h"
#include "render/FormatTables.h"
#include "settings/StampSettings.h"

namespace kelo::render {

struct TimeFormatTraits {
  bool perFrame;         // a frame or millisecond part follows the seconds
  bool tapeTimecode;     // shows the tape timecode (or the elapsed time), not the recording time
  bool zeroTimeCapture;  // allowed with the "between markers, time from zero" interval
};

extern const std::array<TimeFormatTraits, kTimeListLength> kTimeFormatTraits;

// The traits of entry `index`; an index outside the list has none.
const TimeFormatTraits& timeFormatTraits(int index);

// What readRecordedDateTime takes from the settings, once per file: the time adjustment, and
// the tape timecode when the time code shows it.
dv::DateTimeReadOptions dateTimeReadOptions(const settings::StampSettings& settings);

}  // namespace kelo::render

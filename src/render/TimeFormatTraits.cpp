#include "render/TimeFormatTraits.h"

namespace kelo::render {

const std::array<TimeFormatTraits, kTimeListLength> kTimeFormatTraits = {{
    {false, false, false},  // custom format
    {false, false, true},   // 21:50:38
    {false, false, false},  // 21:50
    {false, false, false},  // 9:50:38pm
    {false, false, false},  // 9:50pm
    {false, false, true},   // 09:50:38
    {false, false, false},  // 09:50
    {false, false, false},  // 09:50:38am
    {false, false, false},  // 09:50am
    {true, false, true},    // 9:50:38:02
    {true, false, true},    // 09:50:38:02
    {true, false, true},    // 9:50:38.200
    {true, false, true},    // 09:50:38.200
    {false, true, false},   // 00:00:00:00
    {false, true, false},   // 00:00:00
}};

const TimeFormatTraits& timeFormatTraits(int index) {
  static constexpr TimeFormatTraits kNone{false, false, false};
  return index >= 0 && index < kTimeListLength ? kTimeFormatTraits[static_cast<size_t>(index)] : kNone;
}

dv::DateTimeReadOptions dateTimeReadOptions(const settings::StampSettings& settings) {
  dv::DateTimeReadOptions options;
  options.adjustment = {settings.adjustYears,  settings.adjustMonths,  settings.adjustDays,
                        settings.adjustHours,  settings.adjustMinutes, settings.adjustSeconds};
  options.wantTapeTimecode = settings.tapeTimecodeAsTcb && timeFormatTraits(settings.timeCode.formatIndex).tapeTimecode;
  return options;
}

}  // namespace kelo::render

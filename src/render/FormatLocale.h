#pragma once
// Month and weekday names, AM/PM and the date and time patterns of one stamp locale, taken from
// ICU once and kept for the life of the process. Reading them needs no lock and never changes a
// process-wide locale, so any thread may format in any language at any time.
#include <array>
#include <string>

namespace kelo::render {

struct FormatLocale {
  // Names on their own (%a %A %b %B, pattern fields L and c): "juny", "sunnuntai".
  std::array<std::u16string, 12> monthsAbbreviated;  // January = 0
  std::array<std::u16string, 12> monthsFull;
  std::array<std::u16string, 7> weekdaysAbbreviated;  // Sunday = 0
  std::array<std::u16string, 7> weekdaysFull;
  // Names inside a date (pattern fields M and E): "de juny", "22 июня".
  std::array<std::u16string, 12> dateMonthsAbbreviated;
  std::array<std::u16string, 12> dateMonthsFull;
  std::array<std::u16string, 7> dateWeekdaysAbbreviated;
  std::array<std::u16string, 7> dateWeekdaysFull;
  std::u16string am;
  std::u16string pm;
  std::u16string eraBefore;  // era names for the "G" field of a pattern
  std::u16string eraAfter;
  // Patterns in ICU date pattern syntax (y M d E a h H m s ...).
  std::u16string shortDate;  // %x: short date with a four-digit year
  std::u16string longDate;   // %#x
  std::u16string time;       // %X
};

// The locale of stamp language `language` (0..27); any other number gives the "C" locale, as a
// locale that cannot be selected leaves the runtime's "C" locale in force.
const FormatLocale& formatLocale(int language);

}  // namespace kelo::render

#pragma once
// The fixed data of the stamp texts: locale names by stamp language, the built-in date format
// lists and the time format list with their suffix and case rules.
#include <array>
#include <cstdint>
#include <string_view>

namespace kelo::render {

// Longest stamp text in code units (the texts live in 100-unit buffers with a terminator).
inline constexpr int kMaxTextLength = 99;

// Stamp languages 0..27 index these tables.
inline constexpr int kLanguageCount = 28;

// The locale name stored settings refer to ("english", "chs", "C", ...), by language.
extern const std::array<std::u16string_view, kLanguageCount> kLocaleNames;
// The ICU locale that stands for each of them ("C" has its own fixed data, see FormatLocale).
extern const std::array<const char*, kLanguageCount> kIcuLocaleIds;
// Language whose locale "english" is (the locale of every built-in time format).
inline constexpr int kEnglishLanguage = 0;
// Language whose locale is "C" (also used for language numbers outside the table).
inline constexpr int kCLanguage = 3;

// Date format lists 0..3, eight slots each; slot 0 is the list's default custom format (the
// custom text in use comes from the settings). Empty views are unused slots.
inline constexpr int kDateListCount = 4;
inline constexpr int kDateListSlots = 8;
extern const std::array<std::array<std::u16string_view, kDateListSlots>, kDateListCount> kDateFormatLists;
// Entries shown for each list (custom entry included).
extern const std::array<int, kDateListCount> kDateListLengths;

enum class TimeSuffix : uint8_t { None, Frames, Milliseconds };
enum class TimeCaseStep : uint8_t {
  None,            // digits only: no case step at all
  UpperIfAsked,    // upper case when the code's uppercase flag is on
  UpperElseLower,  // upper case when asked, otherwise the whole text in lower case
  Custom,          // upper case when asked, otherwise the am/pm rule when the format has "%p"
};

struct TimeFormatEntry {
  std::u16string_view format;   // empty for entry 0, whose format is the custom time format
  std::u16string_view comboItem;
  TimeSuffix suffix;
  TimeCaseStep caseStep;
};

inline constexpr int kTimeListLength = 15;
extern const std::array<TimeFormatEntry, kTimeListLength> kTimeFormatList;

// Time entries from this one on carry a frame or millisecond part and change on every frame.
inline constexpr int kFirstPerFrameTimeEntry = 9;

}  // namespace kelo::render

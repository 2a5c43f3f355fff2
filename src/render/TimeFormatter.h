#pragma once
// Our own wcsftime: the Microsoft runtime's conversions, "#" flag included, with the names and
// patterns of one FormatLocale. Fields that a corrupt recording leaves out of range print "??"
// instead of indexing a name table with them.
#include "render/FormatLocale.h"

#include <ctime>
#include <string>
#include <string_view>

namespace kelo::render {

// Formats `t` (day-of-year not needed: it is computed from the date) by `format`. The result is
// cut at kMaxTextLength code units, never in the middle of a surrogate pair.
// Conversions: %a %A %b %B %c %#c %d %H %I %j %m %M %p %S %U %w %W %x %#x %X %y %Y %z %Z %%,
// with "#" dropping leading zeros of the numbers. An unknown conversion is copied as it stands.
std::u16string formatTime(std::u16string_view format, const std::tm& t, const FormatLocale& locale);

// Day of the year 0..365 for a date, or -1 when month or day is out of range.
int dayOfYear(int yearsSince1900, int month0, int day);

}  // namespace kelo::render

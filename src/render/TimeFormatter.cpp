#include "render/TimeFormatter.h"

#include <cstdio>
#include <ctime>

#include "render/FormatTables.h"

namespace kelo::render {
namespace {

constexpr std::u16string_view kUnknown = u"??";

bool inRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

// Output capped at kMaxTextLength code units.
class TextOut {
 public:
  void put(char16_t c) {
    if (text_.size() < static_cast<size_t>(kMaxTextLength)) text_.push_back(c);
  }
  void put(std::u16string_view s) {
    for (char16_t c : s) put(c);
  }
  // Decimal number, at least `digits` digits (leading zeros), no padding when `noZeros`.
  void number(long value, int digits, bool noZeros) {
    char16_t buf[24];
    int n = 0;
    const bool negative = value < 0;
    unsigned long u = negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
      buf[n++] = static_cast<char16_t>(u'0' + u % 10);
      u /= 10;
    } while (u != 0);
    if (!noZeros) {
      while (n < digits) buf[n++] = u'0';
    }
    if (negative) put(u'-');
    while (n > 0) put(buf[--n]);
  }
  std::u16string take() {
    // Never leave half a surrogate pair at the cut.
    if (!text_.empty() && text_.back() >= 0xD800 && text_.back() <= 0xDBFF) text_.pop_back();
    return std::move(text_);
  }

 private:
  std::u16string text_;
};

// The broken-down time with the derived fields a format may need.
struct Fields {
  const std::tm& t;
  int year;  // full year
  int yday;  // -1 when the date is out of range

  bool monthOk() const { return inRange(t.tm_mon, 0, 11); }
  bool dayOk() const { return inRange(t.tm_mday, 1, 31); }
  bool weekdayOk() const { return inRange(t.tm_wday, 0, 6); }
  bool hourOk() const { return inRange(t.tm_hour, 0, 23); }
  bool yearOk() const { return inRange(year, 0, 9999); }
};

void putNumber(TextOut& out, bool ok, long value, int digits, bool noZeros) {
  if (ok) {
    out.number(value, digits, noZeros);
  } else {
    out.put(kUnknown);
  }
}

int hour12(int hour) { return hour % 12 == 0 ? 12 : hour % 12; }

// One ICU date pattern (%x, %#x, %X) applied to the fields.
void expandPattern(TextOut& out, std::u16string_view pattern, const Fields& f, const FormatLocale& loc) {
  const std::tm& t = f.t;
  size_t i = 0;
  while (i < pattern.size()) {
    const char16_t c = pattern[i];
    if (c == u'\'') {
      // Quoted literal; '' is a quote.
      if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') {
        out.put(u'\'');
        i += 2;
        continue;
      }
      ++i;
      while (i < pattern.size()) {
        if (pattern[i] == u'\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') {
            out.put(u'\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out.put(pattern[i++]);
      }
      continue;
    }
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (!letter) {
      out.put(c);
      ++i;
      continue;
    }
    int count = 0;
    while (i < pattern.size() && pattern[i] == c) {
      ++count;
      ++i;
    }
    switch (c) {
      case u'y':
      case u'Y':
      case u'u':
        if (count == 2) {
          putNumber(out, f.yearOk(), f.year % 100, 2, false);
        } else {
          putNumber(out, f.yearOk(), f.year, count, false);
        }
        break;
      case u'M':
      case u'L':
        if (count >= 3) {
          const auto& names = c == u'L' ? (count == 4 ? loc.monthsFull : loc.monthsAbbreviated)
                                        : (count == 4 ? loc.dateMonthsFull : loc.dateMonthsAbbreviated);
          out.put(f.monthOk() ? std::u16string_view(names[static_cast<size_t>(t.tm_mon)]) : kUnknown);
        } else {
          putNumber(out, f.monthOk(), t.tm_mon + 1, count, false);
        }
        break;
      case u'd':
        putNumber(out, f.dayOk(), t.tm_mday, count, false);
        break;
      case u'E':
      case u'c':
      case u'e':
        if (c != u'E' && count <= 2) {
          putNumber(out, f.weekdayOk(), t.tm_wday + 1, count, false);
        } else {
          const auto& names = c == u'c' ? (count == 4 ? loc.weekdaysFull : loc.weekdaysAbbreviated)
                                        : (count == 4 ? loc.dateWeekdaysFull : loc.dateWeekdaysAbbreviated);
          out.put(f.weekdayOk() ? std::u16string_view(names[static_cast<size_t>(t.tm_wday)]) : kUnknown);
        }
        break;
      case u'a':
      case u'b':
      case u'B':
        out.put(f.hourOk() ? std::u16string_view(t.tm_hour < 12 ? loc.am : loc.pm) : kUnknown);
        break;
      case u'h':
        putNumber(out, f.hourOk(), hour12(t.tm_hour), count, false);
        break;
      case u'H':
        putNumber(out, f.hourOk(), t.tm_hour, count, false);
        break;
      case u'K':
        putNumber(out, f.hourOk(), t.tm_hour % 12, count, false);
        break;
      case u'k':
        putNumber(out, f.hourOk(), t.tm_hour == 0 ? 24 : t.tm_hour, count, false);
        break;
      case u'm':
        putNumber(out, inRange(t.tm_min, 0, 59), t.tm_min, count, false);
        break;
      case u's':
        putNumber(out, inRange(t.tm_sec, 0, 59), t.tm_sec, count, false);
        break;
      case u'G':
        out.put(f.year > 0 ? loc.eraAfter : loc.eraBefore);
        break;
      default:
        // Zones and fields a stamp never shows: nothing.
        break;
    }
  }
}

}  // namespace

int dayOfYear(int yearsSince1900, int month0, int day) {
  static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  if (!inRange(month0, 0, 11) || !inRange(day, 1, 31)) return -1;
  const long year = 1900L + yearsSince1900;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kDaysBefore[month0] + (leap && month0 > 1 ? 1 : 0) + day - 1;
}

// A recording carries no zone of its own: the machine's zone at the recorded time, its UTC offset
// ("+0800") for %z and its abbreviation ("CST") for %Z. Nothing for a time the zone rules cannot
// place.
static void putZone(TextOut& out, const std::tm& t, bool offset) {
  std::tm local = t;
  local.tm_isdst = -1;
  const std::time_t when = std::mktime(&local);
  std::tm zone{};
  if (when == static_cast<std::time_t>(-1) || localtime_r(&when, &zone) == nullptr) return;
  if (offset) {
    const long minutes = zone.tm_gmtoff / 60;
    const long magnitude = minutes < 0 ? -minutes : minutes;
    char text[32];
    std::snprintf(text, sizeof text, "%c%02d%02d", minutes < 0 ? '-' : '+', static_cast<int>(magnitude / 60 % 100),
                  static_cast<int>(magnitude % 60));
    for (const char* c = text; *c; ++c) out.put(static_cast<char16_t>(*c));
  } else if (zone.tm_zone != nullptr) {
    for (const char* c = zone.tm_zone; *c; ++c) out.put(static_cast<char16_t>(static_cast<unsigned char>(*c)));
  }
}

std::u16string formatTime(std::u16string_view format, const std::tm& t, const FormatLocale& loc) {
  const long fullYear = 1900L + t.tm_year;
  const Fields f{t, static_cast<int>(fullYear), dayOfYear(t.tm_year, t.tm_mon, t.tm_mday)};
  TextOut out;
  size_t i = 0;
  while (i < format.size()) {
    const char16_t c = format[i];
    if (c != u'%') {
      out.put(c);
      ++i;
      continue;
    }
    const size_t start = i++;
    bool alt = false;
    if (i < format.size() && format[i] == u'#') {
      alt = true;
      ++i;
    }
    if (i >= format.size()) {
      out.put(format.substr(start));
      break;
    }
    const char16_t code = format[i++];
    switch (code) {
      case u'a':
        out.put(f.weekdayOk() ? std::u16string_view(loc.weekdaysAbbreviated[static_cast<size_t>(t.tm_wday)]) : kUnknown);
        break;
      case u'A':
        out.put(f.weekdayOk() ? std::u16string_view(loc.weekdaysFull[static_cast<size_t>(t.tm_wday)]) : kUnknown);
        break;
      case u'b':
        out.put(f.monthOk() ? std::u16string_view(loc.monthsAbbreviated[static_cast<size_t>(t.tm_mon)]) : kUnknown);
        break;
      case u'B':
        out.put(f.monthOk() ? std::u16string_view(loc.monthsFull[static_cast<size_t>(t.tm_mon)]) : kUnknown);
        break;
      case u'c':
        expandPattern(out, alt ? loc.longDate : loc.shortDate, f, loc);
        out.put(u' ');
        expandPattern(out, loc.time, f, loc);
        break;
      case u'x':
        expandPattern(out, alt ? loc.longDate : loc.shortDate, f, loc);
        break;
      case u'X':
        expandPattern(out, loc.time, f, loc);
        break;
      case u'd':
        putNumber(out, f.dayOk(), t.tm_mday, 2, alt);
        break;
      case u'H':
        putNumber(out, f.hourOk(), t.tm_hour, 2, alt);
        break;
      case u'I':
        putNumber(out, f.hourOk(), hour12(t.tm_hour), 2, alt);
        break;
      case u'j':
        putNumber(out, f.yday >= 0, f.yday + 1, 3, alt);
        break;
      case u'm':
        putNumber(out, f.monthOk(), t.tm_mon + 1, 2, alt);
        break;
      case u'M':
        putNumber(out, inRange(t.tm_min, 0, 59), t.tm_min, 2, alt);
        break;
      case u'S':
        putNumber(out, inRange(t.tm_sec, 0, 59), t.tm_sec, 2, alt);
        break;
      case u'p':
        out.put(f.hourOk() ? std::u16string_view(t.tm_hour < 12 ? loc.am : loc.pm) : kUnknown);
        break;
      case u'U':
        putNumber(out, f.yday >= 0 && f.weekdayOk(), (f.yday + 7 - t.tm_wday) / 7, 2, alt);
        break;
      case u'W': {
        const int mondayBased = t.tm_wday == 0 ? 6 : t.tm_wday - 1;
        putNumber(out, f.yday >= 0 && f.weekdayOk(), (f.yday + 7 - mondayBased) / 7, 2, alt);
        break;
      }
      case u'w':
        putNumber(out, f.weekdayOk(), t.tm_wday, 1, alt);
        break;
      case u'y':
        putNumber(out, f.yearOk(), fullYear % 100, 2, alt);
        break;
      case u'Y':
        putNumber(out, f.yearOk(), fullYear, 4, alt);
        break;
      case u'z':
      case u'Z':
        putZone(out, t, code == u'z');
        break;
      case u'%':
        out.put(u'%');
        break;
      default:
        out.put(format.substr(start, i - start));
        break;
    }
  }
  return out.take();
}

}  // namespace kelo::render

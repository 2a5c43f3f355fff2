#include "render/FormatLocale.h"

#include "render/FormatTables.h"

#include <unicode/datefmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <memory>
#include <mutex>

namespace kelo::render {
namespace {

std::u16string toU16(const icu::UnicodeString& s) {
  std::u16string out(reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<size_t>(s.length()));
  // Recent CLDR data puts narrow or ordinary no-break spaces into times ("9:50:38\u202FPM"); the
  // stamp uses a plain space, which every stamp font has.
  for (char16_t& c : out) {
    if (c == u'\u202F' || c == u'\u00A0') c = u' ';
  }
  return out;
}

template <size_t N>
void copyNames(std::array<std::u16string, N>& to, const icu::UnicodeString* from, int32_t count, int32_t first) {
  for (size_t i = 0; i < N; ++i) {
    const int32_t k = first + static_cast<int32_t>(i);
    if (from != nullptr && k < count) to[i] = toU16(from[k]);
    if (to[i].empty()) to[i] = u"??";
  }
}

std::u16string patternOf(icu::DateFormat* format) {
  auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format);
  if (simple == nullptr) return {};
  icu::UnicodeString pattern;
  simple->toPattern(pattern);
  return toU16(pattern);
}

std::unique_ptr<FormatLocale> buildLocale(int language) {
  auto loc = std::make_unique<FormatLocale>();
  const icu::Locale icuLocale(kIcuLocaleIds[static_cast<size_t>(language)]);
  UErrorCode status = U_ZERO_ERROR;
  icu::DateFormatSymbols symbols(icuLocale, status);
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    symbols = icu::DateFormatSymbols(icu::Locale::getUS(), status);
  }
  using Symbols = icu::DateFormatSymbols;
  int32_t count = 0;
  const icu::UnicodeString* names = symbols.getMonths(count, Symbols::STANDALONE, Symbols::ABBREVIATED);
  copyNames(loc->monthsAbbreviated, names, count, 0);
  names = symbols.getMonths(count, Symbols::STANDALONE, Symbols::WIDE);
  copyNames(loc->monthsFull, names, count, 0);
  names = symbols.getMonths(count, Symbols::FORMAT, Symbols::ABBREVIATED);
  copyNames(loc->dateMonthsAbbreviated, names, count, 0);
  names = symbols.getMonths(count, Symbols::FORMAT, Symbols::WIDE);
  copyNames(loc->dateMonthsFull, names, count, 0);
  // ICU numbers weekdays from 1 (Sunday); element 0 is empty.
  names = symbols.getWeekdays(count, Symbols::STANDALONE, Symbols::ABBREVIATED);
  copyNames(loc->weekdaysAbbreviated, names, count, 1);
  names = symbols.getWeekdays(count, Symbols::STANDALONE, Symbols::WIDE);
  copyNames(loc->weekdaysFull, names, count, 1);
  names = symbols.getWeekdays(count, Symbols::FORMAT, Symbols::ABBREVIATED);
  copyNames(loc->dateWeekdaysAbbreviated, names, count, 1);
  names = symbols.getWeekdays(count, Symbols::FORMAT, Symbols::WIDE);
  copyNames(loc->dateWeekdaysFull, names, count, 1);
  names = symbols.getAmPmStrings(count);
  loc->am = count > 0 ? toU16(names[0]) : u"AM";
  loc->pm = count > 1 ? toU16(names[1]) : u"PM";
  names = symbols.getEras(count);
  loc->eraBefore = count > 0 ? toU16(names[0]) : u"BC";
  loc->eraAfter = count > 1 ? toU16(names[1]) : u"AD";

  if (language == kCLanguage) {
    // The runtime's "C" locale: English names with its own fixed forms.
    loc->am = u"AM";
    loc->pm = u"PM";
    loc->shortDate = u"MM/dd/yy";
    loc->longDate = u"EEEE, MMMM dd, y";
    loc->time = u"HH:mm:ss";
    return loc;
  }

  std::unique_ptr<icu::DateTimePatternGenerator> generator(
      icu::DateTimePatternGenerator::createInstance(icuLocale, status));
  if (U_SUCCESS(status) && generator) {
    const icu::UnicodeString best = generator->getBestPattern(icu::UnicodeString(u"yMd"), status);
    if (U_SUCCESS(status)) loc->shortDate = toU16(best);
  }
  // Chinese, Japanese and Korean long dates name no weekday: their long style, not the full one.
  const std::string_view id = kIcuLocaleIds[static_cast<size_t>(language)];
  const bool cjk = id.starts_with("zh") || id.starts_with("ja") || id.starts_with("ko");
  std::unique_ptr<icu::DateFormat> longFormat(
      icu::DateFormat::createDateInstance(cjk ? icu::DateFormat::kLong : icu::DateFormat::kFull, icuLocale));
  if (longFormat) loc->longDate = patternOf(longFormat.get());
  std::unique_ptr<icu::DateFormat> timeFormat(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, icuLocale));
  if (timeFormat) loc->time = patternOf(timeFormat.get());
  if (loc->shortDate.empty()) loc->shortDate = u"M/d/y";
  if (loc->longDate.empty()) loc->longDate = u"EEEE, MMMM d, y";
  if (loc->time.empty()) loc->time = u"HH:mm:ss";
  return loc;
}

struct LocaleCache {
  std::array<std::once_flag, kLanguageCount> once;
  std::array<std::unique_ptr<FormatLocale>, kLanguageCount> locales;
};

LocaleCache& cache() {
  static LocaleCache instance;
  return instance;
}

}  // namespace

const FormatLocale& formatLocale(int language) {
  if (language < 0 || language >= kLanguageCount) language = kCLanguage;
  LocaleCache& c = cache();
  const auto index = static_cast<size_t>(language);
  std::call_once(c.once[index], [&] { c.locales[index] = buildLocale(language); });
  return *c.locales[index];
}

}  // namespace kelo::render

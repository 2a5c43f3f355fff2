#include "render/StampText.h"

#include "render/FormatLocale.h"
#include "render/FormatTables.h"
#include "render/TimeFormatter.h"

#include <unicode/ustring.h>

#include <array>
#include <cstdio>

namespace kelo::render {
namespace {

// Replaces each backslash-n pair by a carriage return.
std::u16string withLineBreaks(std::u16string_view format) {
  std::u16string out;
  out.reserve(format.size());
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'\\' && i + 1 < format.size() && format[i + 1] == u'n') {
      out.push_back(u'\r');
      ++i;
    } else {
      out.push_back(format[i]);
    }
  }
  return out;
}

int countLines(std::u16string_view text) {
  int lines = 1;
  for (char16_t c : text) lines += c == u'\r' ? 1 : 0;
  return lines;
}

void cut(std::u16string& text) {
  if (text.size() > static_cast<size_t>(kMaxTextLength)) {
    text.resize(static_cast<size_t>(kMaxTextLength));
    if (text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
  }
}

using CaseMap = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

std::u16string mapCase(std::u16string_view text, CaseMap map) {
  // Case mapping can lengthen a text (German sharp s becomes SS); the buffer leaves room for it.
  std::array<UChar, 4 * (kMaxTextLength + 1)> buf{};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = map(buf.data(), static_cast<int32_t>(buf.size()), reinterpret_cast<const UChar*>(text.data()),
                        static_cast<int32_t>(text.size()), "", &status);
  if (U_FAILURE(status) || n < 0 || n > static_cast<int32_t>(buf.size())) return std::u16string(text);
  std::u16string out(reinterpret_cast<const char16_t*>(buf.data()), static_cast<size_t>(n));
  cut(out);
  return out;
}

// The am/pm rule: the first "AM" becomes "am", or else the first "PM" becomes "pm".
void lowerFirstAmPm(std::u16string& text) {
  size_t at = text.find(u"AM");
  if (at == std::u16string::npos) at = text.find(u"PM");
  if (at == std::u16string::npos) return;
  text[at] = static_cast<char16_t>(text[at] - u'A' + u'a');
  text[at + 1] = u'm';
}

bool containsAmPm(std::u16string_view format) { return format.find(u"%p") != std::u16string_view::npos; }

StampText blankText() { return StampText{u" ", 1}; }

StampText finish(std::u16string text) {
  cut(text);
  StampText result;
  result.lineCount = countLines(text);
  result.text = std::move(text);
  return result;
}

// Time entries outside the list fall back to entry 1, the default.
int timeEntryOf(int32_t formatIndex) {
  return formatIndex >= 0 && formatIndex < kTimeListLength ? formatIndex : 1;
}

}  // namespace

int dateListOf(int language) { return language < 0 ? 0 : (language > 3 ? 3 : language); }

std::u16string dateFormatFor(const settings::StampSettings& settings) {
  const int list = dateListOf(settings.language);
  const int entry = settings.dateCode.formatIndex;
  if (entry == 0) return settings::textOf(settings.customDateFormats[list]);
  const bool shown = entry > 0 && entry < kDateListLengths[static_cast<size_t>(list)];
  return std::u16string(kDateFormatLists[static_cast<size_t>(list)][static_cast<size_t>(shown ? entry : 1)]);
}

StampText formatDateText(const dv::DvFrameInfo& info, const settings::StampSettings& settings) {
  if (!info.hasDate) return blankText();
  const settings::StampCodeSettings& code = settings.dateCode;
  const std::u16string format = dateFormatFor(settings);
  std::u16string text = formatTime(withLineBreaks(format), info.recorded, formatLocale(settings.language));
  if (code.uppercase) {
    text = toUpperText(text);
  } else if (code.formatIndex == 0 && containsAmPm(format)) {
    lowerFirstAmPm(text);
  }
  return finish(std::move(text));
}

StampText formatTimeText(const dv::DvFrameInfo& info, const settings::StampSettings& settings) {
  if (!info.hasTime) return blankText();
  const settings::StampCodeSettings& code = settings.timeCode;
  const int entry = timeEntryOf(code.formatIndex);
  const TimeFormatEntry& e = kTimeFormatList[static_cast<size_t>(entry)];
  std::u16string format;
  int language = kEnglishLanguage;
  if (entry == 0) {
    format = settings::textOf(settings.customTimeFormat);
    language = settings.language;
  } else {
    format = std::u16string(e.format);
  }
  std::u16string text = formatTime(withLineBreaks(format), info.recorded, formatLocale(language));

  if (e.suffix != TimeSuffix::None) {
    char suffix[32];
    if (e.suffix == TimeSuffix::Frames) {
      std::snprintf(suffix, sizeof suffix, ":%02d", info.frameInSecond);
    } else {
      const long frame = info.frameInSecond;
      const long fps = textProfileOf(info).framesPerSecond;
      const long ms = (frame * 1000 + fps / 2) / fps;
      std::snprintf(suffix, sizeof suffix, ".%03ld", ms);
    }
    for (const char* p = suffix; *p != '\0'; ++p) text.push_back(static_cast<char16_t>(*p));
    return finish(std::move(text));
  }
  if (code.uppercase && e.caseStep != TimeCaseStep::None) {
    text = toUpperText(text);
  } else if (e.caseStep == TimeCaseStep::UpperElseLower) {
    text = toLowerText(text);
  } else if (e.caseStep == TimeCaseStep::Custom && containsAmPm(format)) {
    lowerFirstAmPm(text);
  }
  return finish(std::move(text));
}

FormatFields analyseCustomFormat(std::u16string_view format) {
  static constexpr std::u16string_view kDateCodes[] = {
      u"%a", u"%A", u"%b", u"%B", u"%#c", u"%c", u"%#d", u"%d", u"%#j", u"%j", u"%#m", u"%m",
      u"%#U", u"%U", u"%#w", u"%w", u"%#W", u"%W", u"%#x", u"%x", u"%#y", u"%y", u"%#Y", u"%Y"};
  static constexpr std::u16string_view kTimeCodes[] = {u"%#H", u"%H", u"%#M", u"%M", u"%#S", u"%S", u"%X"};
  FormatFields result;
  for (auto code : kDateCodes) result.hasDate = result.hasDate || format.find(code) != std::u16string_view::npos;
  for (auto code : kTimeCodes) result.hasTime = result.hasTime || format.find(code) != std::u16string_view::npos;
  return result;
}

std::u16string formatSample(std::u16string_view format, int language, const std::tm& sample) {
  return formatTime(format, sample, formatLocale(language));
}

std::u16string toUpperText(std::u16string_view text) { return mapCase(text, u_strToUpper); }
std::u16string toLowerText(std::u16string_view text) { return mapCase(text, u_strToLower); }

}  // namespace kelo::render

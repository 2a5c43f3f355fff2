// Date and time code texts: built-in formats across languages, custom formats, suffixes, case
// steps, the "#" flag, corrupt fields and concurrent formatting.
#include "render/FormatLocale.h"
#include "render/FormatTables.h"
#include "render/StampText.h"
#include "render/TimeFormatter.h"

#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include <string>
#include <thread>
#include <vector>

namespace kelo::render {
namespace {

using platform::toUtf8;

std::tm at(int y, int mo, int d, int h, int mi, int s, int wday) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_wday = wday;
  t.tm_yday = -1;
  t.tm_isdst = -1;
  return t;
}

// Expected texts with "Q" standing for the "??" of an unreadable field (keeps trigraphs out).
std::string q(std::string text) {
  for (size_t at = text.find('Q'); at != std::string::npos; at = text.find('Q', at + 2)) text.replace(at, 1, "??");
  return text;
}

const std::tm kJune22 = at(2003, 6, 22, 21, 50, 38, 0);   // the manual's sample
const std::tm kNewYear = at(2005, 1, 1, 9, 5, 7, 6);      // single-digit fields
const std::tm kLeapDay = at(2004, 2, 29, 0, 0, 0, 0);     // midnight
const std::tm kYearEnd = at(1999, 12, 31, 12, 0, 0, 5);   // noon
const std::tm kMonthEnd = at(2001, 9, 30, 23, 59, 59, 0);

dv::DvFrameInfo frame(const std::tm& t, int system = 2, int frameInSecond = 0) {
  dv::DvFrameInfo info;
  info.profile = &dv::profileOf(system == 2 ? dv::VideoSystem::k625_50 : dv::VideoSystem::k525_60);
  info.hasDate = 1;
  info.hasTime = 1;
  info.recorded = t;
  info.frameInSecond = frameInSecond;
  return info;
}

std::string dateText(int language, int entry, const std::tm& t, bool upper = false) {
  settings::StampSettings s;
  s.language = language;
  s.dateCode.formatIndex = entry;
  s.dateCode.uppercase = upper;
  return toUtf8(formatDateText(frame(t), s).text);
}

std::string timeText(int entry, const std::tm& t, bool upper = false, int system = 2, int frameInSecond = 0) {
  settings::StampSettings s;
  s.timeCode.formatIndex = entry;
  s.timeCode.uppercase = upper;
  return toUtf8(formatTimeText(frame(t, system, frameInSecond), s).text);
}

struct DateCase {
  int language;
  std::tm when;
  std::vector<std::string> entries;  // built-in entries 1, 2, ... of the language's list
};

TEST(DateText, BuiltInFormatsAcrossLanguages) {
  const std::vector<DateCase> cases = {
      {0, kJune22, {"2003-06-22", "22-06-2003", "06-22-2003", "2003.06.22", "22.06.2003", "06.22.2003"}},
      {0, kNewYear, {"2005-01-01", "01-01-2005", "01-01-2005", "2005.01.01", "01.01.2005", "01.01.2005"}},
      {0, kLeapDay, {"2004-02-29", "29-02-2004", "02-29-2004", "2004.02.29", "29.02.2004", "02.29.2004"}},
      {1, kJune22, {"2003年6月22日", "2003年6月22日 星期日"}},
      {1, kNewYear, {"2005年1月1日", "2005年1月1日 星期六"}},
      {1, kYearEnd, {"1999年12月31日", "1999年12月31日 星期五"}},
      {2, kJune22,
       {"Jun-22-2003", "22-Jun-2003", "Jun 22 2003", "22 Jun 2003", "June 22, 2003", "Sun Jun 22, 2003",
        "Sunday June 22, 2003"}},
      {2, kNewYear,
       {"Jan-1-2005", "1-Jan-2005", "Jan 1 2005", "1 Jan 2005", "January 1, 2005", "Sat Jan 1, 2005",
        "Saturday January 1, 2005"}},
      {3, kJune22,
       {"Sunday, June 22, 2003", "22 June 2003", "22 Jun 2003", "Sunday 22 June 2003", "Sunday 22 Jun 2003",
        "Sun 22 June 2003", "Sun 22 Jun 2003"}},
      {3, kNewYear,
       {"Saturday, January 01, 2005", "1 January 2005", "1 Jan 2005", "Saturday 1 January 2005",
        "Saturday 1 Jan 2005", "Sat 1 January 2005", "Sat 1 Jan 2005"}},
      {12, kLeapDay,
       {"Sonntag, 29. Februar 2004", "29 Februar 2004", "29 Feb 2004", "Sonntag 29 Februar 2004",
        "Sonntag 29 Feb 2004", "So 29 Februar 2004", "So 29 Feb 2004"}},
      {12, kYearEnd,
       {"Freitag, 31. Dezember 1999", "31 Dezember 1999", "31 Dez 1999", "Freitag 31 Dezember 1999",
        "Freitag 31 Dez 1999", "Fr 31 Dezember 1999", "Fr 31 Dez 1999"}},
      {23, kJune22,
       {"воскресенье, 22 июня 2003 г.", "22 июнь 2003", "22 июнь 2003", "воскресенье 22 июнь 2003",
        "воскресенье 22 июнь 2003", "вс 22 июнь 2003", "вс 22 июнь 2003"}},
      {23, kNewYear,
       {"суббота, 1 января 2005 г.", "1 январь 2005", "1 янв. 2005", "суббота 1 январь 2005",
        "суббота 1 янв. 2005", "сб 1 январь 2005", "сб 1 янв. 2005"}},
      {17, kJune22,
       {"2003年6月22日", "22 6月 2003", "22 6月 2003", "日曜日 22 6月 2003", "日曜日 22 6月 2003", "日 22 6月 2003",
        "日 22 6月 2003"}},
      {27, kYearEnd,
       {"31 Aralık 1999 Cuma", "31 Aralık 1999", "31 Ara 1999", "Cuma 31 Aralık 1999", "Cuma 31 Ara 1999",
        "Cum 31 Aralık 1999", "Cum 31 Ara 1999"}},
  };
  for (const DateCase& c : cases) {
    for (size_t i = 0; i < c.entries.size(); ++i) {
      const int entry = static_cast<int>(i) + 1;
      EXPECT_EQ(dateText(c.language, entry, c.when), c.entries[i])
          << "language " << c.language << " entry " << entry << " year " << c.when.tm_year + 1900;
    }
  }
}

TEST(DateText, DefaultCustomFormatsGiveTwoLinesWithLowerCaseAmPm) {
  settings::StampSettings s;
  s.dateCode.formatIndex = 0;
  s.language = 0;
  StampText t = formatDateText(frame(kJune22), s);
  EXPECT_EQ(toUtf8(t.text), "2003-06-22\r9:50:38pm");
  EXPECT_EQ(t.lineCount, 2);
  s.dateCode.uppercase = true;
  EXPECT_EQ(toUtf8(formatDateText(frame(kJune22), s).text), "2003-06-22\r9:50:38PM");
  s.dateCode.uppercase = false;
  EXPECT_EQ(toUtf8(formatDateText(frame(kLeapDay), s).text), "2004-02-29\r12:00:00am");

  // Chinese: the locale's AM/PM indicator has no "AM"/"PM" to lower.
  s.language = 1;
  EXPECT_EQ(toUtf8(formatDateText(frame(kJune22), s).text), "2003年6月22日\r9:50:38下午");
  EXPECT_EQ(toUtf8(formatDateText(frame(kNewYear), s).text), "2005年1月1日\r9:05:07上午");
  s.language = 2;
  EXPECT_EQ(toUtf8(formatDateText(frame(kNewYear), s).text), "Jan-1-2005\r9:05:07am");
}

TEST(DateText, AmPmRuleChangesOnlyTheFirstOccurrence) {
  settings::StampSettings s;
  s.language = 0;
  s.dateCode.formatIndex = 0;
  settings::setText(s.customDateFormats[0], u"%p %p AM PM");
  // An "AM" anywhere wins over an earlier "PM".
  EXPECT_EQ(toUtf8(formatDateText(frame(kJune22), s).text), "PM PM am PM");
  settings::setText(s.customDateFormats[0], u"%p %p");
  EXPECT_EQ(toUtf8(formatDateText(frame(kJune22), s).text), "pm PM");
  // Only entry 0 with "%p" in the format gets the rule.
  settings::setText(s.customDateFormats[0], u"AM");
  EXPECT_EQ(toUtf8(formatDateText(frame(kJune22), s).text), "AM");
}

TEST(DateText, LinesCaseAndLanguageRules) {
  settings::StampSettings s;
  s.language = 0;
  s.dateCode.formatIndex = 0;
  settings::setText(s.customDateFormats[0], u"%Y\\n%m\\n%d\\n%H");
  StampText t = formatDateText(frame(kJune22), s);
  EXPECT_EQ(toUtf8(t.text), "2003\r06\r22\r21");
  EXPECT_EQ(t.lineCount, 4);

  // Upper case uses the root locale: Turkish i becomes I, not a dotted capital.
  EXPECT_EQ(dateText(27, 4, kJune22, true), "PAZAR 22 HAZIRAN 2003");
  EXPECT_EQ(dateText(12, 2, kYearEnd, true), "31 DEZEMBER 1999");
  // Czech names on list 3.
  EXPECT_EQ(dateText(7, 2, kJune22), "22 červen 2003");
  // No date in the frame: a single space.
  dv::DvFrameInfo info = frame(kJune22);
  info.hasDate = 0;
  t = formatDateText(info, s);
  EXPECT_EQ(toUtf8(t.text), " ");
  EXPECT_EQ(t.lineCount, 1);
}

TEST(DateText, EntriesOutsideTheListFallBackToTheDefaultEntry) {
  EXPECT_EQ(dateText(1, 5, kJune22), "2003年6月22日");
  EXPECT_EQ(dateText(0, 7, kJune22), "2003-06-22");
  EXPECT_EQ(dateText(0, -3, kJune22), "2003-06-22");
  EXPECT_EQ(dateText(2, 1000, kJune22), "Jun-22-2003");
  // Languages outside the table use list 3 (or 0 when negative) and the "C" locale.
  EXPECT_EQ(dateText(99, 1, kJune22), "Sunday, June 22, 2003");
  EXPECT_EQ(dateText(-5, 1, kJune22), "2003-06-22");
}

TEST(TimeText, BuiltInEntries) {
  const std::vector<std::string> june22 = {"21:50:38", "21:50", "9:50:38pm", "9:50pm", "21:50:38", "21:50",
                                           "09:50:38pm", "09:50pm", "21:50:38:02", "21:50:38:02",
                                           "21:50:38.080", "21:50:38.080", "21:50:38:02", "21:50:38"};
  const std::vector<std::string> newYear = {"9:05:07", "9:05", "9:05:07am", "9:05am", "09:05:07", "09:05",
                                            "09:05:07am", "09:05am", "9:05:07:02", "09:05:07:02",
                                            "9:05:07.080", "09:05:07.080", "09:05:07:02", "09:05:07"};
  const std::vector<std::string> midnight = {"0:00:00", "0:00", "12:00:00am", "12:00am", "00:00:00", "00:00",
                                             "12:00:00am", "12:00am", "0:00:00:02", "00:00:00:02",
                                             "0:00:00.080", "00:00:00.080", "00:00:00:02", "00:00:00"};
  for (int entry = 1; entry <= 14; ++entry) {
    const size_t i = static_cast<size_t>(entry - 1);
    EXPECT_EQ(timeText(entry, kJune22, false, 2, 2), june22[i]) << "entry " << entry;
    EXPECT_EQ(timeText(entry, kNewYear, false, 2, 2), newYear[i]) << "entry " << entry;
    EXPECT_EQ(timeText(entry, kLeapDay, false, 2, 2), midnight[i]) << "entry " << entry;
  }
  EXPECT_EQ(timeText(3, kYearEnd), "12:00:00pm");
  EXPECT_EQ(timeText(8, kMonthEnd), "11:59pm");
}

TEST(TimeText, CaseStepsAndSuffixes) {
  EXPECT_EQ(timeText(3, kJune22, true), "9:50:38PM");
  EXPECT_EQ(timeText(7, kNewYear, true), "09:05:07AM");
  // Entry 9 ignores upper case and appends the frame.
  EXPECT_EQ(timeText(9, kJune22, true, 2, 2), "21:50:38:02");
  // Milliseconds: 625/50 frame * 40; 525/60 rounded to the nearest.
  EXPECT_EQ(timeText(11, kJune22, false, 2, 5), "21:50:38.200");
  EXPECT_EQ(timeText(11, kJune22, false, 1, 6), "21:50:38.200");
  EXPECT_EQ(timeText(12, kNewYear, false, 1, 29), "09:05:07.967");
  EXPECT_EQ(timeText(12, kNewYear, false, 1, 0), "09:05:07.000");
  EXPECT_EQ(timeText(10, kNewYear, false, 1, 29), "09:05:07:29");
  // Out of the list: entry 1.
  EXPECT_EQ(timeText(15, kJune22), "21:50:38");
  EXPECT_EQ(timeText(-1, kJune22), "21:50:38");
}

TEST(TimeText, CustomFormatUsesTheStampLanguage) {
  settings::StampSettings s;
  s.timeCode.formatIndex = 0;
  s.language = 0;
  EXPECT_EQ(toUtf8(formatTimeText(frame(kJune22), s).text), "21:50:38 EST");
  settings::setText(s.customTimeFormat, u"%#I:%M %p");
  EXPECT_EQ(toUtf8(formatTimeText(frame(kJune22), s).text), "9:50 pm");
  s.timeCode.uppercase = true;
  EXPECT_EQ(toUtf8(formatTimeText(frame(kJune22), s).text), "9:50 PM");
  s.timeCode.uppercase = false;
  s.language = 1;
  EXPECT_EQ(toUtf8(formatTimeText(frame(kJune22), s).text), "9:50 下午");
  settings::setText(s.customTimeFormat, u"%X\\n%#c");
  StampText t = formatTimeText(frame(kNewYear), s);
  EXPECT_EQ(toUtf8(t.text), "09:05:07\r2005年1月1日 09:05:07");
  EXPECT_EQ(t.lineCount, 2);
  s.language = 0;
  EXPECT_EQ(toUtf8(formatTimeText(frame(kNewYear), s).text), "9:05:07 AM\rSaturday, January 1, 2005 9:05:07 AM");
  dv::DvFrameInfo info = frame(kJune22);
  info.hasTime = 0;
  EXPECT_EQ(toUtf8(formatTimeText(info, s).text), " ");
}

TEST(Formatter, ConversionsAndHashFlag) {
  const FormatLocale& english = formatLocale(0);
  const FormatLocale& c = formatLocale(kCLanguage);
  EXPECT_EQ(toUtf8(formatTime(u"%#d|%#m|%#H|%#I|%#M|%#S|%#y|%#Y|%#j|%#w", kNewYear, english)), "1|1|9|9|5|7|5|2005|1|6");
  EXPECT_EQ(toUtf8(formatTime(u"%d|%m|%H|%I|%M|%S|%y|%Y|%j|%w", kNewYear, english)), "01|01|09|09|05|07|05|2005|001|6");
  EXPECT_EQ(toUtf8(formatTime(u"%#M:%#S %#H", kLeapDay, english)), "0:0 0");
  // Day of year, weeks starting Sunday / Monday.
  EXPECT_EQ(toUtf8(formatTime(u"%j %U %W", kJune22, english)), "173 25 24");
  EXPECT_EQ(toUtf8(formatTime(u"%j %U %W", kYearEnd, english)), "365 52 52");
  EXPECT_EQ(toUtf8(formatTime(u"%j", kLeapDay, english)), "060");
  EXPECT_EQ(toUtf8(formatTime(u"%#U|%#W", kNewYear, english)), "0|0");
  // The flag does nothing on names; %% and unknown codes; a lone % at the end.
  EXPECT_EQ(toUtf8(formatTime(u"%#a %#B %#p %#% %q %#k 100%", kJune22, english)), "Sun June PM % %q %#k 100%");
  // The runtime's "C" locale.
  EXPECT_EQ(toUtf8(formatTime(u"%x|%X|%c", kJune22, c)), "06/22/03|21:50:38|06/22/03 21:50:38");
  EXPECT_EQ(toUtf8(formatTime(u"%x|%X|%#x", kJune22, english)), "6/22/2003|9:50:38 PM|Sunday, June 22, 2003");
  EXPECT_EQ(toUtf8(formatTime(u"%x|%X|%p", kJune22, formatLocale(1))), "2003/6/22|21:50:38|下午");
}

// %z and %Z: the machine's UTC offset and zone abbreviation at the recorded time (daylight saving
// time included), whatever the zone.
TEST(Formatter, ZoneOffsetAndAbbreviationOfTheMachine) {
  const char* saved = std::getenv("TZ");
  const std::string before = saved ? saved : "";
  const FormatLocale& english = formatLocale(0);
  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  ::tzset();
  const std::string summer = toUtf8(formatTime(u"%z %Z|%#z", kJune22, english));
  const std::string winter = toUtf8(formatTime(u"%z %Z", kNewYear, english));
  ::setenv("TZ", "IST-5:30", 1);
  ::tzset();
  const std::string india = toUtf8(formatTime(u"%z %Z", kJune22, english));
  if (saved) ::setenv("TZ", before.c_str(), 1); else ::unsetenv("TZ");
  ::tzset();
  EXPECT_EQ(summer, "+0200 CEST|+0200");
  EXPECT_EQ(winter, "+0100 CET");
  EXPECT_EQ(india, "+0530 IST");
}

TEST(Formatter, OutOfRangeFieldsPrintQuestionMarks) {
  // A corrupt units nibble: day 45, month 25 (index 24), hour 45, minute and second 85.
  std::tm bad = at(2003, 25, 45, 45, 85, 85, 9);
  const FormatLocale& english = formatLocale(0);
  EXPECT_EQ(toUtf8(formatTime(u"%Y-%m-%d %H:%M:%S", bad, english)), q("2003-Q-Q Q:Q:Q"));
  EXPECT_EQ(toUtf8(formatTime(u"%a %A %b %B %p %I %j %U %W %w", bad, english)), q("Q Q Q Q Q Q Q Q Q Q"));
  EXPECT_EQ(toUtf8(formatTime(u"%x %X", bad, english)), q("Q/Q/2003 Q:Q:Q Q"));
  EXPECT_EQ(toUtf8(formatTime(u"%#x", bad, formatLocale(1))), q("2003年Q月Q日"));
  // Negative fields (an adjustment past the range) are treated alike.
  bad = at(2003, 0, 0, -1, -1, -1, -1);
  EXPECT_EQ(toUtf8(formatTime(u"%B %#d %#H:%M:%S %A", bad, english)), q("Q Q Q:Q:Q Q"));
  // And through the stamp text, in every language.
  for (int language = 0; language < kLanguageCount; ++language) {
    for (int entry = 0; entry < 8; ++entry) {
      const std::string text = dateText(language, entry, at(2003, 16, 45, 45, 85, 85, 7));
      EXPECT_NE(text.find("??"), std::string::npos) << language << " " << entry << " " << text;
    }
  }
}

TEST(Formatter, TextsAreCutAt99CodeUnits) {
  const FormatLocale& english = formatLocale(0);
  std::u16string format;
  for (int i = 0; i < 20; ++i) format += u"%A ";
  const std::u16string text = formatTime(format, kJune22, english);
  EXPECT_EQ(text.size(), 99u);
  EXPECT_EQ(toUtf8(text.substr(0, 14)), "Sunday Sunday ");
  // Never half a surrogate pair at the cut.
  std::u16string emoji = u"xx";
  for (int i = 0; i < 60; ++i) emoji += u"\U0001F600";
  const std::u16string cut = formatTime(emoji, kJune22, english);
  EXPECT_EQ(cut.size(), 98u);
  EXPECT_TRUE(cut.back() >= 0xDC00 && cut.back() <= 0xDFFF);
  // Upper case can lengthen a text; the stamp text stays within the limit.
  settings::StampSettings s;
  s.language = 12;
  s.dateCode.formatIndex = 0;
  s.dateCode.uppercase = true;
  settings::setText(s.customDateFormats[3], std::u16string(99, u'ß'));
  const StampText upper = formatDateText(frame(kJune22), s);
  EXPECT_EQ(upper.text.size(), 99u);
  EXPECT_EQ(upper.lineCount, 1);
}

TEST(Formatter, EveryLanguageHasNamesAndPatterns) {
  for (int language = 0; language < kLanguageCount; ++language) {
    const FormatLocale& loc = formatLocale(language);
    for (int m = 0; m < 12; ++m) EXPECT_FALSE(loc.monthsFull[static_cast<size_t>(m)].empty()) << language;
    for (int d = 0; d < 7; ++d) EXPECT_FALSE(loc.weekdaysFull[static_cast<size_t>(d)].empty()) << language;
    EXPECT_NE(loc.monthsFull[0], u"??") << language;
    const std::u16string text = formatTime(u"%B|%#x|%x|%X|%c|%p", kJune22, loc);
    EXPECT_EQ(text.find(u"??"), std::u16string::npos) << language << " " << toUtf8(text);
    EXPECT_NE(text.find(u"2003"), std::u16string::npos) << language << " " << toUtf8(text);
  }
}

TEST(Formatter, TwoThreadsFormatInTwoLanguages) {
  const std::string english = dateText(3, 4, kJune22);
  const std::string chinese = dateText(1, 2, kJune22);
  std::vector<std::string> a, b;
  std::thread t1([&] {
    for (int i = 0; i < 300; ++i) a.push_back(dateText(3, 4, kJune22));
  });
  std::thread t2([&] {
    for (int i = 0; i < 300; ++i) b.push_back(dateText(1, 2, kJune22));
  });
  t1.join();
  t2.join();
  for (const auto& s : a) ASSERT_EQ(s, english);
  for (const auto& s : b) ASSERT_EQ(s, chinese);
  EXPECT_EQ(english, "Sunday 22 June 2003");
  EXPECT_EQ(chinese, "2003年6月22日 星期日");
}

TEST(CustomFormat, AnalysisIsPlainSubstringTests) {
  EXPECT_TRUE(analyseCustomFormat(u"%Y-%m-%d").hasDate);
  EXPECT_FALSE(analyseCustomFormat(u"%Y-%m-%d").hasTime);
  EXPECT_TRUE(analyseCustomFormat(u"%#H:%M").hasTime);
  EXPECT_FALSE(analyseCustomFormat(u"%#H:%M").hasDate);
  const FormatFields onlyHour12 = analyseCustomFormat(u"%I %p");
  EXPECT_FALSE(onlyHour12.hasDate);
  EXPECT_FALSE(onlyHour12.hasTime);
  const FormatFields both = analyseCustomFormat(u"%#c");
  EXPECT_TRUE(both.hasDate);
  EXPECT_FALSE(both.hasTime);  // %c alone is counted as a date field only
  EXPECT_TRUE(analyseCustomFormat(u"%X").hasTime);
}

TEST(CustomFormat, SampleUsesTheGivenLanguage) {
  EXPECT_EQ(toUtf8(formatSample(u"%#x %A", 1, kJune22)), "2003年6月22日 星期日");
  EXPECT_EQ(toUtf8(formatSample(u"%B", 12, kJune22)), "Juni");
  EXPECT_EQ(toUtf8(formatSample(u"a\\nb", 0, kJune22)), "a\\nb");
}

}  // namespace
}  // namespace kelo::render

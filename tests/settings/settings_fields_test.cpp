// The field table: its layout against the file format, by-name access and the limits checks.
#include "settings/SettingsFields.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/FieldTable.h"
#include "settings/SettingsImage.h"
#include "settings/StampSettings.h"

namespace kelo::settings {
namespace {

// The tables must tile the image exactly: a wrong offset or width would shift every later field.
template <class R>
int checkTiling(std::span<const detail::Field<R>> fields, int start) {
  int at = start;
  for (const auto& f : fields) {
    EXPECT_EQ(f.offset, at) << f.name;
    at = f.offset + detail::fieldBytes(f);
  }
  return at;
}

TEST(SettingsFieldTable, TilesTheImageAndTheCodeBlock) {
  EXPECT_EQ(checkTiling(detail::globalFields(), 0), detail::kDateCodeOffset);
  EXPECT_EQ(checkTiling(detail::codeFields(), 0), static_cast<int>(kCodeBlockSize));
  EXPECT_EQ(detail::kTimeCodeOffset, detail::kDateCodeOffset + static_cast<int>(kCodeBlockSize));
  EXPECT_EQ(detail::kTimeCodeOffset + kCodeBlockSize, kSettingsImageSize);
}

TEST(SettingsFieldTable, NamesAreUniqueAndDotted) {
  const auto& fields = settingsFields();
  EXPECT_EQ(fields.size(), 18u + 2 * 40u + 6u);
  for (std::size_t i = 0; i < fields.size(); ++i)
    for (std::size_t j = i + 1; j < fields.size(); ++j) EXPECT_NE(fields[i].name, fields[j].name);
  ASSERT_NE(findField("timeCode.font.lfFaceName"), nullptr);
  EXPECT_EQ(findField("timeCode.font.lfFaceName")->capacity, 32u);
  EXPECT_EQ(findField("dateCode.transparency")->max, 90);
  EXPECT_EQ(findField("nonsense"), nullptr);
}

TEST(SettingsFieldAccess, GetsAndSetsByName) {
  StampSettings s;
  std::u16string msg;
  EXPECT_EQ(setFieldFromString(s, "dateCode.transparency", "50", msg), 0);
  EXPECT_EQ(s.dateCode.transparency, 50);
  EXPECT_EQ(s.timeCode.transparency, 0);
  EXPECT_EQ(setFieldFromString(s, "timeCode.corner", "TopCentre", msg), 0);
  EXPECT_EQ(s.timeCode.corner, CornerPreset::TopCentre);
  EXPECT_EQ(setFieldFromString(s, "timeCode.intervalMode", "Periodic", msg), 0);
  EXPECT_EQ(s.timeCode.intervalMode, IntervalMode::Periodic);
  EXPECT_EQ(setFieldFromString(s, "previewSize", "Size720x405", msg), 0);
  EXPECT_EQ(s.previewSize, PreviewSize::Size720x405);
  EXPECT_EQ(setFieldFromString(s, "safeArea", "true", msg), 0);
  EXPECT_TRUE(s.safeArea);
  EXPECT_EQ(setFieldFromString(s, "timeCode.font.lfFaceName", "文泉驿微米黑", msg), 0);
  EXPECT_EQ(textOf(s.timeCode.font.lfFaceName), u"文泉驿微米黑");
  EXPECT_EQ(setFieldFromString(s, "customDateFormats.3", "%d/%m", msg), 0);
  EXPECT_EQ(textOf(s.customDateFormats[3]), u"%d/%m");
  EXPECT_EQ(setFieldFromString(s, "adjustYears", "-50", msg), 0);
  EXPECT_EQ(s.adjustYears, -50);

  int32_t v = 0;
  EXPECT_TRUE(getNumber(s, "dateCode.font.lfWeight", v));
  EXPECT_EQ(v, 700);
  std::u16string text;
  EXPECT_TRUE(getText(s, "outputNamePattern", text));
  EXPECT_EQ(text, u"@N-20@F@f-@L@l");
  EXPECT_FALSE(getText(s, "language", text));
  EXPECT_FALSE(getNumber(s, "outputFolder", v));
}

TEST(SettingsFieldAccess, RefusesBadValuesAndLeavesTheRecord) {
  struct Case {
    const char* name;
    std::string value;
    const char16_t* message;
  };
  const Case cases[] = {
      {"dateCode.transparency", "91", u"dateCode.transparency 的值 91 超出范围 0 … 90。"},
      {"adjustMonths", "-12", u"adjustMonths 的值 -12 超出范围 -11 … 11。"},
      {"timeCode.enabled", "2", u"timeCode.enabled 的值 2 超出范围 0 … 1。"},
      {"dateCode.corner", "Middle", u"dateCode.corner 的值不是整数：Middle。"},
      {"language", "1x", u"language 的值不是整数：1x。"},
      {"language", "99999999999", u"language 的值不是整数：99999999999。"},
      {"dateCode.bogus", "1", u"没有这个设置：dateCode.bogus。"},
      {"outputNamePattern", std::string(100, 'p'), u"outputNamePattern 的文字太长了(100 个字符，最多 99 个)。"},
      {"outputFolder", std::string(128, 'f'), u"outputFolder 的文字太长了(128 个字符，最多 127 个)。"},
  };
  for (const Case& c : cases) {
    StampSettings s;
    const StampSettings before = s;
    std::u16string msg;
    EXPECT_EQ(setFieldFromString(s, c.name, c.value, msg), 1) << c.name;
    EXPECT_EQ(msg, c.message) << c.name;
    EXPECT_TRUE(s == before) << c.name;
  }
}

TEST(SettingsFieldAccess, NinetyNineCharacterPatternIsKept) {
  StampSettings s;
  std::u16string msg;
  EXPECT_EQ(setFieldFromString(s, "outputNamePattern", std::string(99, 'p'), msg), 0);
  EXPECT_EQ(textOf(s.outputNamePattern).size(), 99u);
}

TEST(SettingsValidation, DefaultsPass) {
  std::u16string msg;
  EXPECT_EQ(validateSettings(StampSettings{}, msg), 0) << std::string(msg.begin(), msg.end());
  EXPECT_EQ(validateFadeLengths(StampSettings{}, msg), 0);
}

TEST(SettingsValidation, CrossFieldRules) {
  std::u16string msg;
  {
    StampSettings s;
    s.language = 1;  // Chinese: the date list has 3 entries
    s.dateCode.formatIndex = 3;
    EXPECT_EQ(validateSettings(s, msg), 1);
    EXPECT_EQ(msg, u"dateCode.formatIndex 的值 3 超出范围 0 … 2。");
    s.language = 2;
    EXPECT_EQ(validateSettings(s, msg), 0);
  }
  {
    StampSettings s;
    s.timeCode.formatIndex = 14;
    EXPECT_EQ(validateSettings(s, msg), 0);
    s.dateCode.intervalMode = IntervalMode::BetweenMarkersZeroTime;
    EXPECT_EQ(validateSettings(s, msg), 1);
    EXPECT_EQ(msg, u"dateCode.intervalMode 的值 6 超出范围 0 … 5。");
  }
  {
    StampSettings s;
    s.timeCode.isDateCode = true;
    EXPECT_EQ(validateSettings(s, msg), 1);
    EXPECT_EQ(msg, u"timeCode.isDateCode 的值 1 超出范围 0 … 0。");
  }
  {
    StampSettings s;
    s.timeCode.periodSeconds = 60;
    s.timeCode.periodLengthSeconds = 60;
    EXPECT_EQ(validateSettings(s, msg), 1);
    EXPECT_EQ(msg, u"timeCode.periodLengthSeconds：加码区间长度(60 秒)必须小于周期长度(60 秒)");
  }
  {
    StampSettings s;
    for (char16_t& c : s.outputFolder) c = u'x';
    EXPECT_EQ(validateSettings(s, msg), 1);
    EXPECT_EQ(msg, u"outputFolder 的文字没有结尾。");
  }
}

TEST(SettingsValidation, FadeMustFitTheStampedSecondsOfModesOneToFour) {
  StampSettings s;
  std::u16string msg;
  s.dateCode.intervalMode = IntervalMode::OnSceneChange;
  s.dateCode.sceneSeconds = 3;
  s.dateCode.fadeSeconds = 2;
  EXPECT_EQ(validateFadeLengths(s, msg), 0) << "fade off";
  s.dateCode.fadeOn = true;
  EXPECT_EQ(validateFadeLengths(s, msg), 1);
  EXPECT_EQ(msg, u"dateCode.fadeSeconds：淡入/淡出长度(2 秒)的两倍超过了加码区间长度(3 秒)。");
  s.dateCode.fadeSeconds = 1;
  EXPECT_EQ(validateFadeLengths(s, msg), 0);
  s.dateCode.intervalMode = IntervalMode::BetweenMarkers;
  s.dateCode.fadeSeconds = 30;
  EXPECT_EQ(validateFadeLengths(s, msg), 0) << "no fade check between markers";
}

}  // namespace
}  // namespace kelo::settings

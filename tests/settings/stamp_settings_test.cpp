// Defaults of the settings record and the fixed text helpers.
#include "settings/StampSettings.h"

#include <gtest/gtest.h>

#include <string>

namespace kelo::settings {
namespace {

TEST(StampSettingsDefaults, ResetGivesThePerCodeDefaults) {
  StampSettings s;
  s.dateCode.customHasDate = true;
  s.timeCode.corner = CornerPreset::TopLeft;
  s.dateCode.x = 300;
  s.language = 0;
  setText(s.projectPath, u"/home/x/p.zev");
  resetToDefaults(s);

  EXPECT_TRUE(s.dateCode.customHasTime);
  EXPECT_FALSE(s.timeCode.customHasTime);
  EXPECT_FALSE(s.dateCode.customHasDate);
  EXPECT_FALSE(s.timeCode.customHasDate);
  EXPECT_EQ(s.dateCode.corner, CornerPreset::BottomLeft);
  EXPECT_EQ(s.timeCode.corner, CornerPreset::BottomRight);
  for (const StampCodeSettings* c : {&s.dateCode, &s.timeCode}) {
    EXPECT_EQ(c->x, 64);
    EXPECT_EQ(c->y, 64);
    EXPECT_EQ(c->font, defaultFont());
    EXPECT_EQ(c->pointSizeTenths, 220);
    EXPECT_EQ(c->outlineBrightness, -220);
    EXPECT_EQ(c->periodSeconds, 60);
    EXPECT_TRUE(c->enabled);
  }
  EXPECT_TRUE(s.dateCode.isDateCode);
  EXPECT_FALSE(s.timeCode.isDateCode);
  EXPECT_EQ(s.language, 1);
  EXPECT_TRUE(s.idle);
  EXPECT_TRUE(s.markersInOneFile);
  EXPECT_EQ(textOf(s.outputNamePattern), u"@N-20@F@f-@L@l");
  EXPECT_EQ(textOf(s.projectPath), u"");
  EXPECT_EQ(textOf(s.dateCode.font.lfFaceName), u"Arial");
  EXPECT_EQ(s.dateCode.font.lfHeight, -29);
  EXPECT_EQ(s.dateCode.font.lfPitchAndFamily, 0x12);
}

TEST(StampSettingsDefaults, ResetKeepsCompanionsAndRunTimeFlags) {
  StampSettings s;
  setText(s.customDateFormats[2], u"%d.%m.%Y");
  setText(s.customTimeFormat, u"%H");
  setText(s.outputFolder, u"/media/out");
  s.projectModified = true;
  resetToDefaults(s);
  EXPECT_EQ(textOf(s.customDateFormats[2]), u"%d.%m.%Y");
  EXPECT_EQ(textOf(s.customTimeFormat), u"%H");
  EXPECT_EQ(textOf(s.outputFolder), u"/media/out");
  EXPECT_TRUE(s.projectModified);
}

TEST(StampSettingsDefaults, InitialCustomFormatsKeepBackslashN) {
  const StampSettings s;
  EXPECT_EQ(textOf(s.customDateFormats[0]), u"%Y-%m-%d\\n%#I:%M:%S%p");
  EXPECT_EQ(textOf(s.customDateFormats[3]), u"%#x\\n%#I:%M:%S%p");
  EXPECT_EQ(textOf(s.customTimeFormat), u"%#H:%M:%S EST");
  EXPECT_EQ(customDateSlot(1), 1);
  EXPECT_EQ(customDateSlot(17), 3);
}

TEST(StampSettingsDefaults, ShorterDateListResetsTheDateFormatIndex) {
  StampSettings s;
  changeLanguage(s, 0);
  s.dateCode.formatIndex = 6;  // last entry of list 0
  s.timeCode.formatIndex = 6;
  changeLanguage(s, 1);         // 3 entries
  EXPECT_EQ(s.language, 1);
  EXPECT_EQ(s.dateCode.formatIndex, 1);
  EXPECT_EQ(s.timeCode.formatIndex, 6);
  s.dateCode.formatIndex = 2;
  changeLanguage(s, 0);
  EXPECT_EQ(s.dateCode.formatIndex, 2);
}

TEST(StampSettingsText, CutsToCapacityMinusOne) {
  StampSettings s;
  const std::u16string exact(99, u'a');
  EXPECT_FALSE(setText(s.outputNamePattern, exact));
  EXPECT_EQ(textOf(s.outputNamePattern), exact);

  EXPECT_TRUE(setText(s.outputNamePattern, std::u16string(100, u'b')));
  EXPECT_EQ(textOf(s.outputNamePattern), std::u16string(99, u'b'));
  EXPECT_EQ(s.outputNamePattern[99], u'\0');

  EXPECT_TRUE(setText(s.outputFolder, std::u16string(300, u'c')));
  EXPECT_EQ(textOf(s.outputFolder).size(), 127u);
}

TEST(StampSettingsText, ShorterTextClearsTheOldTail) {
  StampSettings s;
  setText(s.projectPath, u"/a/long/path/name.zev");
  setText(s.projectPath, u"/b");
  EXPECT_EQ(s.projectPath[3], u'\0');
  EXPECT_EQ(s.projectPath[10], u'\0');
}

TEST(StampSettingsText, NeverKeepsHalfASurrogatePair) {
  char16_t field[4];
  // Three code units fit; the third would be the high half of U+1F4F7.
  EXPECT_TRUE(setText(field, u"ab\U0001F4F7"));
  EXPECT_EQ(textOf(field), u"ab");
}

TEST(StampSettingsText, UnterminatedArrayReadsWhole) {
  char16_t field[3] = {u'x', u'y', u'z'};
  EXPECT_FALSE(isTerminated(field));
  EXPECT_EQ(textOf(field), u"xyz");
}

}  // namespace
}  // namespace kelo::settings

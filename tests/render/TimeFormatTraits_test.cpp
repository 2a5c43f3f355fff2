// The traits of the time format list and the read options the settings give.
#include <gtest/gtest.h>

#include "render/TimeFormatTraits.h"
#include "settings/StampSettings.h"

namespace kelo::render {
namespace {

TEST(TimeFormatTraits, FollowTheListAndGiveTheReadOptions) {
  // The entries with a frame or millisecond part are exactly those the list gives a suffix.
  for (int i = 0; i < kTimeListLength; ++i)
    EXPECT_EQ(timeFormatTraits(i).perFrame, kTimeFormatList[size_t(i)].suffix != TimeSuffix::None && i < 13) << i;
  EXPECT_FALSE(timeFormatTraits(-1).tapeTimecode);
  EXPECT_FALSE(timeFormatTraits(kTimeListLength).zeroTimeCapture);

  settings::StampSettings s;
  s.adjustDays = -3;
  s.adjustSeconds = 400;  // beyond the limit: clamped
  s.tapeTimecodeAsTcb = true;
  s.timeCode.formatIndex = 13;
  const dv::DateTimeReadOptions o = dateTimeReadOptions(s);
  EXPECT_TRUE(o.wantTapeTimecode);
  EXPECT_EQ(o.adjustment.days, -3);
  const dv::DateTime t = dv::applyTimeAdjustment({2003, 6, 22, 10, 0, 0}, o.adjustment);
  EXPECT_EQ(t.day, 19);
  EXPECT_EQ(t.minutes, 0);
  EXPECT_EQ(t.seconds, 59);
  s.timeCode.formatIndex = 12;
  EXPECT_FALSE(dateTimeReadOptions(s).wantTapeTimecode);
  s.timeCode.formatIndex = 14;
  s.tapeTimecodeAsTcb = false;
  EXPECT_FALSE(dateTimeReadOptions(s).wantTapeTimecode);
}

}  // namespace
}  // namespace kelo::render

// Reading recording date, time and tape timecode from the subcode packs, the user's time
// adjustment and frame-count timecodes.
#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <vector>

#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "codec_media.h"
#include "dv/VideoProfile.h"
#include "support/TestUtil.h"

namespace kelo::dv {
namespace {

using Pack = std::array<uint8_t, 5>;

// A 625/50 frame with every subcode pack slot empty.
std::vector<uint8_t> emptyFrame() {
  std::vector<uint8_t> f(size_t(test::palProfile().frameBytes), 0xFF);
  return f;
}

void putSubcodePack(std::vector<uint8_t>& f, int sequence, int block, int n, const Pack& p) {
  std::copy(p.begin(), p.end(), f.begin() + long(subcodeOffset(sequence, block) + size_t(subcodePackOffset(n))));
}

Pack datePack(int year2, int month, int day) { return {0x62, 0xFF, uint8_t(0xC0 | encodeBcd(day)), encodeBcd(month), encodeBcd(year2)}; }
Pack timePack(int h, int m, int s) { return {0x63, 0xFF, uint8_t(0x80 | encodeBcd(s)), uint8_t(0x80 | encodeBcd(m)), uint8_t(0xC0 | encodeBcd(h))}; }
Pack timecodePack(int h, int m, int s, int fr) { return {0x13, encodeBcd(fr), uint8_t(0x80 | encodeBcd(s)), uint8_t(0x80 | encodeBcd(m)), uint8_t(0xC0 | encodeBcd(h))}; }

int read(DvFrameInfo& info, const std::vector<uint8_t>& f, DateTimeReadOptions o = {}) {
  return readRecordedDateTime(info, o, f.data(), f.size());
}

TEST(FramePacks, YearWindowPivotsAt95) {
  struct Case { int digits; int year; };
  for (Case c : {Case{24, 2024}, Case{25, 2025}, Case{0, 2000}, Case{94, 2094}, Case{95, 1995}, Case{99, 1999}}) {
    auto f = emptyFrame();
    putSubcodePack(f, 0, 0, 0, datePack(c.digits, 6, 22));
    putSubcodePack(f, 0, 0, 1, timePack(1, 2, 3));
    DvFrameInfo info;
    ASSERT_EQ(read(info, f), 0);
    EXPECT_EQ(info.recorded.tm_year + 1900, c.year) << c.digits;
  }
}

TEST(FramePacks, FillsEveryFieldOfTheRecord) {
  auto f = emptyFrame();
  putSubcodePack(f, 0, 1, 5, datePack(3, 6, 22));
  putSubcodePack(f, 6, 0, 0, timePack(21, 50, 38));
  DvFrameInfo info;
  ASSERT_EQ(read(info, f), 0);
  EXPECT_TRUE(info.hasDate);
  EXPECT_TRUE(info.hasTime);
  EXPECT_FALSE(info.timecodeFound);
  EXPECT_EQ(info.recorded.tm_year, 103);
  EXPECT_EQ(info.recorded.tm_mon, 5);
  EXPECT_EQ(info.recorded.tm_mday, 22);
  EXPECT_EQ(info.recorded.tm_hour, 21);
  EXPECT_EQ(info.recorded.tm_min, 50);
  EXPECT_EQ(info.recorded.tm_sec, 38);
  EXPECT_EQ(info.recorded.tm_wday, 0);  // a Sunday
  EXPECT_EQ(info.recorded.tm_yday, -1);
  EXPECT_EQ(info.recorded.tm_isdst, -1);
  EXPECT_EQ(info.dateKey, 2003 * 2048 + 6 * 64 + 22);
  EXPECT_EQ(info.secondsOfDay, 21 * 3600 + 50 * 60 + 38);
}

TEST(FramePacks, MissingOrUnsetPacks) {
  DvFrameInfo info;
  auto f = emptyFrame();
  putSubcodePack(f, 0, 0, 0, datePack(5, 3, 7));
  putSubcodePack(f, 0, 0, 1, timePack(23, 59, 55));
  ASSERT_EQ(read(info, f), 0);
  const std::tm before = info.recorded;
  const int key = info.dateKey;

  // No packs at all: "no date", and the previous frame's values stay.
  auto none = emptyFrame();
  EXPECT_EQ(read(info, none), kStatusNoPacks);
  EXPECT_FALSE(info.hasDate);
  EXPECT_FALSE(info.hasTime);
  EXPECT_EQ(info.dateKey, key);
  EXPECT_EQ(info.recorded.tm_sec, before.tm_sec);

  // Date pack with an unset year, time present.
  auto unset = emptyFrame();
  putSubcodePack(unset, 0, 0, 0, {0x62, 0xFF, 0xFF, 0xFF, 0xFF});
  putSubcodePack(unset, 0, 0, 1, timePack(1, 1, 1));
  EXPECT_EQ(read(info, unset), kStatusDateUnset);
  EXPECT_FALSE(info.hasDate);
  EXPECT_TRUE(info.hasTime);
  EXPECT_EQ(info.dateKey, key);

  // A valid date pack later in the frame clears the bit again.
  putSubcodePack(unset, 6, 1, 3, datePack(4, 2, 29));
  EXPECT_EQ(read(info, unset), 0);
  EXPECT_EQ(info.recorded.tm_mday, 29);

  // Time pack with unset hours, no date: both reasons reported.
  auto both = emptyFrame();
  putSubcodePack(both, 6, 0, 2, {0x63, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(read(info, both), kStatusTimeUnset);
}

TEST(FramePacks, NeverReadsPastTheGivenBytes) {
  // Date and time only in sequence 6: a frame cut before it has no date, and ASan sees no read
  // beyond the copy's end.
  auto f = emptyFrame();
  putSubcodePack(f, 6, 0, 1, datePack(3, 6, 22));
  putSubcodePack(f, 6, 0, 2, timePack(21, 50, 38));
  for (size_t len : {size_t(0), size_t(100), size_t(240), size_t(72000), size_t(72159), size_t(72239)}) {
    std::vector<uint8_t> cut(f.begin(), f.begin() + long(len));
    cut.shrink_to_fit();
    DvFrameInfo info;
    const int st = readRecordedDateTime(info, DateTimeReadOptions{}, len ? cut.data() : nullptr, cut.size());
    if (len >= 72160) {
      EXPECT_EQ(st, 0) << len;
    } else {
      EXPECT_EQ(st, kStatusNoPacks) << len;
    }
  }
}

TEST(FramePacks, CorruptDigitsNeverGiveAMonthOrWeekdayOutOfRange) {
  for (int b = 0; b < 256; b += 3) {
    auto f = emptyFrame();
    putSubcodePack(f, 0, 0, 0, {0x62, 0xFF, uint8_t(b), uint8_t(255 - b), uint8_t(b ^ 0x5A)});
    putSubcodePack(f, 0, 0, 1, {0x63, 0xFF, uint8_t(b), uint8_t(b), uint8_t(b == 0xFF ? 0 : b)});
    DvFrameInfo info;
    if (read(info, f, {{50, 11, 16, 23, 59, 59}, false}) != 0) continue;
    EXPECT_GE(info.recorded.tm_mon, 0) << b;
    EXPECT_LE(info.recorded.tm_mon, 11) << b;
    EXPECT_GE(info.recorded.tm_wday, 0);
    EXPECT_LE(info.recorded.tm_wday, 6);
  }
}

TEST(FramePacks, TapeTimecodeStatusAcrossAFile) {
  const DateTimeReadOptions want{{}, true};
  auto withTc = emptyFrame();
  putSubcodePack(withTc, 0, 0, 0, timecodePack(1, 2, 3, 4));
  putSubcodePack(withTc, 6, 0, 1, datePack(3, 6, 22));
  putSubcodePack(withTc, 6, 0, 2, timePack(21, 50, 38));
  auto withoutTc = withTc;
  putSubcodePack(withoutTc, 0, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF});

  DvFrameInfo info;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(read(info, withTc, want), 0);
    EXPECT_EQ(info.timecodeStatus, kTimecodeInUse);
  }
  EXPECT_TRUE(info.timecodeFound);
  EXPECT_EQ(info.timecodeHours, 1);
  EXPECT_EQ(info.timecodeMinutes, 2);
  EXPECT_EQ(info.timecodeSeconds, 3);
  EXPECT_EQ(info.timecodeFrames, 4);

  // A frame without the timecode: missing for the rest of the file, even where it returns. The
  // frame's own date and time are still taken.
  putSubcodePack(withoutTc, 6, 0, 2, timePack(21, 50, 39));
  EXPECT_EQ(read(info, withoutTc, want), kStatusNoPacks);
  EXPECT_EQ(info.timecodeStatus, kTimecodeMissing);
  EXPECT_FALSE(info.timecodeFound);
  EXPECT_TRUE(info.hasDate && info.hasTime);
  EXPECT_EQ(info.recorded.tm_sec, 39);
  EXPECT_EQ(read(info, withTc, want), 0);
  EXPECT_EQ(info.timecodeStatus, kTimecodeMissing);

  // Not wanted: timecode packs are ignored and the status is never decided.
  DvFrameInfo plain;
  EXPECT_EQ(read(plain, withoutTc), 0);
  EXPECT_EQ(plain.timecodeStatus, kTimecodeUndecided);
  EXPECT_FALSE(plain.timecodeFound);

  // Timecode pack with unset hours.
  auto unset = withTc;
  putSubcodePack(unset, 0, 0, 0, {0x13, 0xFF, 0xFF, 0xFF, 0xFF});
  DvFrameInfo fresh;
  EXPECT_EQ(read(fresh, unset, want), kStatusTimecodeUnset);
}

void putVauxPack(std::vector<uint8_t>& f, int sequence, int block, int j, const Pack& p) {
  std::copy(p.begin(), p.end(), f.begin() + long(vauxOffset(sequence, block) + size_t(vauxPackOffset(j))));
}

// Dropouts take subcode packs while the VAUX copies survive (and the reverse): a date or time the
// subcode holds no valid pack for comes from VAUX; subcode stays first where both are valid.
TEST(FramePacks, DamagedSubcodeFallsBackToVaux) {
  const Pack unsetDate{0x62, 0xFF, 0xFF, 0xFF, 0xFF};
  const Pack badDigits{0x62, 0xFF, 0xCA, 0x06, 0x03};  // day units nibble 10
  struct Case {
    const char* name;
    std::vector<Pack> subcode, vaux;
    int status, year, mday;
  };
  for (const Case& c : {
           Case{"subcode only", {datePack(3, 6, 22), timePack(21, 50, 38)}, {}, 0, 2003, 22},
           Case{"vaux only", {}, {datePack(4, 7, 15), timePack(1, 2, 3)}, 0, 2004, 15},
           Case{"both valid: subcode", {datePack(3, 6, 22), timePack(21, 50, 38)}, {datePack(4, 7, 15), timePack(1, 2, 3)}, 0, 2003, 22},
           Case{"subcode date unset", {unsetDate, timePack(21, 50, 38)}, {datePack(4, 7, 15)}, 0, 2004, 15},
           Case{"subcode date damaged", {badDigits, timePack(21, 50, 38)}, {datePack(4, 7, 15)}, 0, 2004, 15},
           Case{"damaged beats nothing", {badDigits, timePack(21, 50, 38)}, {}, 0, 2003, 10},
           Case{"unset everywhere", {unsetDate, timePack(21, 50, 38)}, {unsetDate}, kStatusDateUnset, 0, 0},
           Case{"time from vaux", {datePack(3, 6, 22)}, {timePack(1, 2, 3)}, 0, 2003, 22},
       }) {
    auto f = emptyFrame();
    for (size_t n = 0; n < c.subcode.size(); ++n) putSubcodePack(f, 6, 0, int(n), c.subcode[n]);
    // The VAUX copies in a late sequence: every sequence's VAUX blocks are searched.
    for (size_t j = 0; j < c.vaux.size(); ++j) putVauxPack(f, 11, 2, int(9 + j), c.vaux[j]);
    DvFrameInfo info;
    EXPECT_EQ(read(info, f), c.status) << c.name;
    if (c.status != 0) continue;
    EXPECT_EQ(info.recorded.tm_year + 1900, c.year) << c.name;
    EXPECT_EQ(info.recorded.tm_mday, c.mday) << c.name;
  }
}

// A date pack without a time pack: the frame's date is its own (the timecode formats stamp it),
// never the previous frame's or a blank one.
TEST(FramePacks, DateWithoutTimeIsTheFramesOwnDate) {
  DvFrameInfo info;
  auto first = emptyFrame();
  putSubcodePack(first, 0, 0, 0, datePack(3, 6, 22));
  EXPECT_EQ(read(info, first, {{0, 0, 1, 5, 0, 0}, false}), kStatusNoPacks);
  EXPECT_TRUE(info.hasDate);
  EXPECT_FALSE(info.hasTime);
  EXPECT_EQ(info.recorded.tm_year + 1900, 2003);
  EXPECT_EQ(info.recorded.tm_mon + 1, 6);
  EXPECT_EQ(info.recorded.tm_mday, 23);  // the day offset applies, the hour offset has nothing to carry
  EXPECT_EQ(info.recorded.tm_wday, 1);
  EXPECT_EQ(info.dateKey, (2003 * 32 + 6) * 64 + 23);

  auto full = emptyFrame();
  putSubcodePack(full, 0, 0, 0, datePack(5, 3, 7));
  putSubcodePack(full, 0, 0, 1, timePack(23, 59, 55));
  ASSERT_EQ(read(info, full), 0);
  auto dateOnly = emptyFrame();
  putSubcodePack(dateOnly, 0, 0, 0, datePack(5, 3, 8));
  read(info, dateOnly);
  EXPECT_EQ(info.recorded.tm_mday, 8);
  EXPECT_EQ(info.dateKey, (2005 * 32 + 3) * 64 + 8);
}

DateTime adjusted(DateTime v, TimeAdjustment a) { return applyTimeAdjustment(v, a); }

void expectDateTime(const DateTime& got, DateTime want) {
  EXPECT_EQ(got.year, want.year);
  EXPECT_EQ(got.month, want.month);
  EXPECT_EQ(got.day, want.day);
  EXPECT_EQ(got.hours, want.hours);
  EXPECT_EQ(got.minutes, want.minutes);
  EXPECT_EQ(got.seconds, want.seconds);
}

TEST(FramePacks, AdjustmentAcrossDayMonthYearAndLeapDays) {
  const TimeAdjustment plus15s{0, 0, 0, 0, 0, 15};
  expectDateTime(adjusted({2005, 3, 7, 23, 59, 50}, plus15s), {2005, 3, 8, 0, 0, 5});
  expectDateTime(adjusted({2005, 12, 31, 23, 59, 50}, plus15s), {2006, 1, 1, 0, 0, 5});
  expectDateTime(adjusted({2004, 2, 28, 23, 59, 50}, plus15s), {2004, 2, 29, 0, 0, 5});
  expectDateTime(adjusted({2003, 2, 28, 23, 59, 50}, plus15s), {2003, 3, 1, 0, 0, 5});
  expectDateTime(adjusted({2000, 2, 28, 23, 59, 50}, plus15s), {2000, 2, 29, 0, 0, 5});
  expectDateTime(adjusted({2000, 3, 1, 0, 0, 0}, {0, 0, -1, 0, 0, 0}), {2000, 2, 29, 0, 0, 0});
  expectDateTime(adjusted({2100, 3, 1, 0, 0, 0}, {0, 0, -1, 0, 0, 0}), {2100, 2, 28, 0, 0, 0});
  expectDateTime(adjusted({2003, 3, 1, 12, 0, 0}, {0, 0, -1, 0, 0, 0}), {2003, 2, 28, 12, 0, 0});
  expectDateTime(adjusted({2006, 1, 1, 0, 0, 5}, {0, 0, 0, 0, 0, -15}), {2005, 12, 31, 23, 59, 50});
  expectDateTime(adjusted({2005, 1, 31, 8, 0, 0}, {0, 1, 0, 0, 0, 0}), {2005, 3, 3, 8, 0, 0});
  expectDateTime(adjusted({2005, 11, 20, 8, 0, 0}, {1, 3, 0, 0, 0, 0}), {2007, 2, 20, 8, 0, 0});
}

// For valid dates and offsets within the limits, the adjustment is what timegm's normalisation gives.
TEST(FramePacks, AdjustmentAgreesWithTimegm) {
  const std::array<TimeAdjustment, 8> offsets{{{0, 0, 0, 0, 0, 59},
                                               {0, 0, 0, 0, 0, -59},
                                               {0, 0, 16, 23, 59, 59},
                                               {0, 0, -16, -23, -59, -59},
                                               {0, 11, 0, 1, 0, 0},
                                               {0, -11, -1, 0, 0, 0},
                                               {-50, 7, -16, 5, -30, 10},
                                               {50, -7, 16, -5, 30, -10}}};
  for (int year : {1995, 1999, 2000, 2003, 2004, 2094}) {
    for (int month = 1; month <= 12; ++month) {
      for (int day : {1, 2, 15, 28, 29, 30, 31}) {
        if (day > daysInMonth(year, month)) continue;
        for (const TimeAdjustment& a : offsets) {
          for (int second : {0, 30, 59}) {
            const DateTime in{year, month, day, second % 24, 59 - second, second};
            const DateTime got = applyTimeAdjustment(in, a);
            // timegm brings the month into range first, then adds days and time linearly.
            std::tm t{};
            t.tm_year = in.year + a.years - 1900;
            t.tm_mon = in.month + a.months - 1;
            t.tm_mday = in.day + a.days;
            t.tm_hour = in.hours + a.hours;
            t.tm_min = in.minutes + a.minutes;
            t.tm_sec = in.seconds + a.seconds;
            const std::time_t when = timegm(&t);
            std::tm want{};
            gmtime_r(&when, &want);
            SCOPED_TRACE(testing::Message() << year << "-" << month << "-" << day << " +" << a.months << "mo "
                                            << a.days << "d");
            ASSERT_EQ(got.year, want.tm_year + 1900);
            ASSERT_EQ(got.month, want.tm_mon + 1);
            ASSERT_EQ(got.day, want.tm_mday);
            ASSERT_EQ(got.hours, want.tm_hour);
            ASSERT_EQ(got.minutes, want.tm_min);
            ASSERT_EQ(got.seconds, want.tm_sec);
            ASSERT_EQ(weekdayOf(got.year, got.month, got.day), want.tm_wday);
          }
        }
      }
    }
  }
}

TEST(FramePacks, TimecodeIsAdjustedByTimeOfDayOnly) {
  auto f = emptyFrame();
  putSubcodePack(f, 0, 0, 0, timecodePack(23, 59, 50, 7));
  putSubcodePack(f, 0, 0, 1, datePack(5, 12, 31));
  putSubcodePack(f, 0, 0, 2, timePack(23, 59, 50));
  DvFrameInfo info;
  ASSERT_EQ(read(info, f, {{0, 0, 0, 0, 0, 15}, true}), 0);
  EXPECT_EQ(info.timecodeHours, 0);
  EXPECT_EQ(info.timecodeMinutes, 0);
  EXPECT_EQ(info.timecodeSeconds, 5);
  EXPECT_EQ(info.timecodeFrames, 7);
  EXPECT_EQ(info.recorded.tm_year, 106);
  EXPECT_EQ(info.recorded.tm_mon, 0);
  EXPECT_EQ(info.recorded.tm_mday, 1);
  EXPECT_EQ(info.secondsOfDay, 5);
}

TEST(FramePacks, FrameNumberToTimecode) {
  auto check = [](bool fifty, int n, Timecode want) {
    const Timecode t = frameNumberToTimecode(fifty ? test::palProfile() : test::ntscProfile(), n);
    EXPECT_EQ(t.hours, want.hours) << n;
    EXPECT_EQ(t.minutes, want.minutes) << n;
    EXPECT_EQ(t.seconds, want.seconds) << n;
    EXPECT_EQ(t.frames, want.frames) << n;
  };
  check(true, 90000, {1, 0, 0, 0});
  check(true, 24, {0, 0, 0, 24});
  check(true, 90000 * 25 + 25 * 61 + 3, {25, 1, 1, 3});  // hours not wrapped at 24
  check(false, 1000, {0, 0, 33, 11});
  check(false, 999, {0, 0, 33, 9});
  check(false, -5, {0, 0, 0, 0});
  check(false, 2147483647, {19903, 59, 31, 0});  // no overflow on the stretch
}

// Frames written by FFmpeg's DV muxer from a creation time: timecode in sequence 0, date and time
// only in the second half of the frame.
class FfmpegFrames : public testing::TestWithParam<const VideoProfile*> {};

TEST_P(FfmpegFrames, RecordingDateAndTimecodeReadBack) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const VideoProfile& profile = *GetParam();
  test::TempDir dir;
  const std::string out = dir.file("x.dv");
  const std::string input =
      "testsrc=size=" + test::ffmpegSize(profile) + ":rate=" + test::ffmpegRate(profile);
  const auto r = test::runCommand("ffmpeg -hide_banner -loglevel error -y -f lavfi -i " + input +
                                  " -frames:v 5 -metadata creation_time=2003-06-22T21:50:38 -pix_fmt " +
                                  test::ffmpegPixelFormat(profile) + " -f dv " + test::shellQuote(out));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::vector<uint8_t> bytes = test::readFile(out);
  const size_t frameBytes = size_t(profile.frameBytes);
  ASSERT_EQ(bytes.size(), 5 * frameBytes);

  DvFrameInfo info;
  for (int i = 0; i < 5; ++i) {
    const uint8_t* frame = bytes.data() + size_t(i) * frameBytes;
    EXPECT_EQ(profileForFrame(frame, frameBytes), &profile);
    ASSERT_EQ(readRecordedDateTime(info, DateTimeReadOptions{{}, true}, frame, frameBytes), 0);
    EXPECT_EQ(info.recorded.tm_year + 1900, 2003);
    EXPECT_EQ(info.recorded.tm_mon + 1, 6);
    EXPECT_EQ(info.recorded.tm_mday, 22);
    EXPECT_EQ(info.recorded.tm_wday, 0);
    EXPECT_EQ(info.secondsOfDay, 21 * 3600 + 50 * 60 + 38);
    EXPECT_EQ(info.timecodeFrames, i);
    EXPECT_EQ(info.timecodeStatus, kTimecodeInUse);
  }

  // With the subcode date and time packs overwritten by 0xFF the VAUX copies still give the date;
  // with those blanked too the frame has none.
  std::vector<uint8_t> blank(bytes.begin(), bytes.begin() + long(frameBytes));
  auto blankPacks = [&](size_t (*blockAt)(int, int), int blocks, int packs, int (*packAt)(int)) {
    for (int s = 0; s < profile.sequenceCount; ++s)
      for (int b = 0; b < blocks; ++b)
        for (int n = 0; n < packs; ++n) {
          uint8_t* p = blank.data() + blockAt(s, b) + packAt(n);
          if (*p == kPackRecordingDate || *p == kPackRecordingTime) std::fill(p, p + kPackBytes, 0xFF);
        }
  };
  blankPacks([](int s, int b) { return subcodeOffset(s, b); }, 2, kSubcodeSyncBlocks, subcodePackOffset);
  DvFrameInfo fromVaux;
  ASSERT_EQ(readRecordedDateTime(fromVaux, DateTimeReadOptions{}, blank.data(), blank.size()), 0);
  EXPECT_EQ(fromVaux.recorded.tm_mday, 22);
  EXPECT_EQ(fromVaux.secondsOfDay, 21 * 3600 + 50 * 60 + 38);
  blankPacks([](int s, int b) { return vauxOffset(s, b); }, 3, kVauxPacksPerBlock, vauxPackOffset);
  DvFrameInfo fresh;
  EXPECT_EQ(readRecordedDateTime(fresh, DateTimeReadOptions{}, blank.data(), blank.size()), kStatusNoPacks);
  EXPECT_EQ(fresh.hasDate, 0);
  EXPECT_EQ(fresh.hasTime, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, FfmpegFrames,
                         testing::Values(&test::palProfile(), &test::ntscProfile(), &test::pal411Profile()),
                         [](const testing::TestParamInfo<const VideoProfile*>& p) {
                           return p.param == &test::palProfile() ? "Pal" : p.param == &test::ntscProfile() ? "Ntsc" : "Pal411";
                         });

}  // namespace
}  // namespace kelo::dv

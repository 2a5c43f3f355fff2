#include "dv/Packs.h"

#include <algorithm>
#include <array>

#include "dv/DifLayout.h"
#include "settings/StampSettings.h"

namespace kelo::dv {

namespace {

constexpr std::array<int, 12> kMonthDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Floor division, so that month 0 is December of the year before and -11 is January of it.
int floorDiv(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

void normaliseMonth(int& year, int& month) {
  const int zeroBased = month - 1;
  const int yearShift = floorDiv(zeroBased, 12);
  year += yearShift;
  month = zeroBased - 12 * yearShift + 1;
}

// One step of carry: brings `value` into [0, limit) once and returns the carry (-1, 0 or 1).
int carryOnce(int& value, int limit) {
  if (value < 0) {
    value += limit;
    return -1;
  }
  if (value >= limit) {
    value -= limit;
    return 1;
  }
  return 0;
}

int clampTo(int value, int limit) { return std::clamp(value, -limit, limit); }

// The subcode blocks searched, in order: both of sequence 0, then both of sequence 6 (which lies in
// the second half of the frame in either system).
constexpr std::array<size_t, 4> kSubcodeBlocks{subcodeOffset(0, 0), subcodeOffset(0, 1), subcodeOffset(6, 0),
                                               subcodeOffset(6, 1)};

void storeRecorded(DvFrameInfo& info, const DateTime& when) {
  info.recorded.tm_sec = when.seconds;
  info.recorded.tm_min = when.minutes;
  info.recorded.tm_hour = when.hours;
  info.recorded.tm_mday = when.day;
  info.recorded.tm_mon = when.month - 1;
  info.recorded.tm_year = when.year - 1900;
  info.recorded.tm_wday = weekdayOf(when.year, when.month, when.day);
  info.recorded.tm_yday = -1;
  info.recorded.tm_isdst = -1;
  info.dateKey = (when.year * 32 + when.month) * 64 + when.day;
  info.secondsOfDay = (when.hours * 60 + when.minutes) * 60 + when.seconds;
}

}  // namespace

int daysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 31;
  if (month == 2 && isLeapYear(year)) return 29;
  return kMonthDays[static_cast<size_t>(month - 1)];
}

int weekdayOf(int year, int month, int day) {
  const int a = (14 - month) / 12;
  const int y = year - a;
  const int m = month + 12 * a - 2;
  const int w = (day + y + y / 4 - y / 100 + y / 400 + (31 * m) / 12) % 7;
  return w < 0 ? w + 7 : w;
}

DateTime applyTimeAdjustment(DateTime v, const TimeAdjustment& adjustment) {
  const TimeAdjustment& lim = kTimeAdjustmentLimits;
  v.seconds += clampTo(adjustment.seconds, lim.seconds);
  v.minutes += clampTo(adjustment.minutes, lim.minutes) + carryOnce(v.seconds, 60);
  v.hours += clampTo(adjustment.hours, lim.hours) + carryOnce(v.minutes, 60);
  v.day += clampTo(adjustment.days, lim.days) + carryOnce(v.hours, 24);
  v.month += clampTo(adjustment.months, lim.months);
  v.year += clampTo(adjustment.years, lim.years);

  if (v.day > 0) {
    normaliseMonth(v.year, v.month);
    const int length = daysInMonth(v.year, v.month);
    if (v.day > length) {
      v.day -= length;
      ++v.month;
      normaliseMonth(v.year, v.month);
    }
  } else {
    --v.month;
    normaliseMonth(v.year, v.month);
    v.day += daysInMonth(v.year, v.month);
  }
  return v;
}

DateTimeReadOptions dateTimeReadOptions(const settings::StampSettings& settings) {
  DateTimeReadOptions options;
  options.adjustment = {settings.adjustYears,  settings.adjustMonths,  settings.adjustDays,
                        settings.adjustHours,  settings.adjustMinutes, settings.adjustSeconds};
  const int format = settings.timeCode.formatIndex;
  options.wantTapeTimecode =
      settings.tapeTimecodeAsTcb && format >= kTimecodeFormatFirst && format <= kTimecodeFormatLast;
  return options;
}

int readRecordedDateTime(DvFrameInfo& info, const settings::StampSettings& settings, const uint8_t* frame,
                         size_t length) {
  return readRecordedDateTime(info, dateTimeReadOptions(settings), frame, length);
}

int readRecordedDateTime(DvFrameInfo& info, const DateTimeReadOptions& options, const uint8_t* frame,
                         size_t length) {
  info.hasDate = 0;
  info.hasTime = 0;
  info.timecodeFound = 0;
  const bool wantTimecode = options.wantTapeTimecode;
  int status = 0;
  DateTime when;
  bool finished = false;

  for (size_t blockStart : kSubcodeBlocks) {
    if (frame == nullptr || length < blockStart + kDifBlockBytes) continue;
    const uint8_t* block = frame + blockStart;
    for (int n = 0; n < kSubcodeSyncBlocks && !finished; ++n) {
      const uint8_t* pack = block + subcodePackOffset(n);
      const uint8_t id = pack[0];
      if (id == kEmptyPack) continue;
      if (id == kPackRecordingDate && !info.hasDate) {
        if (pack[4] == 0xFF) {
          status |= kStatusDateUnset;
          continue;
        }
        when.day = decodeBcd(pack[2], kTensBitsDay);
        when.month = decodeBcd(pack[3], kTensBitsMonth);
        when.year = fullYearFromTwoDigits(decodeBcd(pack[4], kTensBitsYear));
        info.hasDate = 1;
        status &= ~kStatusDateUnset;
      } else if (id == kPackRecordingTime && !info.hasTime) {
        if (pack[4] == 0xFF) {
          status |= kStatusTimeUnset;
          continue;
        }
        when.seconds = decodeBcd(pack[2], kTensBitsSeconds);
        when.minutes = decodeBcd(pack[3], kTensBitsMinutes);
        when.hours = decodeBcd(pack[4], kTensBitsHours);
        info.hasTime = 1;
        status &= ~kStatusTimeUnset;
      } else if (id == kPackTimecode && wantTimecode && !info.timecodeFound) {
        if (pack[4] == 0xFF) {
          status |= kStatusTimecodeUnset;
          continue;
        }
        // The timecode has no date of its own: any fixed valid date carries the hours alone.
        DateTime tc{2000, 1, 1, decodeBcd(pack[4], kTensBitsHours), decodeBcd(pack[3], kTensBitsMinutes),
                    decodeBcd(pack[2], kTensBitsSeconds)};
        tc = applyTimeAdjustment(tc, options.adjustment);
        info.timecodeFrames = decodeBcd(pack[1], kTensBitsFrames);
        info.timecodeHours = tc.hours;
        info.timecodeMinutes = tc.minutes;
        info.timecodeSeconds = tc.seconds;
        info.timecodeFound = 1;
        if (info.timecodeStatus == kTimecodeUndecided) info.timecodeStatus = kTimecodeInUse;
        status &= ~kStatusTimecodeUnset;
      }
      finished = info.hasDate && info.hasTime && (!wantTimecode || info.timecodeFound);
    }
    if (finished) break;
  }

  if (info.hasDate && info.hasTime) storeRecorded(info, applyTimeAdjustment(when, options.adjustment));
  if (finished) return 0;
  if (wantTimecode && !info.timecodeFound) info.timecodeStatus = kTimecodeMissing;
  return status != 0 ? status : kStatusNoPacks;
}

Timecode frameNumberToTimecode(bool fiftyField, int frameNumber) {
  const int64_t fps = fiftyField ? 25 : 30;
  int64_t n = std::max<int64_t>(frameNumber, 0);
  if (!fiftyField) n += n / 1000;
  Timecode tc;
  tc.hours = static_cast<int>(n / (fps * 3600));
  n %= fps * 3600;
  tc.minutes = static_cast<int>(n / (fps * 60));
  n %= fps * 60;
  tc.seconds = static_cast<int>(n / fps);
  tc.frames = static_cast<int>(n % fps);
  return tc;
}

}  // namespace kelo::dv

#include "dv/Packs.h"

#include <algorithm>
#include <array>

#include "dv/DifLayout.h"
#include "dv/VideoProfile.h"

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

void storeRecordedDate(DvFrameInfo& info, const DateTime& when) {
  info.recorded.tm_mday = when.day;
  info.recorded.tm_mon = when.month - 1;
  info.recorded.tm_year = when.year - 1900;
  info.recorded.tm_wday = weekdayOf(when.year, when.month, when.day);
  info.recorded.tm_yday = -1;
  info.recorded.tm_isdst = -1;
  info.dateKey = (when.year * 32 + when.month) * 64 + when.day;
}

void storeRecorded(DvFrameInfo& info, const DateTime& when) {
  storeRecordedDate(info, when);
  info.recorded.tm_sec = when.seconds;
  info.recorded.tm_min = when.minutes;
  info.recorded.tm_hour = when.hours;
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

namespace {

bool bcdDigitsValid(uint8_t byte, int tensBits) {
  return ((byte >> 4) & ((1 << tensBits) - 1)) <= 9 && (byte & 0x0F) <= 9;
}

bool datePackValid(const uint8_t* pack) {
  const int day = decodeBcd(pack[2], kTensBitsDay);
  const int month = decodeBcd(pack[3], kTensBitsMonth);
  return bcdDigitsValid(pack[2], kTensBitsDay) && bcdDigitsValid(pack[3], kTensBitsMonth) &&
         bcdDigitsValid(pack[4], kTensBitsYear) && day >= 1 && day <= 31 && month >= 1 && month <= 12;
}

bool timePackValid(const uint8_t* pack) {
  return bcdDigitsValid(pack[2], kTensBitsSeconds) && bcdDigitsValid(pack[3], kTensBitsMinutes) &&
         bcdDigitsValid(pack[4], kTensBitsHours) && decodeBcd(pack[2], kTensBitsSeconds) <= 59 &&
         decodeBcd(pack[3], kTensBitsMinutes) <= 59 && decodeBcd(pack[4], kTensBitsHours) <= 23;
}

// The packs of one kind met in one area of the frame: the first whose key byte (PC4) is set, the
// first that is also valid in every field, and whether one with an unset key byte was met.
struct PackFind {
  const uint8_t* first = nullptr;
  const uint8_t* valid = nullptr;
  bool unset = false;

  void offer(const uint8_t* pack, bool (*isValid)(const uint8_t*)) {
    if (pack[4] == 0xFF) {
      unset = true;
      return;
    }
    if (!first) first = pack;
    if (!valid && isValid(pack)) valid = pack;
  }
};

// Subcode first where its pack is valid; a dropout often spares the VAUX copy, so a valid VAUX
// pack beats a damaged subcode one; a damaged pack is still better than none.
const uint8_t* choosePack(const PackFind& subcode, const PackFind& vaux) {
  if (subcode.valid) return subcode.valid;
  if (vaux.valid) return vaux.valid;
  return subcode.first ? subcode.first : vaux.first;
}

}  // namespace

int readRecordedDateTime(DvFrameInfo& info, const DateTimeReadOptions& options, const uint8_t* frame,
                         size_t length) {
  info.hasDate = 0;
  info.hasTime = 0;
  info.timecodeFound = 0;
  const bool wantTimecode = options.wantTapeTimecode;
  PackFind subDate, subTime, vauxDate, vauxTime;
  const uint8_t* timecode = nullptr;
  bool timecodeUnset = false;

  for (size_t blockStart : kSubcodeBlocks) {
    if (frame == nullptr || length < blockStart + kDifBlockBytes) continue;
    for (int n = 0; n < kSubcodeSyncBlocks; ++n) {
      const uint8_t* pack = frame + blockStart + subcodePackOffset(n);
      if (pack[0] == kPackRecordingDate) {
        subDate.offer(pack, datePackValid);
      } else if (pack[0] == kPackRecordingTime) {
        subTime.offer(pack, timePackValid);
      } else if (pack[0] == kPackTimecode && wantTimecode && !timecode) {
        if (pack[4] == 0xFF)
          timecodeUnset = true;
        else
          timecode = pack;
      }
    }
  }
  if (!subDate.valid || !subTime.valid) {
    // The VAUX copies of the same packs, in every sequence the frame holds.
    for (int s = 0; frame != nullptr && length >= (static_cast<size_t>(s) + 1) * kSequenceBytes && s < kMaxSequenceCount; ++s) {
      for (int b = 0; b < kVauxBlocksPerSequence; ++b) {
        const uint8_t* block = frame + vauxOffset(s, b);
        for (int j = 0; j < kVauxPacksPerBlock; ++j) {
          const uint8_t* pack = block + vauxPackOffset(j);
          if (pack[0] == kPackRecordingDate) vauxDate.offer(pack, datePackValid);
          if (pack[0] == kPackRecordingTime) vauxTime.offer(pack, timePackValid);
        }
      }
    }
  }

  int status = 0;
  DateTime when;
  if (const uint8_t* pack = choosePack(subDate, vauxDate)) {
    when.day = decodeBcd(pack[2], kTensBitsDay);
    when.month = decodeBcd(pack[3], kTensBitsMonth);
    when.year = fullYearFromTwoDigits(decodeBcd(pack[4], kTensBitsYear));
    info.hasDate = 1;
  } else if (subDate.unset || vauxDate.unset) {
    status |= kStatusDateUnset;
  }
  if (const uint8_t* pack = choosePack(subTime, vauxTime)) {
    when.seconds = decodeBcd(pack[2], kTensBitsSeconds);
    when.minutes = decodeBcd(pack[3], kTensBitsMinutes);
    when.hours = decodeBcd(pack[4], kTensBitsHours);
    info.hasTime = 1;
  } else if (subTime.unset || vauxTime.unset) {
    status |= kStatusTimeUnset;
  }
  if (timecode) {
    // The timecode has no date of its own: any fixed valid date carries the hours alone.
    DateTime tc{2000, 1, 1, decodeBcd(timecode[4], kTensBitsHours), decodeBcd(timecode[3], kTensBitsMinutes),
                decodeBcd(timecode[2], kTensBitsSeconds)};
    tc = applyTimeAdjustment(tc, options.adjustment);
    info.timecodeFrames = decodeBcd(timecode[1], kTensBitsFrames);
    info.timecodeHours = tc.hours;
    info.timecodeMinutes = tc.minutes;
    info.timecodeSeconds = tc.seconds;
    info.timecodeFound = 1;
    if (info.timecodeStatus == kTimecodeUndecided) info.timecodeStatus = kTimecodeInUse;
  } else if (timecodeUnset) {
    status |= kStatusTimecodeUnset;
  }

  if (info.hasDate && info.hasTime) {
    storeRecorded(info, applyTimeAdjustment(when, options.adjustment));
  } else if (info.hasDate) {
    // A date without a time is still this frame's date (the timecode formats show it): only the
    // day, month and year offsets apply, there is no time of day to carry from.
    const TimeAdjustment& a = options.adjustment;
    storeRecordedDate(info, applyTimeAdjustment(when, TimeAdjustment{a.years, a.months, a.days, 0, 0, 0}));
  }
  const bool finished = info.hasDate && info.hasTime && (!wantTimecode || info.timecodeFound);
  if (finished) return 0;
  if (wantTimecode && !info.timecodeFound) info.timecodeStatus = kTimecodeMissing;
  return status != 0 ? status : kStatusNoPacks;
}

Timecode frameNumberToTimecode(const VideoProfile& profile, int frameNumber) {
  const int64_t fps = profile.framesPerSecond;
  int64_t n = std::max<int64_t>(frameNumber, 0);
  // A count at a whole rate for video a little slower (29.97): one frame in a thousand more.
  if (profile.rateDenominator != 1) n += n / 1000;
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

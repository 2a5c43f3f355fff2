#pragma once
// The metadata packs of a DV frame: BCD fields, reading the recording date, recording time and tape
// timecode from the subcode area (with the user's time adjustment), and turning frame counts into
// timecodes.
#include <cstddef>
#include <cstdint>

#include "dv/FrameInfo.h"

namespace kelo::dv {

struct VideoProfile;

// Pack IDs (PC0).
inline constexpr uint8_t kPackTimecode = 0x13;
inline constexpr uint8_t kPackAudioSource = 0x50;
inline constexpr uint8_t kPackAudioSourceControl = 0x51;
inline constexpr uint8_t kPackAudioRecordingDate = 0x52;
inline constexpr uint8_t kPackAudioRecordingTime = 0x53;
inline constexpr uint8_t kPackVideoSource = 0x60;
inline constexpr uint8_t kPackVideoSourceControl = 0x61;
inline constexpr uint8_t kPackRecordingDate = 0x62;
inline constexpr uint8_t kPackRecordingTime = 0x63;

// Widths in bits of the tens digit of each BCD field; flag bits above it are not part of the value.
inline constexpr int kTensBitsDay = 2;
inline constexpr int kTensBitsMonth = 1;
inline constexpr int kTensBitsYear = 4;
inline constexpr int kTensBitsHours = 2;
inline constexpr int kTensBitsMinutes = 3;
inline constexpr int kTensBitsSeconds = 3;
inline constexpr int kTensBitsFrames = 2;

// Value of a BCD byte: units nibble plus the tens field masked to its width. Digits are not range
// tested, so a corrupt units nibble gives up to 15 units.
constexpr int decodeBcd(uint8_t byte, int tensBits) {
  return ((byte >> 4) & ((1 << tensBits) - 1)) * 10 + (byte & 0x0F);
}
// Two BCD digits of value % 100 (value taken as 0 when negative).
constexpr uint8_t encodeBcd(int value) {
  const int v = value < 0 ? 0 : value % 100;
  return static_cast<uint8_t>(((v / 10) << 4) | (v % 10));
}

// A recorded two-digit year as a full year. DV recordings cannot predate 1995, so 95-99 are
// 1995-1999 and 00-94 are 2000-2094. Corrupt digits (100-165) follow the 19xx branch.
constexpr int fullYearFromTwoDigits(int twoDigits) { return twoDigits >= 95 ? 1900 + twoDigits : 2000 + twoDigits; }

// Signed offsets the user adds to every recorded date and time.
struct TimeAdjustment {
  int years = 0;
  int months = 0;
  int days = 0;
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
};

// The limits of the adjustment offsets; larger values are clamped to them.
inline constexpr TimeAdjustment kTimeAdjustmentLimits{50, 11, 16, 23, 59, 59};

// A calendar date and time of day with a full year and a 1-based month.
struct DateTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
};

// Adds the adjustment with one step of carry per unit (seconds into minutes into hours into days),
// then brings the month into 1-12 and carries a day beyond its month's end (or at or below 0) into
// the next (or previous) month, leap days included. For a valid date and time and offsets within
// the limits the result equals normalising the sum as timegm would. Out-of-range input (corrupt
// digits) still comes out with a month of 1-12, other fields may stay out of range.
DateTime applyTimeAdjustment(DateTime value, const TimeAdjustment& adjustment);

// Days of a month (1-12) in a Gregorian year; 31 for a month outside 1-12.
int daysInMonth(int year, int month);
// 0 = Sunday, for month 1-12 and a positive year.
int weekdayOf(int year, int month, int day);

// What readRecordedDateTime needs from the settings, taken once per file.
struct DateTimeReadOptions {
  TimeAdjustment adjustment;
  bool wantTapeTimecode = false;  // use the tape timecode as the TCB code
};

// Status bits of readRecordedDateTime.
inline constexpr int kStatusDateUnset = 1;      // a date pack with an unset year byte
inline constexpr int kStatusTimeUnset = 2;      // a time pack with an unset hours byte
inline constexpr int kStatusTimecodeUnset = 4;  // a timecode pack with an unset hours byte
inline constexpr int kStatusNoPacks = 16;       // the packs were simply absent

// Reads the recording date (0x62), recording time (0x63) and, when wanted, the tape timecode (0x13)
// from the subcode blocks of sequences 0 and 6 of `frame` (the frame's first byte; `length` bytes
// are readable, blocks beyond them count as absent). A date or time the subcode holds no valid
// pack for is taken from the VAUX packs of the frame. Returns 0 when date and time (and the wanted
// timecode) were read; `recorded`, `dateKey` and `secondsOfDay` then hold the adjusted values.
// Otherwise returns the status bits above (16 when none is set); a frame with a date but no time
// still gets its own date (`recorded`'s date fields and `dateKey`), a frame with both but without
// the wanted timecode its date and time; the other fields keep their values.
int readRecordedDateTime(DvFrameInfo& info, const DateTimeReadOptions& options, const uint8_t* frame,
                         size_t length);

struct Timecode {
  int hours = 0;  // not wrapped at 24
  int minutes = 0;
  int seconds = 0;
  int frames = 0;
};
// Frame count as a timecode at the profile's nominal rate (25 or 30 frames a second); at 29.97 frames
// a second the count is first stretched by one frame in a thousand to stay close to real time.
// Negative counts are taken as 0.
Timecode frameNumberToTimecode(const VideoProfile& profile, int frameNumber);

}  // namespace kelo::dv

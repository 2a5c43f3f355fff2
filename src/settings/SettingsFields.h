#pragma once
// Every persisted settings field by its dotted name ("language", "dateCode.transparency",
// "timeCode.font.lfFaceName", "customDateFormats.2", "outputFolder"), with its limits: get and set
// by name, and the checks that the project loader, kelo-cli and the desktop program share.
// Messages are Chinese, one line, and name the field and its range.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/StampSettings.h"

namespace kelo::settings {

enum class FieldKind {
  Integer,  // 32-bit signed (enumerations included)
  Flag,     // 32-bit, 0 or 1
  Byte,     // one byte of the font record
  Text,     // fixed UTF-16 array, NUL-terminated
};

struct FieldInfo {
  std::string name;       // full dotted name
  FieldKind kind;
  int32_t min = 0;        // numbers: static inclusive range (some limits also depend on other
  int32_t max = 0;        //   fields; validateSettings checks those)
  std::size_t capacity = 0;  // texts: array size in code units, terminator included
};

// Every field in file order: the image (globals, dateCode.*, timeCode.*), then the custom formats
// and the output folder.
const std::vector<FieldInfo>& settingsFields();
// nullptr when there is no such field.
const FieldInfo* findField(std::string_view name);

// Reading by name; false when the name is unknown or of the other kind.
bool getNumber(const StampSettings& settings, std::string_view name, int32_t& value);
bool getText(const StampSettings& settings, std::string_view name, std::u16string& value);

// Writing by name, checking the field's own limits (a text longer than its capacity - 1 is
// refused, not cut). 0 on success; 1 with a message and the settings unchanged on failure.
int setNumber(StampSettings& settings, std::string_view name, int32_t value, std::u16string& message);
int setTextField(StampSettings& settings, std::string_view name, std::u16string_view value,
                 std::u16string& message);
// As typed on a command line: decimal integers, 0/1/true/false for flags, enumeration value
// names (e.g. "BottomRight", "Periodic", "Size720x540"), UTF-8 for texts.
int setFieldFromString(StampSettings& settings, std::string_view name, std::string_view value,
                       std::u16string& message);

// Whole-record check of what a stored file may hold: every field within its range, texts
// terminated, the date format index within the language's list, isDateCode 1 in the date code
// only, no zero-time-between-markers mode for the date code, period length below the period.
// 0 when sound; 1 and a message naming the first bad field.
int validateSettings(const StampSettings& settings, std::u16string& message);
// The stricter rule the interval dialog applies when a value is entered: with fade on in modes
// 1-4, twice the fade length fits into the stamped seconds. Stored files are not held to it.
int validateFadeLengths(const StampSettings& settings, std::u16string& message);

// Message templates of the checks (printf-style, settings/MessageFormat.h); the first %s is
// always the full field name.
inline constexpr std::u16string_view kMsgOutOfRange = u"%s 的值 %d 超出范围 %d … %d。";
inline constexpr std::u16string_view kMsgUnterminated = u"%s 的文字没有结尾。";
inline constexpr std::u16string_view kMsgTextTooLong = u"%s 的文字太长了(%d 个字符，最多 %d 个)。";
inline constexpr std::u16string_view kMsgUnknownField = u"没有这个设置：%s。";
inline constexpr std::u16string_view kMsgNotANumber = u"%s 的值不是整数：%s。";
// The interval dialog's own warning, prefixed with the field name.
inline constexpr std::u16string_view kMsgPeriodLength = u"%s：加码区间长度(%d 秒)必须小于周期长度(%d 秒)";
inline constexpr std::u16string_view kMsgFadeLength =
    u"%s：淡入/淡出长度(%d 秒)的两倍超过了加码区间长度(%d 秒)。";

// Positions are frame pixels of a 720-pixel-wide frame, at most as far down as the tallest
// (625/50) frame is high.
inline constexpr int32_t kFrameWidth = 720;
inline constexpr int32_t kMaxFrameHeight = 576;
struct FramePosition {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const FramePosition&) const = default;
};
// The nearest position inside a frame of that height (x within 0 ... 720, y within 0 ... height):
// where the window makes a position (nudges, preview conversion, the x and y edits).
FramePosition clampToFrame(FramePosition p, int32_t frameHeight = kMaxFrameHeight);
// Both codes' positions clamped to the tallest frame: what loading and saving apply.
void clampPositions(StampSettings& settings);

// Limit on every duration in seconds (keeps frame counts far from overflow).
inline constexpr int32_t kMaxSeconds = 999999;

}  // namespace kelo::settings

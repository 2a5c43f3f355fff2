#include "settings/SettingsFields.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <type_traits>

#include "platform/Text.h"
#include "settings/FieldTable.h"
#include "settings/IntervalRules.h"
#include "settings/MessageFormat.h"

namespace kelo::settings {

namespace detail {
namespace {

// One entry per field; the name is the member path as written in the record.
#define KELO_NUMBER(R, member, kind, offset, lo, hi)                                          \
  Field<R> {                                                                                  \
    #member, kind, offset, lo, hi, 0,                                                         \
        [](const R& r) -> int32_t { return static_cast<int32_t>(r.member); },                 \
        [](R& r, int32_t v) { r.member = static_cast<std::remove_cvref_t<decltype(r.member)>>(v); }, \
        nullptr, nullptr                                                                      \
  }
#define KELO_POSITION(R, member, offset, hi)                                                  \
  Field<R> {                                                                                  \
    #member, FieldKind::Integer, offset, 0, hi, 0,                                            \
        [](const R& r) -> int32_t { return r.member; }, [](R& r, int32_t v) { r.member = v; }, \
        nullptr, nullptr, true                                                                \
  }
#define KELO_INT(R, member, offset, lo, hi) KELO_NUMBER(R, member, FieldKind::Integer, offset, lo, hi)
#define KELO_FLAG(R, member, offset) KELO_NUMBER(R, member, FieldKind::Flag, offset, 0, 1)
#define KELO_BYTE(R, member, offset) KELO_NUMBER(R, member, FieldKind::Byte, offset, 0, 255)
#define KELO_TEXT_NAMED(R, name, member, offset)                                     \
  Field<R> {                                                                         \
    name, FieldKind::Text, offset, 0, 0, sizeof(R::member) / sizeof(char16_t),       \
        nullptr, nullptr, [](const R& r) -> const char16_t* { return r.member; },    \
        [](R& r) -> char16_t* { return r.member; }                                   \
  }
#define KELO_TEXT(R, member, offset) KELO_TEXT_NAMED(R, #member, member, offset)

using S = StampSettings;
using C = StampCodeSettings;

const Field<S> kGlobalFields[] = {
    KELO_FLAG(S, idle, 0),
    KELO_INT(S, language, 4, 0, kMaxLanguage),
    KELO_INT(S, previewSize, 8, 0, 3),
    KELO_INT(S, adjustYears, 12, -50, 50),
    KELO_INT(S, adjustMonths, 16, -11, 11),
    KELO_INT(S, adjustDays, 20, -16, 16),
    KELO_INT(S, adjustHours, 24, -23, 23),
    KELO_INT(S, adjustMinutes, 28, -59, 59),
    KELO_INT(S, adjustSeconds, 32, -59, 59),
    KELO_FLAG(S, creationTimeFromFirstTimecode, 36),
    KELO_FLAG(S, modificationTimeFromLastTimecode, 40),
    KELO_FLAG(S, renameOutput, 44),
    KELO_TEXT(S, outputNamePattern, 48),
    KELO_FLAG(S, markersInOneFile, 248),
    KELO_FLAG(S, tapeTimecodeAsTcb, 252),
    KELO_FLAG(S, safeArea, 256),
    KELO_TEXT(S, addFilesFolder, 260),
    KELO_TEXT(S, projectPath, 772),
};

const Field<C> kCodeFields[] = {
    KELO_TEXT(C, customFormat, 0),
    KELO_FLAG(C, customHasDate, 200),
    KELO_FLAG(C, customHasTime, 204),
    KELO_FLAG(C, enabled, 208),
    KELO_FLAG(C, uppercase, 212),
    // The date list is at most 8 long; validateSettings narrows it by language.
    KELO_INT(C, formatIndex, 216, 0, kTimeFormatListLength - 1),
    KELO_INT(C, corner, 220, 0, 5),
    KELO_POSITION(C, x, 224, kFrameWidth),
    KELO_POSITION(C, y, 228, kMaxFrameHeight),
    KELO_INT(C, font.lfHeight, 232, -1000, 1000),
    KELO_INT(C, font.lfWidth, 236, 0, 1000),
    KELO_INT(C, font.lfEscapement, 240, -3600, 3600),
    KELO_INT(C, font.lfOrientation, 244, -3600, 3600),
    KELO_INT(C, font.lfWeight, 248, 0, 1000),
    KELO_BYTE(C, font.lfItalic, 252),
    KELO_BYTE(C, font.lfUnderline, 253),
    KELO_BYTE(C, font.lfStrikeOut, 254),
    KELO_BYTE(C, font.lfCharSet, 255),
    KELO_BYTE(C, font.lfOutPrecision, 256),
    KELO_BYTE(C, font.lfClipPrecision, 257),
    KELO_BYTE(C, font.lfQuality, 258),
    KELO_BYTE(C, font.lfPitchAndFamily, 259),
    KELO_TEXT(C, font.lfFaceName, 260),
    KELO_INT(C, pointSizeTenths, 324, 1, 7500),
    KELO_FLAG(C, outline, 328),
    KELO_INT(C, fontBrightness, 332, -255, 255),
    KELO_INT(C, outlineBrightness, 336, -255, 255),
    KELO_INT(C, transparency, 340, 0, 90),
    KELO_INT(C, intervalMode, 344, 0, 6),
    KELO_INT(C, sceneSeconds, 348, 1, kMaxSeconds),
    KELO_INT(C, sceneGapSeconds, 352, 0, kMaxSeconds),
    KELO_INT(C, dateChangeSeconds, 356, 1, kMaxSeconds),
    KELO_INT(C, periodLengthSeconds, 360, 1, kMaxSeconds - 1),
    KELO_INT(C, periodSeconds, 364, 2, kMaxSeconds),
    KELO_INT(C, markerSeconds, 368, 1, kMaxSeconds),
    KELO_FLAG(C, fadeOn, 372),
    KELO_INT(C, fadeSeconds, 376, 1, kMaxSeconds),
    KELO_FLAG(C, delayOn, 380),
    KELO_INT(C, delaySeconds, 384, 1, kMaxSeconds),
    KELO_FLAG(C, isDateCode, 388),
};

const Field<S> kCompanionFields[] = {
    KELO_TEXT_NAMED(S, "customDateFormats.0", customDateFormats[0], -1),
    KELO_TEXT_NAMED(S, "customDateFormats.1", customDateFormats[1], -1),
    KELO_TEXT_NAMED(S, "customDateFormats.2", customDateFormats[2], -1),
    KELO_TEXT_NAMED(S, "customDateFormats.3", customDateFormats[3], -1),
    KELO_TEXT(S, customTimeFormat, -1),
    KELO_TEXT(S, outputFolder, -1),
};

#undef KELO_TEXT
#undef KELO_TEXT_NAMED
#undef KELO_BYTE
#undef KELO_FLAG
#undef KELO_POSITION
#undef KELO_INT
#undef KELO_NUMBER

}  // namespace

std::span<const Field<StampSettings>> globalFields() { return kGlobalFields; }
std::span<const Field<StampCodeSettings>> codeFields() { return kCodeFields; }
std::span<const Field<StampSettings>> companionFields() { return kCompanionFields; }

}  // namespace detail

namespace {

using detail::Field;

constexpr std::u16string_view kMsgWrongKind = u"%s 不是%s。";

std::u16string u16(std::string_view s) { return platform::fromUtf8(s); }

// Where a full name points: a global or companion field, or a field of one code block.
struct Target {
  const Field<StampSettings>* global = nullptr;
  const Field<StampCodeSettings>* code = nullptr;
  bool timeCode = false;
};

bool resolve(std::string_view name, Target& t) {
  for (const auto& [prefix, isTime] : {std::pair{std::string_view("dateCode."), false},
                                       std::pair{std::string_view("timeCode."), true}}) {
    if (name.starts_with(prefix)) {
      const std::string_view rest = name.substr(prefix.size());
      for (const auto& f : detail::codeFields()) {
        if (f.name == rest) {
          t.code = &f;
          t.timeCode = isTime;
          return true;
        }
      }
      return false;
    }
  }
  for (const auto table : {detail::globalFields(), detail::companionFields()}) {
    for (const auto& f : table) {
      if (f.name == name) {
        t.global = &f;
        return true;
      }
    }
  }
  return false;
}

StampCodeSettings& codeOf(StampSettings& s, const Target& t) { return t.timeCode ? s.timeCode : s.dateCode; }
const StampCodeSettings& codeOf(const StampSettings& s, const Target& t) {
  return t.timeCode ? s.timeCode : s.dateCode;
}

FieldKind kindOf(const Target& t) { return t.code ? t.code->kind : t.global->kind; }

std::u16string rangeMessage(std::string_view name, int64_t value, int32_t lo, int32_t hi) {
  return formatMessage(kMsgOutOfRange, {u16(name), value, lo, hi});
}

template <class R>
int checkField(const Field<R>& f, const R& r, std::string_view fullName, std::u16string& message) {
  if (f.kind == FieldKind::Text) {
    if (!isTerminated(f.text(r), f.capacity)) {
      message = formatMessage(kMsgUnterminated, {u16(fullName)});
      return 1;
    }
    return 0;
  }
  const int32_t v = f.get(r);
  if (v < f.min || v > f.max) {
    message = rangeMessage(fullName, v, f.min, f.max);
    return 1;
  }
  return 0;
}

bool parseInteger(std::string_view text, int32_t& value) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && ptr == last && first != last;
}

// Names of the enumeration values, index = value.
bool enumValue(std::string_view field, std::string_view text, int32_t& value) {
  static constexpr std::array<std::string_view, 6> kCorner = {
      "TopLeft", "TopCentre", "TopRight", "BottomLeft", "BottomCentre", "BottomRight"};
  static constexpr std::array<std::string_view, 7> kInterval = {
      "EveryFrame", "OnSceneChange", "OnDateChange", "Periodic",
      "AtStartMarkers", "BetweenMarkers", "BetweenMarkersZeroTime"};
  static constexpr std::array<std::string_view, 4> kPreview = {
      "FrameSize", "Size720x540", "Size640x480", "Size720x405"};
  auto find = [&](const auto& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == text) {
        value = static_cast<int32_t>(i);
        return true;
      }
    }
    return false;
  };
  if (field.ends_with("corner")) return find(kCorner);
  if (field.ends_with("intervalMode")) return find(kInterval);
  if (field == "previewSize") return find(kPreview);
  return false;
}

}  // namespace

const std::vector<FieldInfo>& settingsFields() {
  static const std::vector<FieldInfo> fields = [] {
    std::vector<FieldInfo> out;
    auto add = [&](std::string name, const auto& f) {
      out.push_back(FieldInfo{std::move(name), f.kind, f.min, f.max, f.capacity});
    };
    for (const auto& f : detail::globalFields()) add(std::string(f.name), f);
    for (const char* prefix : {"dateCode.", "timeCode."})
      for (const auto& f : detail::codeFields()) add(prefix + std::string(f.name), f);
    for (const auto& f : detail::companionFields()) add(std::string(f.name), f);
    return out;
  }();
  return fields;
}

const FieldInfo* findField(std::string_view name) {
  for (const auto& f : settingsFields())
    if (f.name == name) return &f;
  return nullptr;
}

bool getNumber(const StampSettings& s, std::string_view name, int32_t& value) {
  Target t;
  if (!resolve(name, t) || kindOf(t) == FieldKind::Text) return false;
  value = t.code ? t.code->get(codeOf(s, t)) : t.global->get(s);
  return true;
}

bool getText(const StampSettings& s, std::string_view name, std::u16string& value) {
  Target t;
  if (!resolve(name, t) || kindOf(t) != FieldKind::Text) return false;
  value = t.code ? textOf(t.code->text(codeOf(s, t)), t.code->capacity)
                 : textOf(t.global->text(s), t.global->capacity);
  return true;
}

int setNumber(StampSettings& s, std::string_view name, int32_t value, std::u16string& message) {
  Target t;
  if (!resolve(name, t)) {
    message = formatMessage(kMsgUnknownField, {u16(name)});
    return 1;
  }
  if (kindOf(t) == FieldKind::Text) {
    message = formatMessage(kMsgWrongKind, {u16(name), u"数字"});
    return 1;
  }
  const int32_t lo = t.code ? t.code->min : t.global->min;
  const int32_t hi = t.code ? t.code->max : t.global->max;
  if (value < lo || value > hi) {
    message = rangeMessage(name, value, lo, hi);
    return 1;
  }
  if (t.code)
    t.code->set(codeOf(s, t), value);
  else
    t.global->set(s, value);
  return 0;
}

int setTextField(StampSettings& s, std::string_view name, std::u16string_view value,
                 std::u16string& message) {
  Target t;
  if (!resolve(name, t)) {
    message = formatMessage(kMsgUnknownField, {u16(name)});
    return 1;
  }
  if (kindOf(t) != FieldKind::Text) {
    message = formatMessage(kMsgWrongKind, {u16(name), u"文字"});
    return 1;
  }
  const std::size_t capacity = t.code ? t.code->capacity : t.global->capacity;
  if (value.size() >= capacity || value.find(u'\0') != std::u16string_view::npos) {
    message = formatMessage(kMsgTextTooLong, {u16(name), value.size(), capacity - 1});
    return 1;
  }
  char16_t* field = t.code ? t.code->mutableText(codeOf(s, t)) : t.global->mutableText(s);
  setText(field, capacity, value);
  return 0;
}

int setFieldFromString(StampSettings& s, std::string_view name, std::string_view value,
                       std::u16string& message) {
  Target t;
  if (!resolve(name, t)) {
    message = formatMessage(kMsgUnknownField, {u16(name)});
    return 1;
  }
  const FieldKind kind = kindOf(t);
  if (kind == FieldKind::Text) return setTextField(s, name, platform::fromUtf8(value), message);
  int32_t number = 0;
  if (kind == FieldKind::Flag && (value == "true" || value == "false")) {
    number = value == "true" ? 1 : 0;
  } else if (!parseInteger(value, number) && !enumValue(name, value, number)) {
    message = formatMessage(kMsgNotANumber, {u16(name), u16(value)});
    return 1;
  }
  return setNumber(s, name, number, message);
}

int validateSettings(const StampSettings& s, std::u16string& message) {
  for (const auto& f : detail::globalFields())
    if (checkField(f, s, f.name, message)) return 1;
  for (const auto& f : detail::companionFields())
    if (checkField(f, s, f.name, message)) return 1;
  for (const bool time : {false, true}) {
    const StampCodeSettings& c = time ? s.timeCode : s.dateCode;
    const std::string prefix = time ? "timeCode." : "dateCode.";
    for (const auto& f : detail::codeFields())
      if (checkField(f, c, prefix + std::string(f.name), message)) return 1;
    const int32_t isDate = time ? 0 : 1;
    if (static_cast<int32_t>(c.isDateCode) != isDate) {
      message = rangeMessage(prefix + "isDateCode", c.isDateCode, isDate, isDate);
      return 1;
    }
    const int32_t lastFormat = time ? kTimeFormatListLength - 1 : dateFormatListLength(s.language) - 1;
    if (c.formatIndex > lastFormat) {
      message = rangeMessage(prefix + "formatIndex", c.formatIndex, 0, lastFormat);
      return 1;
    }
    if (!time && c.intervalMode == IntervalMode::BetweenMarkersZeroTime) {
      message = rangeMessage(prefix + "intervalMode", static_cast<int32_t>(c.intervalMode), 0,
                             static_cast<int32_t>(IntervalMode::BetweenMarkers));
      return 1;
    }
    if (c.periodLengthSeconds >= c.periodSeconds) {
      message = formatMessage(kMsgPeriodLength,
                              {u16(prefix + "periodLengthSeconds"), c.periodLengthSeconds, c.periodSeconds});
      return 1;
    }
  }
  return 0;
}

FramePosition clampToFrame(FramePosition p, int32_t frameHeight) {
  const int32_t height = std::clamp(frameHeight, 0, kMaxFrameHeight);
  return {std::clamp(p.x, 0, kFrameWidth), std::clamp(p.y, 0, height)};
}

void clampPositions(StampSettings& s) {
  for (StampCodeSettings* c : {&s.dateCode, &s.timeCode}) {
    const FramePosition p = clampToFrame({c->x, c->y});
    c->x = p.x;
    c->y = p.y;
  }
}

int validateFadeLengths(const StampSettings& s, std::u16string& message) {
  for (const bool time : {false, true}) {
    const StampCodeSettings& c = time ? s.timeCode : s.dateCode;
    const int32_t stamped = stampedSeconds(c);
    if (c.fadeOn && stamped > 0 && int64_t{2} * c.fadeSeconds > stamped) {
      message = formatMessage(kMsgFadeLength, {time ? u"timeCode.fadeSeconds" : u"dateCode.fadeSeconds",
                                               c.fadeSeconds, stamped});
      return 1;
    }
  }
  return 0;
}

}  // namespace kelo::settings

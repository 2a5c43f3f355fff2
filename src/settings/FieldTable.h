#pragma once
// Internal to the settings library: the one table of persisted fields, in file order, with each
// field's place in the 2.1.0 image, its limits and its accessors. The image codec, the limits
// check and the by-name access all walk these tables, so a field is described exactly once.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "settings/SettingsFields.h"
#include "settings/StampSettings.h"

namespace kelo::settings::detail {

template <class Record>
struct Field {
  std::string_view name;  // relative name ("transparency", "font.lfFaceName")
  FieldKind kind;
  int offset;             // byte offset in the record's 2.1.0 image
  int32_t min;            // numbers: inclusive range
  int32_t max;
  std::size_t capacity;   // texts: code units, terminator included
  int32_t (*get)(const Record&);
  void (*set)(Record&, int32_t);
  const char16_t* (*text)(const Record&);
  char16_t* (*mutableText)(Record&);
  // Numbers the program itself can push past their range (positions made by the nudge buttons
  // and preview conversions): a stored value outside is brought to the nearest limit on load.
  bool clampedOnLoad = false;
};

// Bytes one field takes in the image.
template <class Record>
constexpr int fieldBytes(const Field<Record>& f) {
  switch (f.kind) {
    case FieldKind::Byte: return 1;
    case FieldKind::Text: return static_cast<int>(f.capacity * 2);
    default: return 4;
  }
}

// Fields of the settings image before the two code blocks.
std::span<const Field<StampSettings>> globalFields();
// Fields of one 392-byte code block.
std::span<const Field<StampCodeSettings>> codeFields();
// Texts kept beside the image (custom formats, output folder); their offset is -1.
std::span<const Field<StampSettings>> companionFields();

inline constexpr int kDateCodeOffset = 1284;
inline constexpr int kTimeCodeOffset = 1676;

}  // namespace kelo::settings::detail

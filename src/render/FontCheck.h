#pragma once
// Whether the stamp texts can be drawn at all: a machine without the chosen face and without any
// fallback for its characters would stamp nothing while the run looks complete.
#include <optional>
#include <string>

#include "settings/StampSettings.h"

namespace kelo::render {

struct UndrawableCode {
  bool dateCode = true;  // false: the time code
  std::u16string face;   // the face the code asks for
};

// The first enabled code (date code, then time code) whose text, formatted for a sample recording
// time, cannot be drawn with its face or a fallback face; none when both can.
std::optional<UndrawableCode> findUndrawableCode(const settings::StampSettings& settings);

// "找不到能显示日期码的字体（Arial），没法加码。": the message for a run or the desktop program.
std::string undrawableCodeMessage(const UndrawableCode& code);

}  // namespace kelo::render

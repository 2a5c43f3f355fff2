#pragma once
// The date code and time code texts of one frame: format choice, line breaks, upper/lower case,
// am/pm, frame and millisecond suffixes. Safe to call from several threads at once.
#include "dv/FrameInfo.h"
#include "dv/VideoProfile.h"
#include "settings/StampSettings.h"

#include <ctime>
#include <string>
#include <string_view>

namespace kelo::render {

struct StampText {
  std::u16string text;  // at most kMaxTextLength code units; lines separated by U+000D
  int lineCount = 1;
};

// The date code text (" " when the frame has no date).
StampText formatDateText(const dv::DvFrameInfo& info, const settings::StampSettings& settings);
// The time code text (" " when the frame has no time).
StampText formatTimeText(const dv::DvFrameInfo& info, const settings::StampSettings& settings);

struct FormatFields {
  bool hasDate = false;
  bool hasTime = false;
};
// Whether a custom format holds date fields and/or time fields (plain substring tests).
FormatFields analyseCustomFormat(std::u16string_view format);

// What `format` gives for `sample` in the locale of `language` (format combo, custom format dialog).
std::u16string formatSample(std::u16string_view format, int language, const std::tm& sample);

// The format a date code uses, with the "\n" pairs still in it: the custom slot of the language's
// list for entry 0, else the built-in entry. An entry the list does not show falls back to entry 1.
std::u16string dateFormatFor(const settings::StampSettings& settings);
// Date list (0..3) of a stamp language.
int dateListOf(int language);

// Whole-text case mapping with the root locale; the result is cut at kMaxTextLength.
std::u16string toUpperText(std::u16string_view text);
std::u16string toLowerText(std::u16string_view text);

// The profile texts are placed and timed for: the frame's own, or 525/60 while no frame gave one.
inline const dv::VideoProfile& textProfileOf(const dv::DvFrameInfo& info) {
  return info.profile ? *info.profile : dv::profileOf(dv::VideoSystem::k525_60);
}

}  // namespace kelo::render

#include "settings/StampSettings.h"

#include <algorithm>

namespace kelo::settings {

StampSettings::StampSettings() { resetToDefaults(*this); }

LogFont defaultFont() {
  LogFont font;
  font.lfHeight = -29;  // 22 points at 96 dpi
  font.lfWeight = 700;
  font.lfOutPrecision = 3;
  font.lfClipPrecision = 2;
  font.lfQuality = 3;
  font.lfPitchAndFamily = 0x12;
  setText(font.lfFaceName, u"Arial");
  return font;
}

void resetToDefaults(StampSettings& s) {
  // Zero the image first: every field not named below is 0 or empty.
  s.idle = false;
  s.language = 0;
  s.previewSize = PreviewSize::FrameSize;
  s.adjustYears = s.adjustMonths = s.adjustDays = 0;
  s.adjustHours = s.adjustMinutes = s.adjustSeconds = 0;
  s.creationTimeFromFirstTimecode = false;
  s.modificationTimeFromLastTimecode = false;
  s.renameOutput = false;
  setText(s.outputNamePattern, u"");
  s.markersInOneFile = false;
  s.tapeTimecodeAsTcb = false;
  s.safeArea = false;
  setText(s.addFilesFolder, u"");
  setText(s.projectPath, u"");
  s.dateCode = StampCodeSettings{};
  s.timeCode = StampCodeSettings{};

  // Global fields.
  s.idle = true;
  s.language = 1;
  s.previewSize = PreviewSize::FrameSize;
  s.markersInOneFile = true;

  // The date code, font included; the time code starts as its copy.
  StampCodeSettings& d = s.dateCode;
  d.enabled = true;
  d.formatIndex = 1;
  d.corner = CornerPreset::BottomLeft;
  d.x = 64;
  d.y = 64;
  d.font = defaultFont();
  d.pointSizeTenths = 220;
  d.outline = true;
  d.fontBrightness = 220;
  d.outlineBrightness = -220;
  d.transparency = 0;
  d.intervalMode = IntervalMode::EveryFrame;
  d.sceneSeconds = 3;
  d.sceneGapSeconds = 0;
  d.dateChangeSeconds = 3;
  d.periodLengthSeconds = 3;
  d.periodSeconds = 60;
  d.markerSeconds = 3;
  d.fadeOn = false;
  d.fadeSeconds = 1;
  d.delayOn = false;
  d.delaySeconds = 3;
  s.timeCode = d;

  d.customHasTime = true;
  d.isDateCode = true;
  s.timeCode.corner = CornerPreset::BottomRight;
  s.timeCode.y = 64;

  setText(s.outputNamePattern, kDefaultOutputNamePattern);
  setText(s.addFilesFolder, u"");
}

int32_t dateFormatListLength(int32_t language) {
  if (language == 0) return 7;
  if (language == 1) return 3;
  return 8;
}

void changeLanguage(StampSettings& s, int32_t language) {
  s.language = language;
  if (s.dateCode.formatIndex >= dateFormatListLength(language)) s.dateCode.formatIndex = 1;
}

std::u16string textOf(const char16_t* field, std::size_t capacity) {
  const char16_t* end = std::find(field, field + capacity, u'\0');
  return std::u16string(field, end);
}

bool setText(char16_t* field, std::size_t capacity, std::u16string_view text) {
  if (capacity == 0) return !text.empty();
  std::size_t n = std::min(text.size(), capacity - 1);
  const bool cut = n < text.size();
  // Never keep half of a surrogate pair at the cut.
  if (cut && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  std::copy_n(text.data(), n, field);
  std::fill(field + n, field + capacity, u'\0');
  return cut;
}

bool isTerminated(const char16_t* field, std::size_t capacity) {
  return std::find(field, field + capacity, u'\0') != field + capacity;
}

}  // namespace kelo::settings

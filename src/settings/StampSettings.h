#pragma once
// The one record of every stamping and preview option, with its defaults. The program that owns
// the settings holds one instance and passes it by reference; the library keeps none of its own.
// The persisted form (a fixed 2068-byte image plus the custom formats and the output folder) is
// written and read by settings/SettingsImage.h and settings/ProjectFile.h; the in-memory form
// below only keeps the field order and text capacities of that image.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelo::settings {

// When a code is stamped (values are stored in files; do not renumber).
enum class IntervalMode : int32_t {
  EveryFrame = 0,
  OnSceneChange = 1,
  OnDateChange = 2,
  Periodic = 3,
  AtStartMarkers = 4,
  BetweenMarkers = 5,
  BetweenMarkersZeroTime = 6,  // time code only
};

// Placement preset of a code; x is measured from the right edge for the right presets, y from
// the bottom edge for the bottom presets.
enum class CornerPreset : int32_t {
  TopLeft = 0,
  TopCentre = 1,
  TopRight = 2,
  BottomLeft = 3,
  BottomCentre = 4,
  BottomRight = 5,
};

enum class PreviewSize : int32_t {
  FrameSize = 0,  // 720x576 (625/50) or 720x480 (525/60)
  Size720x540 = 1,
  Size640x480 = 2,
  Size720x405 = 3,
};

// Capacities of the fixed text arrays, terminator included.
inline constexpr std::size_t kFormatCapacity = 100;      // format texts, name pattern
inline constexpr std::size_t kPathCapacity = 256;        // addFilesFolder, projectPath
inline constexpr std::size_t kOutputFolderCapacity = 128;
inline constexpr std::size_t kFaceNameCapacity = 32;     // LOGFONTW face name

// The font record as stored in files: the 92-byte LOGFONTW layout.
struct LogFont {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char16_t lfFaceName[kFaceNameCapacity] = {};

  bool operator==(const LogFont&) const = default;
};

// Appearance, placement and interval rules of one code (date code or time code).
// Flags are stored as 0/1 integers in files.
struct StampCodeSettings {
  char16_t customFormat[kFormatCapacity] = {};
  bool customHasDate = false;
  bool customHasTime = false;
  bool enabled = false;
  bool uppercase = false;
  int32_t formatIndex = 0;       // 0 = customFormat, else a built-in entry of the code's list
  CornerPreset corner = CornerPreset::TopLeft;
  int32_t x = 0;                 // frame pixels of a 720-pixel-wide frame
  int32_t y = 0;
  LogFont font;
  int32_t pointSizeTenths = 0;
  bool outline = false;
  int32_t fontBrightness = 0;    // -255 ... 255, same scale as picture samples
  int32_t outlineBrightness = 0;
  int32_t transparency = 0;      // percent, 0 ... 90
  IntervalMode intervalMode = IntervalMode::EveryFrame;
  int32_t sceneSeconds = 0;
  int32_t sceneGapSeconds = 0;
  int32_t dateChangeSeconds = 0;
  int32_t periodLengthSeconds = 0;
  int32_t periodSeconds = 0;
  int32_t markerSeconds = 0;
  bool fadeOn = false;
  int32_t fadeSeconds = 0;
  bool delayOn = false;
  int32_t delaySeconds = 0;
  bool isDateCode = false;       // fixed: 1 in the date code only

  bool operator==(const StampCodeSettings&) const = default;
};

// Every option. A default-constructed record holds the defaults (as after resetToDefaults) and
// the initial custom formats.
struct StampSettings {
  StampSettings();

  // --- the persisted image, in file order ---
  bool idle = true;  // run-time state; stored but carries no meaning in a file
  int32_t language = 0;  // stamp language: 0 numerals, 1 Chinese; 2..27 only from stored files
  PreviewSize previewSize = PreviewSize::FrameSize;
  int32_t adjustYears = 0;
  int32_t adjustMonths = 0;
  int32_t adjustDays = 0;
  int32_t adjustHours = 0;
  int32_t adjustMinutes = 0;
  int32_t adjustSeconds = 0;
  bool creationTimeFromFirstTimecode = false;
  bool modificationTimeFromLastTimecode = false;
  bool renameOutput = false;
  char16_t outputNamePattern[kFormatCapacity] = {};
  bool markersInOneFile = false;
  bool tapeTimecodeAsTcb = false;
  bool safeArea = false;
  char16_t addFilesFolder[kPathCapacity] = {};
  char16_t projectPath[kPathCapacity] = {};
  StampCodeSettings dateCode;
  StampCodeSettings timeCode;

  // --- persisted beside the image (project file), untouched by a reset ---
  // Custom date format of language lists 0..3 (list = min(language, 3)). "\n" is the two
  // characters backslash and n; the text formatter turns it into a line break.
  char16_t customDateFormats[4][kFormatCapacity] = {
      u"%Y-%m-%d\\n%#I:%M:%S%p",
      u"%#x\\n%#I:%M:%S%p",
      u"%b-%#d-%Y\\n%#I:%M:%S%p",
      u"%#x\\n%#I:%M:%S%p",
  };
  char16_t customTimeFormat[kFormatCapacity] = u"%#H:%M:%S EST";
  char16_t outputFolder[kOutputFolderCapacity] = {};

  // --- run-time companions, never persisted ---
  bool projectModified = false;  // project has unsaved changes
  bool markersModified = false;  // markers of the previewed video not yet written

  bool operator==(const StampSettings&) const = default;
};

// Default output file name pattern.
inline constexpr std::u16string_view kDefaultOutputNamePattern = u"@N-20@F@f-@L@l";

// Zero the image, then set the defaults: global fields, the date code (font included), copy of
// the date code into the time code, the date-code-only and time-code values, and last the name
// pattern and addFilesFolder. Custom formats, outputFolder and the run-time flags stay.
void resetToDefaults(StampSettings& settings);

// The default font of both codes (Arial bold, 22 points at 96 dpi).
LogFont defaultFont();

// Number of entries of the date format list shown for `language` (custom entry included):
// 7 for language 0, 3 for language 1, 8 from 2 on.
int32_t dateFormatListLength(int32_t language);
// Entries of the time format list (custom entry included).
inline constexpr int32_t kTimeFormatListLength = 15;
// Highest stamp language index (the locale table has 28 entries).
inline constexpr int32_t kMaxLanguage = 27;
// Sets the stamp language the way the preferences dialog does: a date formatIndex that is not
// below the new language's date list length becomes 1.
void changeLanguage(StampSettings& settings, int32_t language);
// Which of the four custom date slots a language uses.
inline int32_t customDateSlot(int32_t language) { return language < 0 ? 0 : (language > 3 ? 3 : language); }

// --- fixed text fields ---
// Text up to the first NUL (or the whole array if there is none).
std::u16string textOf(const char16_t* field, std::size_t capacity);
template <std::size_t N>
std::u16string textOf(const char16_t (&field)[N]) { return textOf(field, N); }

// Store `text` NUL-terminated, cut to capacity - 1 code units (99, 255, 127, 31); the rest of
// the array is cleared. Returns true when the text had to be cut.
bool setText(char16_t* field, std::size_t capacity, std::u16string_view text);
template <std::size_t N>
bool setText(char16_t (&field)[N], std::u16string_view text) { return setText(field, N, text); }

// True when the array holds a NUL terminator.
bool isTerminated(const char16_t* field, std::size_t capacity);
template <std::size_t N>
bool isTerminated(const char16_t (&field)[N]) { return isTerminated(field, N); }

}  // namespace kelo::settings

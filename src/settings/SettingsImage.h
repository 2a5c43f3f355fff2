#pragma once
// The fixed binary image of the settings (2068 bytes, or 1864 in version 2.0.0) and of one code
// block (392 bytes), written and read field by field in little-endian order.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "settings/StampSettings.h"

namespace kelo::settings {

inline constexpr std::size_t kSettingsImageSize = 2068;
inline constexpr std::size_t kSettingsImageSize200 = 1864;  // version 2.0.0: no renaming fields
inline constexpr std::size_t kCodeBlockSize = 392;

enum class ImageVersion { V200, V210 };

void writeCodeBlock(const StampCodeSettings& code, std::span<uint8_t, kCodeBlockSize> out);
void writeSettingsImage(const StampSettings& settings, std::span<uint8_t, kSettingsImageSize> out);

// Reads an image of the given version over `settings` (image fields only; in 2.0.0
// renameOutput becomes 0 and outputNamePattern the default). A number outside its field's range
// (a flag other than 0/1, an unknown enumeration value) stops the read with 1 and a message
// naming the field; `settings` may then be partly overwritten, so callers read into a copy.
// Positions outside the frame are brought into it instead (see clampPositions).
// Texts are taken as stored; validateSettings checks their terminators.
int readSettingsImage(std::span<const uint8_t> image, ImageVersion version, StampSettings& settings,
                      std::u16string& message);

// Little-endian primitives shared by the file writers of this library.
void putInt32(uint8_t* out, int32_t value);
int32_t getInt32(const uint8_t* in);
void putText(uint8_t* out, const char16_t* text, std::size_t units);
void getText(const uint8_t* in, char16_t* text, std::size_t units);

}  // namespace kelo::settings

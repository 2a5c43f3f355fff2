#include "platform/Text.h"

#include <unicode/unistr.h>

namespace kelo::platform {

std::u16string fromUtf8(std::string_view utf8) {
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  return std::u16string(reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<size_t>(s.length()));
}

std::string toUtf8(std::u16string_view utf16) {
  icu::UnicodeString s(utf16.data(), static_cast<int32_t>(utf16.size()));
  std::string out;
  s.toUTF8String(out);
  return out;
}

}  // namespace kelo::platform

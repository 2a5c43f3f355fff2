#pragma once
// UTF-8 (file system, terminal) and UTF-16 (every text of the settings and the stamp) conversions.
#include <string>
#include <string_view>

namespace kelo::platform {

std::u16string fromUtf8(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

}  // namespace kelo::platform

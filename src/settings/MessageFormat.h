#pragma once
// printf-style filling of the user-visible message templates (UTF-16). Only "%s", "%d" and "%%"
// are understood, which is all the messages of this system use; a placeholder without an
// argument is left as it stands.
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kelo::settings {

struct MessageArg {
  std::u16string text;
  MessageArg(std::u16string_view s) : text(s) {}
  MessageArg(const char16_t* s) : text(s) {}
  MessageArg(const std::u16string& s) : text(s) {}
  template <std::integral T>
  MessageArg(T value) : text(numberText(static_cast<int64_t>(value))) {}

  static std::u16string numberText(int64_t value);
};

std::u16string formatMessage(std::u16string_view pattern, std::initializer_list<MessageArg> args);

}  // namespace kelo::settings

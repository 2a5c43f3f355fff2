#include "settings/MessageFormat.h"

#include <string>

namespace kelo::settings {

std::u16string MessageArg::numberText(int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string formatMessage(std::u16string_view pattern, std::initializer_list<MessageArg> args) {
  std::u16string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c != u'%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    const char16_t spec = pattern[i + 1];
    if (spec == u'%') {
      out += u'%';
      ++i;
    } else if ((spec == u's' || spec == u'd') && next != args.end()) {
      out += next->text;
      ++next;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace kelo::settings

#include "container/RiffChunks.h"

namespace kelo::container {

std::string fourccText(uint32_t code) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
    s += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return s;
}

}  // namespace kelo::container

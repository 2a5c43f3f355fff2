#pragma once
// Four-character codes of RIFF/AVI files, compared without regard to case (writers differ in how
// they spell them). Little-endian fields come from ByteOrder.h.
#include <cstddef>
#include <cstdint>
#include <string>

#include "container/ByteOrder.h"

namespace kelo::container {

// Bytes read from the start of an AVI file to find the stream header and the movie list.
inline constexpr size_t kHeaderBytes = 0x24000;

// ASCII lower case only; other bytes stay as they are.
inline uint8_t lowerAscii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c; }

// The four bytes at p, lowered, as a packed value (byte 0 in the low bits); 0 never occurs for a
// code read from a file that the scanner looks for, so it serves as "none".
inline uint32_t lowerFourcc(const uint8_t* p) {
  return static_cast<uint32_t>(lowerAscii(p[0])) | (static_cast<uint32_t>(lowerAscii(p[1])) << 8) |
         (static_cast<uint32_t>(lowerAscii(p[2])) << 16) | (static_cast<uint32_t>(lowerAscii(p[3])) << 24);
}
constexpr uint32_t fourcc(const char (&code)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24);
}
// True when the four bytes at p, lowered, equal the lower-case literal `code`.
inline bool isFourcc(const uint8_t* p, const char (&code)[5]) { return lowerFourcc(p) == fourcc(code); }

// Printable form of a packed code (for messages and JSON).
std::string fourccText(uint32_t code);

}  // namespace kelo::container

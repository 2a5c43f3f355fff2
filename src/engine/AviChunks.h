#pragma once
// Small helpers for the bytes of RIFF/AVI files: little-endian fields and four-character codes
// compared without regard to case (writers differ in how they spell them).
#include <cstddef>
#include <cstdint>
#include <string>

namespace kelo::engine {

// Bytes read from the start of a file to find the stream header and the movie list, and the
// frame buffer size every caller of the reader provides (it covers the largest read span).
inline constexpr size_t kHeaderBytes = 0x24000;
inline constexpr size_t kFrameBufferBytes = 0x24000;

inline uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t readLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t readLe64(const uint8_t* p) {
  return static_cast<uint64_t>(readLe32(p)) | (static_cast<uint64_t>(readLe32(p + 4)) << 32);
}
inline void writeLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void writeLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void writeLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// ASCII lower case only; other bytes stay as they are.
inline uint8_t lowerAscii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c; }

// True when the four bytes at p, lowered, equal the lower-case literal `code` (four characters).
inline bool isFourcc(const uint8_t* p, const char* code) {
  for (int i = 0; i < 4; ++i) {
    if (lowerAscii(p[i]) != static_cast<uint8_t>(code[i])) return false;
  }
  return true;
}

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
// Printable form of a packed code (for messages and JSON).
std::string fourccText(uint32_t code);

}  // namespace kelo::engine

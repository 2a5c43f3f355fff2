#pragma once
// Reading and writing bit strings most significant bit first, with absolute bit positions.
// Buffers handed to these helpers carry kBitPadding readable bytes beyond their content, so that a
// window can always be loaded whole; reads beyond the buffer's capacity come back as zero bits.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelo::dv {

inline constexpr size_t kBitPadding = 8;

// 32 bits starting at bit `pos` of `data` (capacity `size` bytes), zero beyond the capacity.
inline uint32_t peekBits32(const uint8_t* data, size_t size, uint32_t pos) {
  const size_t byte = pos >> 3;
  uint64_t v;
  if (byte + 8 <= size) {
    std::memcpy(&v, data + byte, 8);
    v = __builtin_bswap64(v);
  } else {
    v = 0;
    for (size_t i = 0; i < 8; ++i) v = (v << 8) | (byte + i < size ? data[byte + i] : 0u);
  }
  return static_cast<uint32_t>((v << (pos & 7)) >> 32);
}

// ORs the low `n` bits (n 1-32) of `value` into `data` at bit `pos`; the caller keeps the write
// within the buffer's capacity (pos + n <= 8 x size).
inline void orBits(uint8_t* data, size_t size, uint32_t pos, uint32_t value, int n) {
  if (n <= 0) return;
  const uint64_t v = (static_cast<uint64_t>(value) & ((uint64_t{1} << n) - 1)) << (64 - n - (pos & 7));
  const size_t byte = pos >> 3;
  if (byte + 8 <= size) {
    // One unaligned read-modify-write of eight bytes; the bytes beyond the field get zero bits.
    uint64_t word;
    std::memcpy(&word, data + byte, 8);
    word |= __builtin_bswap64(v);
    std::memcpy(data + byte, &word, 8);
    return;
  }
  const size_t touched = ((pos & 7) + static_cast<size_t>(n) + 7) >> 3;
  for (size_t i = 0; i < touched && byte + i < size; ++i) data[byte + i] |= static_cast<uint8_t>(v >> (56 - 8 * i));
}

// Appends bits [from, to) of `src` to `dst` at bit `dstPos` (dst cleared beforehand); returns the
// new end of `dst`.
inline uint32_t appendBits(uint8_t* dst, size_t dstSize, uint32_t dstPos, const uint8_t* src, size_t srcSize,
                           uint32_t from, uint32_t to) {
  // Up to 56 bits a step while both eight-byte windows lie inside their buffers.
  while (from < to && (from >> 3) + 8 <= srcSize && (dstPos >> 3) + 8 <= dstSize) {
    const uint32_t n = to - from < 56 ? to - from : 56;
    uint64_t in;
    std::memcpy(&in, src + (from >> 3), 8);
    const uint64_t chunk = (__builtin_bswap64(in) << (from & 7)) & (~uint64_t{0} << (64 - n));
    uint64_t out;
    std::memcpy(&out, dst + (dstPos >> 3), 8);
    out |= __builtin_bswap64(chunk >> (dstPos & 7));
    std::memcpy(dst + (dstPos >> 3), &out, 8);
    from += n;
    dstPos += n;
  }
  while (from < to) {
    const int n = static_cast<int>(to - from < 32 ? to - from : 32);
    const uint32_t chunk = peekBits32(src, srcSize, from) >> (32 - n);
    orBits(dst, dstSize, dstPos, chunk, n);
    from += static_cast<uint32_t>(n);
    dstPos += static_cast<uint32_t>(n);
  }
  return dstPos;
}

// A reader over one buffer: position at any bit, peek, skip and read up to 32 bits.
class BitReader {
 public:
  BitReader() = default;
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  void reset(const uint8_t* data, size_t size) {
    data_ = data;
    size_ = size;
    pos_ = 0;
  }
  void seek(uint32_t bit) { pos_ = bit; }
  uint32_t position() const { return pos_; }
  uint32_t peek(int n) const { return n == 0 ? 0 : peekBits32(data_, size_, pos_) >> (32 - n); }
  void skip(int n) { pos_ += static_cast<uint32_t>(n); }
  uint32_t read(int n) {
    const uint32_t v = peek(n);
    skip(n);
    return v;
  }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  uint32_t pos_ = 0;
};

}  // namespace kelo::dv

#pragma once
// Which of a block's 64 coefficients are not zero, as one 64-bit mask (bit p for coefficient p):
// blocks carry few coefficients, so loops over the set bits beat loops over all 64.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelo::dv {

#if defined(__SSE2__)
// 8 bits, one per coefficient c[0..7] that is not zero.
inline uint64_t nonzeroByte(const int16_t* c) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
  const __m128i z = _mm_packs_epi16(_mm_cmpeq_epi16(v, zero), zero);  // 0xFF where zero
  return static_cast<uint64_t>(~_mm_movemask_epi8(z) & 0xFF);
}
#endif

inline uint64_t nonzeroMask(const int16_t* c) {
#if defined(__SSE2__)
  // Written out: a loop here is not unrolled at -O2.
  return nonzeroByte(c) | nonzeroByte(c + 8) << 8 | nonzeroByte(c + 16) << 16 | nonzeroByte(c + 24) << 24 |
         nonzeroByte(c + 32) << 32 | nonzeroByte(c + 40) << 40 | nonzeroByte(c + 48) << 48 | nonzeroByte(c + 56) << 56;
#else
  uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) mask |= static_cast<uint64_t>(c[i] != 0) << i;
  return mask;
#endif
}

// Which coefficients of two blocks differ, as one mask.
inline uint64_t differenceMask(const int16_t* a, const int16_t* b) {
  uint64_t mask = 0;
#if defined(__SSE2__)
  for (int i = 0; i < 64; i += 16) {
    const __m128i x = _mm_packs_epi16(
        _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i))),
        _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + 8)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 8))));
    mask |= static_cast<uint64_t>(~_mm_movemask_epi8(x) & 0xFFFF) << i;
  }
#else
  for (int i = 0; i < 64; ++i) mask |= static_cast<uint64_t>(a[i] != b[i]) << i;
#endif
  return mask;
}

// Zeroes 64 coefficients (32-byte aligned) with plain stores: as a loop or memset the compiler
// emits a string instruction whose start-up costs more than the work.
inline void zeroBlock(int16_t* c) {
#if defined(__SSE2__)
  const __m128i z = _mm_setzero_si128();
  __m128i* p = reinterpret_cast<__m128i*>(c);
  _mm_store_si128(p + 0, z);
  _mm_store_si128(p + 1, z);
  _mm_store_si128(p + 2, z);
  _mm_store_si128(p + 3, z);
  _mm_store_si128(p + 4, z);
  _mm_store_si128(p + 5, z);
  _mm_store_si128(p + 6, z);
  _mm_store_si128(p + 7, z);
#else
  std::memset(c, 0, 64 * sizeof(int16_t));
#endif
}

}  // namespace kelo::dv

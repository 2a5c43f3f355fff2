#pragma once
// Which of a block's 64 coefficients are not zero, as one 64-bit mask (bit p for coefficient p):
// blocks carry few coefficients, so loops over the set bits beat loops over all 64.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelo::dv {

inline uint64_t nonzeroMask(const int16_t* c) {
#if defined(__SSE2__)
  uint64_t mask = 0;
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < 8; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 8 * i));
    const __m128i z = _mm_packs_epi16(_mm_cmpeq_epi16(v, zero), zero);  // 0xFF where zero
    mask |= static_cast<uint64_t>(~_mm_movemask_epi8(z) & 0xFF) << (8 * i);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) mask |= static_cast<uint64_t>(c[i] != 0) << i;
  return mask;
#endif
}

}  // namespace kelo::dv

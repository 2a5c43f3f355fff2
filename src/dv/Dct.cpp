#include "dv/Dct.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dv/QuantTables.h"
#include "dv/ScanTables.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KELO_DCT_X86 1
#endif

namespace kelo::dv {

namespace {

// Every transform is two matrix passes over 16-bit values with 32-bit sums: a row pass
// (out[r][o] = sum_i k[o][i] in[r][i]) and a column pass (out[o][c] = sum_i k[o][i] in[i][c]),
// each rounded by an arithmetic shift and saturated to 16 bits. Basis values are Q14 and no row of
// any matrix sums above 46344 in magnitude, so 32767 x 46344 < 2^31: no sum can overflow, whatever
// the input, and the scalar and vector forms agree bit for bit.
//
// Inverse: row pass >> 11 (3 bits kept beyond the input's), column pass >> 18 to S = 2 P or >> 19
// to P (levels). Forward (input transposed: rows are picture columns): vertical transform as a row
// pass >> 9 (5 fractional bits of S kept), horizontal transform as a column pass >> 18, leaving
// 4 F, then weighting by W in Q15.
constexpr int kBasisBits = 14;
constexpr int kInverseRowShift = 11;
constexpr int kSampleShift = 18;
constexpr int kLevelShift = 19;
constexpr int kForwardRowShift = 9;
constexpr int kForwardColumnShift = 18;
constexpr int kWeightBits = 15;
constexpr int kForwardLimit = 256;

struct Matrix {
  int16_t k[8][8];
  int32_t rowPairs[4][8];     // (k[o][2j], k[o][2j+1]) as one 32-bit lane, o = 0..7
  int32_t columnPairs[8][4];  // the same, by output row
};

struct Matrices {
  Matrix inverseRow;          // K8[x][h]
  Matrix inverseColumn[2];    // by DCT mode: K8, or the 2-4-8 field recombination
  Matrix forwardVertical[2];  // by DCT mode: B8, or the 4-point transform of line sums/differences
  Matrix forwardHorizontal;   // B8[h][x]
  int32_t weight[2][64];      // W x 2^15 by raster position
  alignas(32) int32_t weightTransposed[2][64];  // the same at the transposed position
};

int16_t basis(double v) { return static_cast<int16_t>(std::lround(v * (1 << kBasisBits))); }

void finishMatrix(Matrix& m) {
  auto pair = [](int16_t lo, int16_t hi) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(lo)) |
                                (static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16));
  };
  for (int o = 0; o < 8; ++o) {
    for (int j = 0; j < 4; ++j) {
      m.rowPairs[j][o] = pair(m.k[o][2 * j], m.k[o][2 * j + 1]);
      m.columnPairs[o][j] = m.rowPairs[j][o];
    }
  }
}

Matrices buildMatrices() {
  Matrices m{};
  const double pi = std::acos(-1.0);
  auto c = [](int k) { return k == 0 ? 1.0 / (2.0 * std::sqrt(2.0)) : 0.5; };
  // b8[k][n]: frequency k, sample n; b4 the same for four samples.
  int16_t b8[8][8], b4[4][4];
  for (int k = 0; k < 8; ++k)
    for (int n = 0; n < 8; ++n) b8[k][n] = basis(c(k) * std::cos((2 * n + 1) * k * pi / 16.0));
  for (int k = 0; k < 4; ++k)
    for (int n = 0; n < 4; ++n) b4[k][n] = basis(c(k) * std::cos((2 * n + 1) * k * pi / 8.0));
  for (int o = 0; o < 8; ++o) {
    for (int i = 0; i < 8; ++i) {
      m.inverseRow.k[o][i] = b8[i][o];
      m.inverseColumn[kDct88].k[o][i] = b8[i][o];
      m.forwardVertical[kDct88].k[o][i] = b8[o][i];
      m.forwardHorizontal.k[o][i] = b8[o][i];
    }
  }
  // 2-4-8. Inverse: line 2z = a + b, line 2z + 1 = a - b, a and b the 4-point inverses of the sum
  // field (rows 0-3) and the difference field (rows 4-7). Forward: the 4-point transforms of the
  // sums and differences of line pairs.
  for (int z = 0; z < 4; ++z) {
    for (int u = 0; u < 4; ++u) {
      const int16_t k = b4[u][z];
      m.inverseColumn[kDct248].k[2 * z][u] = k;
      m.inverseColumn[kDct248].k[2 * z][4 + u] = k;
      m.inverseColumn[kDct248].k[2 * z + 1][u] = k;
      m.inverseColumn[kDct248].k[2 * z + 1][4 + u] = static_cast<int16_t>(-k);
      m.forwardVertical[kDct248].k[u][2 * z] = k;
      m.forwardVertical[kDct248].k[u][2 * z + 1] = k;
      m.forwardVertical[kDct248].k[4 + u][2 * z] = k;
      m.forwardVertical[kDct248].k[4 + u][2 * z + 1] = static_cast<int16_t>(-k);
    }
  }
  finishMatrix(m.inverseRow);
  finishMatrix(m.forwardHorizontal);
  for (int mode = 0; mode < 2; ++mode) {
    finishMatrix(m.inverseColumn[mode]);
    finishMatrix(m.forwardVertical[mode]);
    for (int i = 0; i < 64; ++i) m.weight[mode][i] = static_cast<int32_t>(std::lround(weights(mode)[i] * (1 << kWeightBits)));
    for (int i = 0; i < 64; ++i) m.weightTransposed[mode][8 * (i % 8) + i / 8] = m.weight[mode][i];
  }
  return m;
}

const Matrices& matrices() {
  static const Matrices m = buildMatrices();
  return m;
}

// Rows become columns. Inlined where it is used, so that in the AVX2 forms it is encoded as they are
// (legacy SSE code after 256-bit code stalls on the upper register halves).
__attribute__((always_inline)) inline void transpose8x8(int16_t* block) {
#if defined(__SSE2__)
  // Pairs, then quads, then halves of rows interleaved: row c of the result is column c.
  __m128i* rows = reinterpret_cast<__m128i*>(block);
  __m128i r[8], a[8], b[8];
  for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(rows + i);
  for (int i = 0; i < 8; i += 2) {
    a[i] = _mm_unpacklo_epi16(r[i], r[i + 1]);
    a[i + 1] = _mm_unpackhi_epi16(r[i], r[i + 1]);
  }
  for (int i = 0; i < 8; i += 4) {
    b[i] = _mm_unpacklo_epi32(a[i], a[i + 2]);
    b[i + 1] = _mm_unpackhi_epi32(a[i], a[i + 2]);
    b[i + 2] = _mm_unpacklo_epi32(a[i + 1], a[i + 3]);
    b[i + 3] = _mm_unpackhi_epi32(a[i + 1], a[i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    _mm_storeu_si128(rows + 2 * i, _mm_unpacklo_epi64(b[i], b[i + 4]));
    _mm_storeu_si128(rows + 2 * i + 1, _mm_unpackhi_epi64(b[i], b[i + 4]));
  }
#else
  for (int y = 0; y < 8; ++y) {
    for (int x = y + 1; x < 8; ++x) std::swap(block[8 * y + x], block[8 * x + y]);
  }
#endif
}

inline int16_t saturate16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

// Shared by every form: input limited for the forward transform, output weighting.
inline void limitSamples(const int16_t* in, int16_t* out) {
  for (int i = 0; i < 64; ++i) out[i] = static_cast<int16_t>(std::clamp<int>(in[i], -kForwardLimit, kForwardLimit));
}

inline void weigh(const int16_t* f4Transposed, int dctMode, int16_t* weighted) {
  const int32_t* w = matrices().weight[dctMode];
  for (int v = 0; v < 8; ++v) {
    for (int h = 0; h < 8; ++h) {
      const int32_t p = f4Transposed[8 * h + v] * w[8 * v + h];
      weighted[8 * v + h] = saturate16((p + (1 << (kWeightBits + 1))) >> (kWeightBits + 2));
    }
  }
  weighted[0] = static_cast<int16_t>(std::clamp<int>(weighted[0], -256, 255));
}

// ---- scalar reference ----

template <int Shift>
void rowsScalar(const int16_t* in, int16_t* out, const Matrix& m) {
  for (int r = 0; r < 8; ++r) {
    for (int o = 0; o < 8; ++o) {
      int32_t sum = 0;
      for (int i = 0; i < 8; ++i) sum += int32_t{m.k[o][i]} * in[8 * r + i];
      out[8 * r + o] = saturate16((sum + (1 << (Shift - 1))) >> Shift);
    }
  }
}

inline int32_t columnSum(const int16_t* t, const Matrix& m, int o, int c) {
  int32_t sum = 0;
  for (int i = 0; i < 8; ++i) sum += int32_t{m.k[o][i]} * t[8 * i + c];
  return sum;
}

template <int Shift>
void columnsScalar(const int16_t* t, int16_t* out, const Matrix& m) {
  for (int o = 0; o < 8; ++o)
    for (int c = 0; c < 8; ++c) out[8 * o + c] = saturate16((columnSum(t, m, o, c) + (1 << (Shift - 1))) >> Shift);
}

void toSamplesScalar(const int16_t* in, int16_t* out, int dctMode) {
  alignas(32) int16_t t[64];
  rowsScalar<kInverseRowShift>(in, t, matrices().inverseRow);
  columnsScalar<kSampleShift>(t, out, matrices().inverseColumn[dctMode]);
}

void toLevelsScalar(const int16_t* in, uint8_t* out, ptrdiff_t stride, int dctMode) {
  alignas(32) int16_t t[64];
  rowsScalar<kInverseRowShift>(in, t, matrices().inverseRow);
  const Matrix& m = matrices().inverseColumn[dctMode];
  for (int o = 0; o < 8; ++o) {
    for (int c = 0; c < 8; ++c) {
      // Exact halves go downward; saturate to 16 bits first, as the vector forms do.
      const int32_t level = saturate16((columnSum(t, m, o, c) + (1 << (kLevelShift - 1)) - 1) >> kLevelShift) + 128;
      out[o * stride + c] = static_cast<uint8_t>(std::clamp(level, 0, 255));
    }
  }
}

void forwardScalar(const int16_t* samplesTransposed, int dctMode, int16_t* weighted) {
  alignas(32) int16_t s[64], t[64], f[64];
  limitSamples(samplesTransposed, s);
  rowsScalar<kForwardRowShift>(s, t, matrices().forwardVertical[dctMode]);
  columnsScalar<kForwardColumnShift>(t, f, matrices().forwardHorizontal);
  weigh(f, dctMode, weighted);
}

#if KELO_DCT_X86

// ---- SSE2 ----

template <int Shift>
__attribute__((target("sse2"))) void rowsSse2(const int16_t* in, int16_t* out, const Matrix& m) {
  const __m128i round = _mm_set1_epi32(1 << (Shift - 1));
  __m128i kLo[4], kHi[4];
  for (int j = 0; j < 4; ++j) {
    kLo[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&m.rowPairs[j][0]));
    kHi[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&m.rowPairs[j][4]));
  }
  for (int r = 0; r < 8; ++r) {
    const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * r));
    const __m128i p[4] = {_mm_shuffle_epi32(row, 0x00), _mm_shuffle_epi32(row, 0x55), _mm_shuffle_epi32(row, 0xAA),
                          _mm_shuffle_epi32(row, 0xFF)};
    __m128i lo = round, hi = round;
    for (int j = 0; j < 4; ++j) {
      lo = _mm_add_epi32(lo, _mm_madd_epi16(p[j], kLo[j]));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(p[j], kHi[j]));
    }
    lo = _mm_srai_epi32(lo, Shift);
    hi = _mm_srai_epi32(hi, Shift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * r), _mm_packs_epi32(lo, hi));
  }
}

// The input rows interleaved in pairs: (t[2j][c], t[2j+1][c]) for c = 0..3 (lo) and 4..7 (hi).
__attribute__((target("sse2"))) inline void interleaveSse2(const int16_t* t, __m128i lo[4], __m128i hi[4]) {
  for (int j = 0; j < 4; ++j) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * j));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * j + 8));
    lo[j] = _mm_unpacklo_epi16(a, b);
    hi[j] = _mm_unpackhi_epi16(a, b);
  }
}

__attribute__((target("sse2"))) inline void columnSumSse2(const __m128i pairLo[4], const __m128i pairHi[4],
                                                          const int32_t* k, __m128i& lo, __m128i& hi) {
  lo = _mm_setzero_si128();
  hi = _mm_setzero_si128();
  for (int j = 0; j < 4; ++j) {
    const __m128i kk = _mm_set1_epi32(k[j]);
    lo = _mm_add_epi32(lo, _mm_madd_epi16(pairLo[j], kk));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(pairHi[j], kk));
  }
}

template <int Shift>
__attribute__((target("sse2"))) void columnsSse2(const int16_t* t, int16_t* out, const Matrix& m) {
  __m128i pairLo[4], pairHi[4];
  interleaveSse2(t, pairLo, pairHi);
  const __m128i round = _mm_set1_epi32(1 << (Shift - 1));
  for (int o = 0; o < 8; ++o) {
    __m128i lo, hi;
    columnSumSse2(pairLo, pairHi, m.columnPairs[o], lo, hi);
    lo = _mm_srai_epi32(_mm_add_epi32(lo, round), Shift);
    hi = _mm_srai_epi32(_mm_add_epi32(hi, round), Shift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * o), _mm_packs_epi32(lo, hi));
  }
}

__attribute__((target("sse2"))) void toSamplesSse2(const int16_t* in, int16_t* out, int dctMode) {
  alignas(32) int16_t t[64];
  rowsSse2<kInverseRowShift>(in, t, matrices().inverseRow);
  columnsSse2<kSampleShift>(t, out, matrices().inverseColumn[dctMode]);
}

__attribute__((target("sse2"))) void toLevelsSse2(const int16_t* in, uint8_t* out, ptrdiff_t stride, int dctMode) {
  alignas(32) int16_t t[64];
  rowsSse2<kInverseRowShift>(in, t, matrices().inverseRow);
  __m128i pairLo[4], pairHi[4];
  interleaveSse2(t, pairLo, pairHi);
  const __m128i round = _mm_set1_epi32((1 << (kLevelShift - 1)) - 1);
  const __m128i bias = _mm_set1_epi16(128);
  const Matrix& m = matrices().inverseColumn[dctMode];
  for (int o = 0; o < 8; ++o) {
    __m128i lo, hi;
    columnSumSse2(pairLo, pairHi, m.columnPairs[o], lo, hi);
    lo = _mm_srai_epi32(_mm_add_epi32(lo, round), kLevelShift);
    hi = _mm_srai_epi32(_mm_add_epi32(hi, round), kLevelShift);
    const __m128i s = _mm_adds_epi16(_mm_packs_epi32(lo, hi), bias);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o * stride), _mm_packus_epi16(s, s));
  }
}

__attribute__((target("sse2"))) void forwardSse2(const int16_t* samplesTransposed, int dctMode, int16_t* weighted) {
  alignas(32) int16_t s[64], t[64], f[64];
  limitSamples(samplesTransposed, s);
  rowsSse2<kForwardRowShift>(s, t, matrices().forwardVertical[dctMode]);
  columnsSse2<kForwardColumnShift>(t, f, matrices().forwardHorizontal);
  weigh(f, dctMode, weighted);
}

// ---- AVX2 ----

template <int Shift>
__attribute__((target("avx2"))) void rowsAvx2(const int16_t* in, int16_t* out, const Matrix& m) {
  const __m256i round = _mm256_set1_epi32(1 << (Shift - 1));
  __m256i k[4];
  for (int j = 0; j < 4; ++j) k[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&m.rowPairs[j][0]));
  for (int r = 0; r < 8; r += 2) {
    __m256i acc[2];
    for (int q = 0; q < 2; ++q) {
      int32_t p[4];
      std::memcpy(p, in + 8 * (r + q), sizeof p);
      __m256i a = round;
      for (int j = 0; j < 4; ++j) a = _mm256_add_epi32(a, _mm256_madd_epi16(_mm256_set1_epi32(p[j]), k[j]));
      acc[q] = _mm256_srai_epi32(a, Shift);
    }
    // packs works per 128-bit lane: [a0-3 b0-3 | a4-7 b4-7]; reorder to [a0-7 | b0-7].
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(acc[0], acc[1]), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * r), packed);
  }
}

__attribute__((target("avx2"))) inline void interleaveAvx2(const int16_t* t, __m256i pairs[4]) {
  for (int j = 0; j < 4; ++j) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * j));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * j + 8));
    pairs[j] = _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
  }
}

__attribute__((target("avx2"))) inline __m256i columnSumAvx2(const __m256i pairs[4], const int32_t* k) {
  __m256i s = _mm256_madd_epi16(pairs[0], _mm256_set1_epi32(k[0]));
  s = _mm256_add_epi32(s, _mm256_madd_epi16(pairs[1], _mm256_set1_epi32(k[1])));
  s = _mm256_add_epi32(s, _mm256_madd_epi16(pairs[2], _mm256_set1_epi32(k[2])));
  return _mm256_add_epi32(s, _mm256_madd_epi16(pairs[3], _mm256_set1_epi32(k[3])));
}

template <int Shift>
__attribute__((target("avx2"))) void columnsAvx2(const int16_t* t, int16_t* out, const Matrix& m) {
  __m256i pairs[4];
  interleaveAvx2(t, pairs);
  const __m256i round = _mm256_set1_epi32(1 << (Shift - 1));
  for (int o = 0; o < 8; o += 2) {
    const __m256i a = _mm256_srai_epi32(_mm256_add_epi32(columnSumAvx2(pairs, m.columnPairs[o]), round), Shift);
    const __m256i b = _mm256_srai_epi32(_mm256_add_epi32(columnSumAvx2(pairs, m.columnPairs[o + 1]), round), Shift);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * o),
                        _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
  }
}

__attribute__((target("avx2"))) void toSamplesAvx2(const int16_t* in, int16_t* out, int dctMode) {
  alignas(32) int16_t t[64];
  rowsAvx2<kInverseRowShift>(in, t, matrices().inverseRow);
  columnsAvx2<kSampleShift>(t, out, matrices().inverseColumn[dctMode]);
}

__attribute__((target("avx2"))) void toLevelsAvx2(const int16_t* in, uint8_t* out, ptrdiff_t stride, int dctMode) {
  alignas(32) int16_t t[64];
  rowsAvx2<kInverseRowShift>(in, t, matrices().inverseRow);
  __m256i pairs[4];
  interleaveAvx2(t, pairs);
  const __m256i round = _mm256_set1_epi32((1 << (kLevelShift - 1)) - 1);
  const __m256i bias = _mm256_set1_epi16(128);
  const Matrix& m = matrices().inverseColumn[dctMode];
  for (int o = 0; o < 8; o += 2) {
    const __m256i a = _mm256_srai_epi32(_mm256_add_epi32(columnSumAvx2(pairs, m.columnPairs[o]), round), kLevelShift);
    const __m256i b =
        _mm256_srai_epi32(_mm256_add_epi32(columnSumAvx2(pairs, m.columnPairs[o + 1]), round), kLevelShift);
    // [a0-3 b0-3 | a4-7 b4-7] -> [a0-7 | b0-7], then to bytes.
    const __m256i s = _mm256_adds_epi16(_mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8), bias);
    const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o * stride), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (o + 1) * stride), _mm_srli_si128(bytes, 8));
  }
}

__attribute__((target("avx2"))) inline __m256i weighEightAvx2(const int16_t* f, const int32_t* w) {
  const __m256i p = _mm256_mullo_epi32(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f))),
                                       _mm256_load_si256(reinterpret_cast<const __m256i*>(w)));
  return _mm256_srai_epi32(_mm256_add_epi32(p, _mm256_set1_epi32(1 << (kWeightBits + 1))), kWeightBits + 2);
}

// As weigh: the products in the transposed order the columns leave, then the block transposed.
__attribute__((target("avx2"))) void weighAvx2(const int16_t* f4Transposed, int dctMode, int16_t* weighted) {
  const int32_t* w = matrices().weightTransposed[dctMode];
  for (int i = 0; i < 64; i += 16) {
    const __m256i a = weighEightAvx2(f4Transposed + i, w + i);
    const __m256i b = weighEightAvx2(f4Transposed + i + 8, w + i + 8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(weighted + i), _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
  }
  transpose8x8(weighted);
  weighted[0] = static_cast<int16_t>(std::clamp<int>(weighted[0], -256, 255));
}

__attribute__((target("avx2"))) void forwardAvx2(const int16_t* samplesTransposed, int dctMode, int16_t* weighted) {
  alignas(32) int16_t s[64], t[64], f[64];
  const __m256i limit = _mm256_set1_epi16(kForwardLimit);
  for (int i = 0; i < 64; i += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samplesTransposed + i));
    _mm256_store_si256(reinterpret_cast<__m256i*>(s + i),
                       _mm256_max_epi16(_mm256_min_epi16(v, limit), _mm256_sub_epi16(_mm256_setzero_si256(), limit)));
  }
  rowsAvx2<kForwardRowShift>(s, t, matrices().forwardVertical[dctMode]);
  columnsAvx2<kForwardColumnShift>(t, f, matrices().forwardHorizontal);
  weighAvx2(f, dctMode, weighted);
}

#endif  // KELO_DCT_X86

const DctKernels kScalar{"scalar", toSamplesScalar, toLevelsScalar, forwardScalar};

struct VectorList {
  DctKernels items[2];
  int count = 0;
};

VectorList buildVectorList() {
  VectorList list;
#if KELO_DCT_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) list.items[list.count++] = {"sse2", toSamplesSse2, toLevelsSse2, forwardSse2};
  if (__builtin_cpu_supports("avx2")) list.items[list.count++] = {"avx2", toSamplesAvx2, toLevelsAvx2, forwardAvx2};
#endif
  return list;
}

const VectorList& vectorList() {
  static const VectorList list = buildVectorList();
  return list;
}

}  // namespace

const DctKernels& scalarDctKernels() { return kScalar; }

const DctKernels* vectorDctKernels(int& count) {
  const VectorList& list = vectorList();
  count = list.count;
  return list.items;
}

const DctKernels& dctKernels() {
  static const DctKernels& chosen = vectorList().count > 0 ? vectorList().items[vectorList().count - 1] : kScalar;
  return chosen;
}

void transposeBlock(int16_t* block) { transpose8x8(block); }

}  // namespace kelo::dv

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

// Fixed point of the inverse transform. Row pass: t = (sum K8[x][h] X[h] + 2^10) >> 11 keeps 3 more
// bits than its input; column pass divides by 2^18 (samples S) or 2^19 (levels). Every sum is
// bounded by 32767 x 44600 < 2^31, so 32-bit accumulation never overflows, whatever the input.
constexpr int kBasisBits = 14;
constexpr int kRowShift = 11;
constexpr int kSampleShift = 18;
constexpr int kLevelShift = 19;

struct InverseMatrices {
  int16_t row[8][8];      // K8[x][h]: output x of the 8-point inverse from coefficient h
  int16_t column[2][8][8];  // [mode][output row y][intermediate row]
  int32_t rowPairs[4][8];   // (K8[x][2j], K8[x][2j+1]) as one 32-bit lane, for x = 0..7
  int32_t columnPairs[2][8][4];  // (column[y][2j], column[y][2j+1])
};

int16_t basis(double v) { return static_cast<int16_t>(std::lround(v * (1 << kBasisBits))); }

InverseMatrices buildInverse() {
  InverseMatrices m{};
  const double pi = std::acos(-1.0);
  auto c = [](int k) { return k == 0 ? 1.0 / (2.0 * std::sqrt(2.0)) : 0.5; };
  for (int x = 0; x < 8; ++x) {
    for (int h = 0; h < 8; ++h) m.row[x][h] = basis(c(h) * std::cos((2 * x + 1) * h * pi / 16.0));
  }
  for (int y = 0; y < 8; ++y) {
    for (int v = 0; v < 8; ++v) m.column[kDct88][y][v] = m.row[y][v];
  }
  // 2-4-8: line 2z = a + b, line 2z + 1 = a - b, with a the 4-point inverse of the sum field
  // (rows 0-3) and b that of the difference field (rows 4-7).
  for (int z = 0; z < 4; ++z) {
    for (int u = 0; u < 4; ++u) {
      const int16_t k = basis(c(u) * std::cos((2 * z + 1) * u * pi / 8.0));
      m.column[kDct248][2 * z][u] = k;
      m.column[kDct248][2 * z][4 + u] = k;
      m.column[kDct248][2 * z + 1][u] = k;
      m.column[kDct248][2 * z + 1][4 + u] = static_cast<int16_t>(-k);
    }
  }
  auto pair = [](int16_t lo, int16_t hi) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(lo)) |
                                (static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16));
  };
  for (int j = 0; j < 4; ++j) {
    for (int x = 0; x < 8; ++x) m.rowPairs[j][x] = pair(m.row[x][2 * j], m.row[x][2 * j + 1]);
  }
  for (int mode = 0; mode < 2; ++mode) {
    for (int y = 0; y < 8; ++y) {
      for (int j = 0; j < 4; ++j) {
        m.columnPairs[mode][y][j] = pair(m.column[mode][y][2 * j], m.column[mode][y][2 * j + 1]);
      }
    }
  }
  return m;
}

const InverseMatrices& matrices() {
  static const InverseMatrices m = buildInverse();
  return m;
}

inline int16_t saturate16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

// ---- scalar reference ----

void rowsScalar(const int16_t* in, int16_t* t) {
  const InverseMatrices& m = matrices();
  for (int v = 0; v < 8; ++v) {
    const int16_t* r = in + 8 * v;
    for (int x = 0; x < 8; ++x) {
      int32_t sum = 0;
      for (int h = 0; h < 8; ++h) sum += int32_t{m.row[x][h]} * r[h];
      t[8 * v + x] = saturate16((sum + (1 << (kRowShift - 1))) >> kRowShift);
    }
  }
}

int32_t columnSum(const int16_t* t, const int16_t* k, int x) {
  int32_t sum = 0;
  for (int v = 0; v < 8; ++v) sum += int32_t{k[v]} * t[8 * v + x];
  return sum;
}

void toSamplesScalar(const int16_t* in, int16_t* out, int dctMode) {
  alignas(32) int16_t t[64];
  rowsScalar(in, t);
  const InverseMatrices& m = matrices();
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const int32_t sum = columnSum(t, m.column[dctMode][y], x);
      out[8 * y + x] = saturate16((sum + (1 << (kSampleShift - 1))) >> kSampleShift);
    }
  }
}

void toLevelsScalar(const int16_t* in, uint8_t* out, ptrdiff_t stride, int dctMode) {
  alignas(32) int16_t t[64];
  rowsScalar(in, t);
  const InverseMatrices& m = matrices();
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const int32_t sum = columnSum(t, m.column[dctMode][y], x);
      // Exact halves go downward; saturate to 16 bits first, as the vector forms do.
      const int32_t level = saturate16((sum + (1 << (kLevelShift - 1)) - 1) >> kLevelShift) + 128;
      out[y * stride + x] = static_cast<uint8_t>(std::clamp(level, 0, 255));
    }
  }
}

#if KELO_DCT_X86

// ---- SSE2 ----

__attribute__((target("sse2"))) inline void rowsSse2(const int16_t* in, int16_t* t) {
  const InverseMatrices& m = matrices();
  const __m128i round = _mm_set1_epi32(1 << (kRowShift - 1));
  __m128i kLo[4], kHi[4];
  for (int j = 0; j < 4; ++j) {
    kLo[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&m.rowPairs[j][0]));
    kHi[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&m.rowPairs[j][4]));
  }
  for (int v = 0; v < 8; ++v) {
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * v));
    __m128i lo = round, hi = round;
    const __m128i p0 = _mm_shuffle_epi32(r, 0x00), p1 = _mm_shuffle_epi32(r, 0x55);
    const __m128i p2 = _mm_shuffle_epi32(r, 0xAA), p3 = _mm_shuffle_epi32(r, 0xFF);
    lo = _mm_add_epi32(lo, _mm_madd_epi16(p0, kLo[0]));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(p0, kHi[0]));
    lo = _mm_add_epi32(lo, _mm_madd_epi16(p1, kLo[1]));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(p1, kHi[1]));
    lo = _mm_add_epi32(lo, _mm_madd_epi16(p2, kLo[2]));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(p2, kHi[2]));
    lo = _mm_add_epi32(lo, _mm_madd_epi16(p3, kLo[3]));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(p3, kHi[3]));
    lo = _mm_srai_epi32(lo, kRowShift);
    hi = _mm_srai_epi32(hi, kRowShift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(t + 8 * v), _mm_packs_epi32(lo, hi));
  }
}

// One output row of the column pass: 32-bit sums for x = 0..3 (lo) and 4..7 (hi).
__attribute__((target("sse2"))) inline void columnRowSse2(const __m128i pairLo[4], const __m128i pairHi[4],
                                                           const int32_t* k, __m128i& lo, __m128i& hi) {
  lo = _mm_setzero_si128();
  hi = _mm_setzero_si128();
  for (int j = 0; j < 4; ++j) {
    const __m128i kk = _mm_set1_epi32(k[j]);
    lo = _mm_add_epi32(lo, _mm_madd_epi16(pairLo[j], kk));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(pairHi[j], kk));
  }
}

__attribute__((target("sse2"))) inline void interleaveSse2(const int16_t* t, __m128i pairLo[4], __m128i pairHi[4]) {
  for (int j = 0; j < 4; ++j) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * j));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * j + 8));
    pairLo[j] = _mm_unpacklo_epi16(a, b);
    pairHi[j] = _mm_unpackhi_epi16(a, b);
  }
}

__attribute__((target("sse2"))) void toSamplesSse2(const int16_t* in, int16_t* out, int dctMode) {
  alignas(32) int16_t t[64];
  rowsSse2(in, t);
  __m128i pairLo[4], pairHi[4];
  interleaveSse2(t, pairLo, pairHi);
  const __m128i round = _mm_set1_epi32(1 << (kSampleShift - 1));
  const InverseMatrices& m = matrices();
  for (int y = 0; y < 8; ++y) {
    __m128i lo, hi;
    columnRowSse2(pairLo, pairHi, m.columnPairs[dctMode][y], lo, hi);
    lo = _mm_srai_epi32(_mm_add_epi32(lo, round), kSampleShift);
    hi = _mm_srai_epi32(_mm_add_epi32(hi, round), kSampleShift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * y), _mm_packs_epi32(lo, hi));
  }
}

__attribute__((target("sse2"))) void toLevelsSse2(const int16_t* in, uint8_t* out, ptrdiff_t stride, int dctMode) {
  alignas(32) int16_t t[64];
  rowsSse2(in, t);
  __m128i pairLo[4], pairHi[4];
  interleaveSse2(t, pairLo, pairHi);
  const __m128i round = _mm_set1_epi32((1 << (kLevelShift - 1)) - 1);
  const __m128i bias = _mm_set1_epi16(128);
  const InverseMatrices& m = matrices();
  for (int y = 0; y < 8; ++y) {
    __m128i lo, hi;
    columnRowSse2(pairLo, pairHi, m.columnPairs[dctMode][y], lo, hi);
    lo = _mm_srai_epi32(_mm_add_epi32(lo, round), kLevelShift);
    hi = _mm_srai_epi32(_mm_add_epi32(hi, round), kLevelShift);
    const __m128i s = _mm_adds_epi16(_mm_packs_epi32(lo, hi), bias);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), _mm_packus_epi16(s, s));
  }
}

// ---- AVX2 ----

__attribute__((target("avx2"))) inline void rowsAvx2(const int16_t* in, int16_t* t) {
  const InverseMatrices& m = matrices();
  const __m256i round = _mm256_set1_epi32(1 << (kRowShift - 1));
  __m256i k[4];
  for (int j = 0; j < 4; ++j) k[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&m.rowPairs[j][0]));
  for (int v = 0; v < 8; v += 2) {
    __m256i acc[2];
    for (int r = 0; r < 2; ++r) {
      const int16_t* row = in + 8 * (v + r);
      int32_t p[4];
      std::memcpy(p, row, sizeof p);
      __m256i a = round;
      for (int j = 0; j < 4; ++j) a = _mm256_add_epi32(a, _mm256_madd_epi16(_mm256_set1_epi32(p[j]), k[j]));
      acc[r] = _mm256_srai_epi32(a, kRowShift);
    }
    // packs works per 128-bit lane: [a0-3 b0-3 | a4-7 b4-7]; reorder to [a0-7 | b0-7].
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(acc[0], acc[1]), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + 8 * v), packed);
  }
}

__attribute__((target("avx2"))) inline void interleaveAvx2(const int16_t* t, __m256i pairs[4]) {
  for (int j = 0; j < 4; ++j) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * j));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * j + 8));
    pairs[j] = _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
  }
}

__attribute__((target("avx2"))) inline __m256i columnRowAvx2(const __m256i pairs[4], const int32_t* k) {
  __m256i s = _mm256_madd_epi16(pairs[0], _mm256_set1_epi32(k[0]));
  s = _mm256_add_epi32(s, _mm256_madd_epi16(pairs[1], _mm256_set1_epi32(k[1])));
  s = _mm256_add_epi32(s, _mm256_madd_epi16(pairs[2], _mm256_set1_epi32(k[2])));
  return _mm256_add_epi32(s, _mm256_madd_epi16(pairs[3], _mm256_set1_epi32(k[3])));
}

__attribute__((target("avx2"))) void toSamplesAvx2(const int16_t* in, int16_t* out, int dctMode) {
  alignas(32) int16_t t[64];
  rowsAvx2(in, t);
  __m256i pairs[4];
  interleaveAvx2(t, pairs);
  const __m256i round = _mm256_set1_epi32(1 << (kSampleShift - 1));
  const InverseMatrices& m = matrices();
  for (int y = 0; y < 8; y += 2) {
    const __m256i a = _mm256_srai_epi32(
        _mm256_add_epi32(columnRowAvx2(pairs, m.columnPairs[dctMode][y]), round), kSampleShift);
    const __m256i b = _mm256_srai_epi32(
        _mm256_add_epi32(columnRowAvx2(pairs, m.columnPairs[dctMode][y + 1]), round), kSampleShift);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * y),
                        _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
  }
}

__attribute__((target("avx2"))) void toLevelsAvx2(const int16_t* in, uint8_t* out, ptrdiff_t stride, int dctMode) {
  alignas(32) int16_t t[64];
  rowsAvx2(in, t);
  __m256i pairs[4];
  interleaveAvx2(t, pairs);
  const __m256i round = _mm256_set1_epi32((1 << (kLevelShift - 1)) - 1);
  const __m256i bias = _mm256_set1_epi16(128);
  const InverseMatrices& m = matrices();
  for (int y = 0; y < 8; y += 2) {
    const __m256i a = _mm256_srai_epi32(
        _mm256_add_epi32(columnRowAvx2(pairs, m.columnPairs[dctMode][y]), round), kLevelShift);
    const __m256i b = _mm256_srai_epi32(
        _mm256_add_epi32(columnRowAvx2(pairs, m.columnPairs[dctMode][y + 1]), round), kLevelShift);
    // [a0-3 b0-3 | a4-7 b4-7] -> [a0-7 | b0-7], then to bytes.
    const __m256i s = _mm256_adds_epi16(_mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8), bias);
    const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (y + 1) * stride), _mm_srli_si128(bytes, 8));
  }
}

#endif  // KELO_DCT_X86

const InverseDct kScalar{"scalar", toSamplesScalar, toLevelsScalar};

struct VectorList {
  InverseDct items[2];
  int count = 0;
};

VectorList buildVectorList() {
  VectorList list;
#if KELO_DCT_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) list.items[list.count++] = {"sse2", toSamplesSse2, toLevelsSse2};
  if (__builtin_cpu_supports("avx2")) list.items[list.count++] = {"avx2", toSamplesAvx2, toLevelsAvx2};
#endif
  return list;
}

const VectorList& vectorList() {
  static const VectorList list = buildVectorList();
  return list;
}

// ---- forward transform ----

struct ForwardBasis {
  double c8[8][8];  // [frequency][sample]
  double c4[4][4];
};

ForwardBasis buildForward() {
  ForwardBasis b{};
  const double pi = std::acos(-1.0);
  auto c = [](int k) { return k == 0 ? 1.0 / (2.0 * std::sqrt(2.0)) : 0.5; };
  for (int k = 0; k < 8; ++k) {
    for (int n = 0; n < 8; ++n) b.c8[k][n] = c(k) * std::cos((2 * n + 1) * k * pi / 16.0);
  }
  for (int k = 0; k < 4; ++k) {
    for (int n = 0; n < 4; ++n) b.c4[k][n] = c(k) * std::cos((2 * n + 1) * k * pi / 8.0);
  }
  return b;
}

const ForwardBasis& forwardBasis() {
  static const ForwardBasis b = buildForward();
  return b;
}

int16_t roundToInt16(double v) {
  return static_cast<int16_t>(std::clamp(std::lround(v), -32767L, 32767L));
}

}  // namespace

const InverseDct& scalarInverseDct() { return kScalar; }

const InverseDct* vectorInverseDcts(int& count) {
  const VectorList& list = vectorList();
  count = list.count;
  return list.items;
}

const InverseDct& inverseDct() {
  static const InverseDct& chosen = vectorList().count > 0 ? vectorList().items[vectorList().count - 1] : kScalar;
  return chosen;
}

void forwardDct(const int16_t* samplesTransposed, int dctMode, int16_t* weighted) {
  const ForwardBasis& b = forwardBasis();
  // P[y][x] = S / 2, the sample's distance from level 128.
  double p[8][8];
  for (int x = 0; x < 8; ++x) {
    for (int y = 0; y < 8; ++y) p[y][x] = samplesTransposed[8 * x + y] * 0.5;
  }
  // Horizontal transform of every line: r[y][h].
  double r[8][8];
  for (int y = 0; y < 8; ++y) {
    for (int h = 0; h < 8; ++h) {
      double s = 0;
      for (int x = 0; x < 8; ++x) s += b.c8[h][x] * p[y][x];
      r[y][h] = s;
    }
  }
  double f[8][8];  // f[row][h] in the mode's raster layout
  if (dctMode == kDct248) {
    for (int h = 0; h < 8; ++h) {
      for (int u = 0; u < 4; ++u) {
        double sum = 0, diff = 0;
        for (int z = 0; z < 4; ++z) {
          sum += b.c4[u][z] * (r[2 * z][h] + r[2 * z + 1][h]);
          diff += b.c4[u][z] * (r[2 * z][h] - r[2 * z + 1][h]);
        }
        f[u][h] = sum;
        f[4 + u][h] = diff;
      }
    }
  } else {
    for (int h = 0; h < 8; ++h) {
      for (int v = 0; v < 8; ++v) {
        double s = 0;
        for (int y = 0; y < 8; ++y) s += b.c8[v][y] * r[y][h];
        f[v][h] = s;
      }
    }
  }
  const double* w = weights(dctMode);
  for (int i = 0; i < 64; ++i) weighted[i] = roundToInt16(f[i >> 3][i & 7] * w[i]);
  weighted[0] = static_cast<int16_t>(std::clamp<int>(weighted[0], -256, 255));
}

void transposeBlock(int16_t* block) {
  for (int y = 0; y < 8; ++y) {
    for (int x = y + 1; x < 8; ++x) std::swap(block[8 * y + x], block[8 * x + y]);
  }
}

}  // namespace kelo::dv

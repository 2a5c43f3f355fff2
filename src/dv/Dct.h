#pragma once
// The transforms of the DV video codec, in 16-bit fixed point with 32-bit sums: inverse, from
// dequantised coefficients in the scale of QuantTables.h (4 x the orthonormal DCT coefficient) to
// samples; forward, from samples to weighted coefficients. Each comes in a portable scalar form and
// vectorised forms that give bit-identical results; the fastest one the processor supports is
// chosen on first use.
#include <cstddef>
#include <cstdint>

namespace kelo::dv {

struct DctKernels {
  const char* name;
  // Samples on the codec's signed scale S = 2 x (level - 128), rounded to nearest, saturated to
  // 16 bits. `in` and `out` are raster order (8 x 8, top row first) and may not overlap.
  void (*toSamples)(const int16_t* in, int16_t* out, int dctMode);
  // 8-bit levels, rounded to nearest (exact halves downward), clamped to 0-255, written row by row
  // with `stride` bytes between rows.
  void (*toLevels)(const int16_t* in, uint8_t* out, ptrdiff_t stride, int dctMode);
  // Forward transform of samples S given in transposed order (element 8 x column + row; values
  // limited to -256 ... 256), to weighted coefficients in raster order, rounded to nearest: the AC
  // values before quantisation and, at index 0, the DC as stored (2 x (mean - 128), -256 ... 255).
  // 2-4-8 puts the sum field in rows 0-3 and the difference field in rows 4-7.
  void (*forward)(const int16_t* samplesTransposed, int dctMode, int16_t* weighted);
};

// The portable reference.
const DctKernels& scalarDctKernels();
// The vectorised forms built into this program that the processor can run (SSE2, AVX2), best last;
// `count` receives how many there are.
const DctKernels* vectorDctKernels(int& count);
// The ones in use: the best vectorised form the processor supports, else the scalar one.
const DctKernels& dctKernels();

inline void forwardDct(const int16_t* samplesTransposed, int dctMode, int16_t* weighted) {
  dctKernels().forward(samplesTransposed, dctMode, weighted);
}

// Rows become columns.
void transposeBlock(int16_t* block);

}  // namespace kelo::dv

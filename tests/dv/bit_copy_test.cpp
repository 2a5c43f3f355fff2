// Copying bit ranges between buffers, as the segment decoder gathers spare bits.
#include "dv/BitReader.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kelo::dv {
namespace {

int bitAt(const std::vector<uint8_t>& b, uint32_t pos) { return b[pos >> 3] >> (7 - (pos & 7)) & 1; }

// Every start, length and destination, near the buffers' ends too (where the wide steps must give
// way), against a copy made one bit at a time; bits around the copy stay as they were.
TEST(BitCopy, AppendedRangesEqualABitByBitCopy) {
  std::mt19937 random(7);
  std::vector<uint8_t> src(60);
  for (uint8_t& byte : src) byte = static_cast<uint8_t>(random());
  const uint32_t srcBits = static_cast<uint32_t>(src.size()) * 8;
  const size_t dstBytes = 40;
  const uint32_t dstBits = static_cast<uint32_t>(dstBytes) * 8;
  int checked = 0;
  for (uint32_t from = 0; from < srcBits; from += 3) {
    for (uint32_t length : {0u, 1u, 7u, 31u, 32u, 33u, 55u, 56u, 57u, 64u, 130u, 200u}) {
      if (from + length > srcBits) continue;
      for (uint32_t at : {0u, 5u, 100u, dstBits - length}) {
        if (at + length > dstBits) continue;
        std::vector<uint8_t> dst(dstBytes, 0);
        const uint32_t end = appendBits(dst.data(), dst.size(), at, src.data(), src.size(), from, from + length);
        ASSERT_EQ(end, at + length);
        for (uint32_t i = 0; i < dstBits; ++i) {
          const int expected = i >= at && i < at + length ? bitAt(src, from + (i - at)) : 0;
          ASSERT_EQ(bitAt(dst, i), expected) << "from " << from << " length " << length << " at " << at << " bit " << i;
        }
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 1000);
}

}  // namespace
}  // namespace kelo::dv

#include "dv/FrameCodec.h"

#include <algorithm>
#include <cstring>

#include "dv/Dct.h"
#include "dv/SegmentDecoder.h"
#include "dv/ScanTables.h"
#include "dv/SegmentEncoder.h"

namespace kelo::dv {

namespace {

// Where block b of a macroblock lies in the picture: plane (0 Y, 1 Cr, 2 Cb), offset of its
// top-left sample, stride. The folded chroma of the 525/60 right edge has no such place.
struct BlockPlace {
  int plane;
  size_t offset;
  ptrdiff_t stride;
};

BlockPlace blockPlace(const Picture& p, const MacroblockPlace& place, int b) {
  const int x = place.x, y = place.y;
  if (b < kCr) {
    int bx = x, by = y;
    if (place.shape == MacroblockShape::k411) {
      bx += 8 * b;
    } else {
      bx += 8 * (b & 1);
      by += 8 * (b >> 1);
    }
    return {0, static_cast<size_t>(by) * p.width + bx, p.width};
  }
  const int plane = b == kCr ? 1 : 2;
  if (place.shape == MacroblockShape::k420) {
    return {plane, static_cast<size_t>(y / 2) * p.chromaWidth + x / 2, p.chromaWidth};
  }
  return {plane, static_cast<size_t>(y) * p.chromaWidth + x / 4, p.chromaWidth};
}

template <class P>
auto planeData(P& p, int plane) {
  return plane == 0 ? p.y.data() : plane == 1 ? p.cr.data() : p.cb.data();
}

// The folded right-edge chroma block: coded columns 0-3 are lines y..y+7, columns 4-7 lines
// y+8..y+15, of the four chroma columns x/4..x/4+3.
void unfoldEdgeChroma(const uint8_t* block, uint8_t* plane, int chromaWidth, const MacroblockPlace& place) {
  for (int j = 0; j < 8; ++j) {
    std::memcpy(plane + static_cast<ptrdiff_t>(place.y + j) * chromaWidth + place.x / 4, block + 8 * j, 4);
    std::memcpy(plane + static_cast<ptrdiff_t>(place.y + 8 + j) * chromaWidth + place.x / 4, block + 8 * j + 4, 4);
  }
}

void foldEdgeChroma(const uint8_t* plane, int chromaWidth, const MacroblockPlace& place, uint8_t* block) {
  for (int j = 0; j < 8; ++j) {
    std::memcpy(block + 8 * j, plane + static_cast<ptrdiff_t>(place.y + j) * chromaWidth + place.x / 4, 4);
    std::memcpy(block + 8 * j + 4, plane + static_cast<ptrdiff_t>(place.y + 8 + j) * chromaWidth + place.x / 4, 4);
  }
}

bool pictureMatches(const Picture& p, const VideoProfile& profile) {
  return p.width == profile.width && p.height == profile.height && p.chromaWidth == profile.chromaWidth &&
         p.chromaHeight == profile.chromaHeight && p.y.size() == static_cast<size_t>(p.width) * p.height &&
         p.cb.size() == static_cast<size_t>(p.chromaWidth) * p.chromaHeight && p.cr.size() == p.cb.size();
}

}  // namespace

void allocatePicture(Picture& picture, const VideoProfile& profile) {
  picture.profile = &profile;
  picture.width = profile.width;
  picture.height = profile.height;
  picture.chromaWidth = profile.chromaWidth;
  picture.chromaHeight = profile.chromaHeight;
  picture.y.assign(static_cast<size_t>(picture.width) * picture.height, 0);
  picture.cb.assign(static_cast<size_t>(picture.chromaWidth) * picture.chromaHeight, 0);
  picture.cr.assign(picture.cb.size(), 0);
}

int decodeFrame(const uint8_t* frame, size_t length, const VideoProfile& profile, Picture& picture,
                FrameDecodeStats* stats) {
  if (length < static_cast<size_t>(profile.frameBytes)) return -1;
  if (!pictureMatches(picture, profile) || picture.profile != &profile) allocatePicture(picture, profile);
  FrameDecodeStats local;
  VideoSegment segment;
  for (int s = 0; s < profile.sequenceCount; ++s) {
    for (int k = 0; k < kSegmentsPerSequence; ++k) {
      loadSegment(segment, frame + segmentOffset(s, k), profile, s, k);
      const int parsed = parseSegment(segment);
      ++local.segments;
      bool damaged = parsed != 0;
      for (const Macroblock& mb : segment.macroblocks) {
        const bool bad = mb.vlcError || mb.eobCount < kBlocksPerMacroblock;
        damaged = damaged || bad;
        local.damagedMacroblocks += bad ? 1 : 0;
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
          if (b >= kCr && mb.place.shape == MacroblockShape::k411Edge) {
            alignas(16) uint8_t folded[64];
            decodeBlockToLevels(mb.blocks[b], mb.qno, folded, 8);
            unfoldEdgeChroma(folded, (b == kCr ? picture.cr : picture.cb).data(), picture.chromaWidth, mb.place);
            continue;
          }
          const BlockPlace bp = blockPlace(picture, mb.place, b);
          decodeBlockToLevels(mb.blocks[b], mb.qno, planeData(picture, bp.plane) + bp.offset, bp.stride);
        }
      }
      local.damagedSegments += damaged ? 1 : 0;
    }
  }
  if (stats) *stats = local;
  return 0;
}

namespace {

// The 8 x 8 levels of block b of a macroblock, row after row.
void gatherBlock(const Picture& picture, const MacroblockPlace& place, int b, uint8_t* levels) {
  if (b >= kCr && place.shape == MacroblockShape::k411Edge) {
    foldEdgeChroma((b == kCr ? picture.cr : picture.cb).data(), picture.chromaWidth, place, levels);
    return;
  }
  const BlockPlace bp = blockPlace(picture, place, b);
  const uint8_t* origin = planeData(picture, bp.plane) + bp.offset;
  for (int j = 0; j < 8; ++j) std::memcpy(levels + 8 * j, origin + j * bp.stride, 8);
}

bool segmentUnchanged(const Picture& a, const Picture& b, const VideoProfile& profile, int s, int k) {
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const MacroblockPlace& place = profile.place(s, k, m);
    for (int blk = 0; blk < kBlocksPerMacroblock; ++blk) {
      uint8_t x[64], y[64];
      gatherBlock(a, place, blk, x);
      gatherBlock(b, place, blk, y);
      if (std::memcmp(x, y, sizeof x) != 0) return false;
    }
  }
  return true;
}

void encodePictureSegment(const Picture& picture, const VideoProfile& profile, int s, int k, uint8_t* bytes,
                          VideoSegment& segment) {
  loadSegment(segment, bytes, profile, s, k);
  for (Macroblock& mb : segment.macroblocks) {
    mb.modified = 1;
    mb.qno = 12;
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
      DctBlock& block = mb.blocks[b];
      alignas(16) uint8_t levels[64];
      gatherBlock(picture, mb.place, b, levels);
      // Samples S = 2 (level - 128), in the transposed order the encoder takes.
      for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) block.coeffs[8 * c + r] = static_cast<int16_t>(2 * (levels[8 * r + c] - 128));
      }
      block.holdsSamples = 1;
      block.dctMode = kDct88;
      block.classNumber = 0;
      if (b >= kCr) {
        // A fresh picture has no decoded class: take the one its content asks for, which the
        // encoder keeps for colour blocks at QNO 12.
        alignas(32) int16_t weighted[64];
        forwardDct(block.coeffs, kDct88, weighted);
        int16_t scanned[64];
        const uint8_t* scan = scanOrder(kDct88);
        for (int i = 0; i < 64; ++i) scanned[i] = weighted[scan[i]];
        block.classNumber = static_cast<uint8_t>(classifyLuminance(scanned));
      }
    }
  }
  encodeSegment(segment, bytes);
}

}  // namespace

int encodeFrame(const Picture& picture, uint8_t* frame, size_t length, const Picture* previous,
                const uint8_t* previousFrame) {
  const VideoProfile* profile = picture.profile;
  if (!profile || !pictureMatches(picture, *profile) || length < static_cast<size_t>(profile->frameBytes)) return -1;
  const bool reuse = previous && previousFrame && previous->profile == picture.profile &&
                     pictureMatches(*previous, *profile);
  VideoSegment segment;
  for (int s = 0; s < profile->sequenceCount; ++s) {
    for (int k = 0; k < kSegmentsPerSequence; ++k) {
      uint8_t* bytes = frame + segmentOffset(s, k);
      if (reuse && segmentUnchanged(picture, *previous, *profile, s, k)) {
        // Encoding depends on nothing but the samples: the earlier result is the same.
        std::memcpy(bytes, previousFrame + segmentOffset(s, k), kSegmentBytes);
        continue;
      }
      encodePictureSegment(picture, *profile, s, k, bytes, segment);
    }
  }
  return 0;
}

void pictureToRgb(const Picture& p, std::vector<uint8_t>& rgb) {
  rgb.assign(static_cast<size_t>(p.width) * p.height * 3, 0);
  const bool is420 = p.chromaHeight * 2 == p.height;
  auto clamp255 = [](double v) { return static_cast<uint8_t>(std::clamp(static_cast<int>(v), 0, 255)); };
  for (int y = 0; y < p.height; ++y) {
    const int cy = is420 ? y / 2 : y;
    for (int x = 0; x < p.width; ++x) {
      const int cx = is420 ? x / 2 : x / 4;
      const double yy = p.y[static_cast<size_t>(y) * p.width + x];
      const double u = p.cb[static_cast<size_t>(cy) * p.chromaWidth + cx] - 128;
      const double v = p.cr[static_cast<size_t>(cy) * p.chromaWidth + cx] - 128;
      uint8_t* out = &rgb[(static_cast<size_t>(y) * p.width + x) * 3];
      out[0] = clamp255(yy + 1.402 * v);
      out[1] = clamp255(yy - (0.34414 * u + 0.71414 * v));
      out[2] = clamp255(yy + 1.772 * u);
    }
  }
}

}  // namespace kelo::dv

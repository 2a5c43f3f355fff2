#pragma once
// What the video codec needs to know about each system, chosen once per frame: how the macroblocks
// of a segment are shuffled over the picture, where each one lies and what shape it has, and the
// chroma format of the picture.
#include <cstdint>

#include "dv/DifLayout.h"

namespace kelo::dv {

// The macroblock shuffle: macroblock m of segment k of sequence s is macroblock number k of
// superblock row (s + kRowShuffle[m]) mod sequenceCount, superblock column kColumnShuffle[m].
inline constexpr int kRowShuffle[5] = {2, 6, 8, 0, 4};
inline constexpr int kColumnShuffle[5] = {2, 1, 3, 0, 4};

enum class ChromaFormat : uint8_t { k420, k411 };

// 16 x 16 with 4:2:0 chroma; 32 x 8 with 4:1:1 chroma; the 16 x 16 right-edge macroblocks of
// 525/60 whose 4 x 16 chroma columns are folded into 8 x 8 blocks.
enum class MacroblockShape : uint8_t { k420, k411, k411Edge };

struct MacroblockPlace {
  uint16_t x;  // top-left luma sample
  uint16_t y;
  MacroblockShape shape;
};

struct VideoProfile {
  int system;
  int sequenceCount;
  int width;
  int height;
  ChromaFormat chroma;
  int chromaWidth;
  int chromaHeight;
  bool isFiftyField;
  // Position of macroblock number k of a superblock.
  void (*placeMacroblock)(int superblockRow, int superblockColumn, int k, int& x, int& y);
  // Precomputed places, [sequence][segment][macroblock].
  const MacroblockPlace* places;

  const MacroblockPlace& place(int sequence, int segment, int m) const {
    return places[(sequence * kSegmentsPerSequence + segment) * kBlocksPerSegment + m];
  }
};

void placeMacroblock525(int superblockRow, int superblockColumn, int k, int& x, int& y);
void placeMacroblock625(int superblockRow, int superblockColumn, int k, int& x, int& y);

// The profile of a system value (kSystem525_60, kSystem625_50); nullptr for anything else.
const VideoProfile* videoProfileFor(int system);

}  // namespace kelo::dv

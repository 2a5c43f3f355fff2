#pragma once
// Where everything sits in one DV frame (DIF layout of 25 Mbit/s SD video, 525/60 and 625/50):
// block and sequence sizes, the block order of a DIF sequence, byte offsets of blocks and video
// segments. What differs between the systems is in VideoProfile.h.
#include <cstddef>
#include <cstdint>

namespace kelo::dv {

inline constexpr int kDifBlockBytes = 80;
inline constexpr int kDifBlockIdBytes = 3;
inline constexpr int kBlocksPerSequence = 150;
inline constexpr int kSequenceBytes = kBlocksPerSequence * kDifBlockBytes;  // 12000

inline constexpr int kSubcodeBlocksPerSequence = 2;
inline constexpr int kVauxBlocksPerSequence = 3;
inline constexpr int kAudioBlocksPerSequence = 9;
inline constexpr int kVideoBlocksPerSequence = 135;
inline constexpr int kVideoBlocksPerAudioBlock = 15;

inline constexpr int kBlocksPerSegment = 5;
inline constexpr int kSegmentBytes = kBlocksPerSegment * kDifBlockBytes;  // 400
inline constexpr int kSegmentsPerSequence = kVideoBlocksPerSequence / kBlocksPerSegment;  // 27
inline constexpr int kMaxSequenceCount = 12;  // of the frames Kelo stamps (625/50)

// Packs in the auxiliary blocks.
inline constexpr int kPackBytes = 5;
inline constexpr int kSubcodeSyncBlocks = 6;     // per subcode block
inline constexpr int kSubcodeSyncBlockBytes = 8;  // ID0 ID1 ID2 + one pack
inline constexpr int kVauxPacksPerBlock = 15;
inline constexpr uint8_t kEmptyPack = 0xFF;

// Telling a frame's kind needs the header block and the three VAUX blocks of sequence 0.
inline constexpr int kDetectBytes = 6 * kDifBlockBytes;  // 480

// Section type: the top three bits of byte 0 of every DIF block.
enum class BlockType : uint8_t { Header = 0, Subcode = 1, Vaux = 2, Audio = 3, Video = 4 };

struct BlockSlot {
  BlockType type;
  uint8_t dbn;  // block number within its section type and sequence
};

// Block q (0-149) of a sequence: H, SC0-1, VA0-2, then nine times one audio block and 15 video blocks.
constexpr BlockSlot blockInSequence(int q) {
  if (q == 0) return {BlockType::Header, 0};
  if (q < 3) return {BlockType::Subcode, static_cast<uint8_t>(q - 1)};
  if (q < 6) return {BlockType::Vaux, static_cast<uint8_t>(q - 3)};
  const int r = q - 6;
  if (r % 16 == 0) return {BlockType::Audio, static_cast<uint8_t>(r / 16)};
  return {BlockType::Video, static_cast<uint8_t>(r - r / 16 - 1)};
}

// Index in its sequence (0-149) of audio block a (0-8) and of video block v (0-134).
constexpr int audioBlockIndex(int a) { return 6 + 16 * a; }
constexpr int videoBlockIndex(int v) { return 7 + v + v / kVideoBlocksPerAudioBlock; }

// Byte offsets within the frame.
constexpr size_t blockOffset(int sequence, int block) {
  return (static_cast<size_t>(sequence) * kBlocksPerSequence + static_cast<size_t>(block)) * kDifBlockBytes;
}
constexpr size_t headerOffset(int sequence) { return blockOffset(sequence, 0); }
constexpr size_t subcodeOffset(int sequence, int i) { return blockOffset(sequence, 1 + i); }  // i 0-1
constexpr size_t vauxOffset(int sequence, int i) { return blockOffset(sequence, 3 + i); }     // i 0-2
constexpr size_t audioOffset(int sequence, int a) { return blockOffset(sequence, audioBlockIndex(a)); }
constexpr size_t videoBlockOffset(int sequence, int v) { return blockOffset(sequence, videoBlockIndex(v)); }

// Video segment k (0-26) of sequence s: five consecutive video blocks; one audio block is skipped
// before segments 0, 3, 6, ... 24.
constexpr size_t segmentOffset(int sequence, int segment) {
  return static_cast<size_t>(sequence) * kSequenceBytes + 6 * kDifBlockBytes +
         static_cast<size_t>(kDifBlockBytes) * (segment / 3 + 1) + static_cast<size_t>(kSegmentBytes) * segment;
}

// Offsets of the pack ID (PC0) of subcode sync block n (0-5) and VAUX pack j (0-14) within a block.
constexpr int subcodePackOffset(int n) { return 6 + kSubcodeSyncBlockBytes * n; }
constexpr int vauxPackOffset(int j) { return 3 + kPackBytes * j; }

}  // namespace kelo::dv

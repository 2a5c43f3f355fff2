#pragma once
// Everything that differs between the kinds of DV frame Kelo stamps, in one table: one profile per
// video system and chroma sampling (525/60 4:1:1, 625/50 4:2:0, 625/50 4:1:1). A frame's profile is
// chosen from its own header block; every other place asks the profile instead of testing the
// system.
#include <cstddef>
#include <cstdint>

#include "dv/DifLayout.h"

namespace kelo::dv {

enum class VideoSystem : uint8_t { k525_60, k625_50 };

enum class ChromaFormat : uint8_t { k420, k411 };

// The macroblock shuffle: macroblock m of segment k of sequence s is macroblock number k of
// superblock row (s + kRowShuffle[m]) mod sequenceCount, superblock column kColumnShuffle[m].
inline constexpr int kRowShuffle[5] = {2, 6, 8, 0, 4};
inline constexpr int kColumnShuffle[5] = {2, 1, 3, 0, 4};

// 16 x 16 with 4:2:0 chroma; 32 x 8 with 4:1:1 chroma; the 16 x 16 right-edge macroblocks of the
// 4:1:1 layout whose 4 x 16 chroma columns are folded into 8 x 8 blocks.
enum class MacroblockShape : uint8_t { k420, k411, k411Edge };

struct MacroblockPlace {
  uint16_t x;  // top-left luma sample
  uint16_t y;
  MacroblockShape shape;
};

struct VideoProfile {
  VideoSystem system;
  ChromaFormat chroma;
  const char* name;        // "525/60", "625/50" or "625/50 4:1:1", as `info` reports it
  uint8_t dsf;             // DSF bit of the header block
  uint8_t apt;             // APT the sample writer stores (a reader accepts what identifyFrame does)
  int sequenceCount;       // DIF sequences per frame
  int frameBytes;          // sequenceCount * 12000
  int width;               // picture, luma samples
  int height;              // picture, frame lines
  int chromaWidth;         // each colour-difference plane
  int chromaHeight;
  int framesPerSecond;     // nominal count used for durations and timecodes (25 or 30)
  int rateNumerator;       // exact frame rate
  int rateDenominator;
  int audioSamples[5];     // 48 kHz samples per frame, in the five-frame cycle that starts with frame 0
  int minimumAudioSamples; // the least a frame carries (the AAUX frame size counts from here)
  const MacroblockPlace* places;  // [sequence][segment][macroblock]

  bool isFiftyField() const { return system == VideoSystem::k625_50; }
  int segmentsPerFrame() const { return sequenceCount * kSegmentsPerSequence; }
  const MacroblockPlace& place(int sequence, int segment, int m) const {
    return places[(sequence * kSegmentsPerSequence + segment) * kBlocksPerSegment + m];
  }
};

// The consumer layouts of each system (525/60 4:1:1, 625/50 4:2:0), and any profile of the table.
const VideoProfile& profileOf(VideoSystem system);
const VideoProfile* findProfile(VideoSystem system, ChromaFormat chroma);
// Every profile of the table, for tests and loops over the layouts.
inline constexpr int kProfileCount = 3;
const VideoProfile& profileAt(int index);

// Position of macroblock number k of superblock (row, column) in the two placements.
void placeMacroblock411(int superblockRow, int superblockColumn, int k, int& x, int& y);
void placeMacroblock420(int superblockRow, int superblockColumn, int k, int& x, int& y);

// What a frame's first blocks say it is. Only SD 25 Mbit/s frames with APT 000 or 001 have a
// profile; the other kinds are refused by name.
enum class FrameKind : uint8_t {
  Stampable,
  NotDv,          // no DIF header block at the start, or too few bytes to tell
  Dv50,           // 50 Mbit/s (4:2:2)
  DvHd1080,       // 100 Mbit/s HD, 1080 or 1035 lines
  DvHd720,        // 100 Mbit/s HD, 720 lines
  UnknownStype,   // a VAUX signal type that no DV format defines
  UnknownApt,     // track application ID other than 000 and 001
};

struct FrameIdentity {
  FrameKind kind = FrameKind::NotDv;
  const VideoProfile* profile = nullptr;  // set only for Stampable
  bool vauxDisagrees = false;             // the VAUX source pack's 50/60 bit contradicts DSF
};

// Reads the header block (DSF, APT) and the VAUX source pack of sequence 0 (signal type; its 50/60
// bit only confirms DSF). Needs kDetectBytes of `length`. Does not check that `length` holds the
// whole frame: callers compare with profile->frameBytes.
FrameIdentity identifyFrame(const uint8_t* frame, size_t length);
// The profile of a frame that is Stampable and whole in `length` bytes; nullptr otherwise.
const VideoProfile* profileForFrame(const uint8_t* frame, size_t length);
// A frame size of some DV format (25, 50 or 100 Mbit/s, either system): 10, 12, 20, 24, 40 or 48
// DIF sequences.
bool isDvFrameSize(uint64_t bytes);
// The DV variant a kind stands for, for messages ("50 Mbit/s DV (DVCPRO50)"); "" for Stampable.
const char* frameKindName(FrameKind kind);

}  // namespace kelo::dv

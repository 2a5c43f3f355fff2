#include "dv/VideoProfile.h"

#include <array>

namespace kelo::dv {

namespace {

constexpr int kColumnOffset411[5] = {0, 4, 9, 13, 18};  // in 32-sample macroblock columns
constexpr int kColumnOffset420[5] = {0, 9, 18, 27, 36};  // in 16-sample macroblock columns

constexpr void place411(int superblockRow, int superblockColumn, int k, int& x, int& y) {
  const int n = (superblockColumn & 1) ? k + 3 : k;
  const int q = n / 6;
  const int r = n % 6;
  const int row = (q % 2 == 0) ? r : 5 - r;
  const int column = (q + kColumnOffset411[superblockColumn]) * 4;  // in 8-sample blocks
  x = column * 8;
  if (column < 88) {
    y = (6 * superblockRow + row) * 8;
  } else {
    y = (3 * superblockRow + row) * 16;  // right edge, x = 704
  }
}

constexpr void place420(int superblockRow, int superblockColumn, int k, int& x, int& y) {
  const int q = k / 3;
  const int r = k % 3;
  const int row = (q % 2 == 0) ? r : 2 - r;
  x = (q + kColumnOffset420[superblockColumn]) * 16;
  y = (3 * superblockRow + row) * 16;
}

}  // namespace

void placeMacroblock411(int superblockRow, int superblockColumn, int k, int& x, int& y) {
  place411(superblockRow, superblockColumn, k, x, y);
}

void placeMacroblock420(int superblockRow, int superblockColumn, int k, int& x, int& y) {
  place420(superblockRow, superblockColumn, k, x, y);
}

namespace {

template <int Sequences>
using PlaceTable = std::array<MacroblockPlace, Sequences * kSegmentsPerSequence * kBlocksPerSegment>;

// The shuffle and the placement of one chroma format over `Sequences` superblock rows.
template <int Sequences>
constexpr PlaceTable<Sequences> buildPlaces(ChromaFormat chroma) {
  PlaceTable<Sequences> places{};
  for (int s = 0; s < Sequences; ++s) {
    for (int k = 0; k < kSegmentsPerSequence; ++k) {
      for (int m = 0; m < kBlocksPerSegment; ++m) {
        const int row = (s + kRowShuffle[m]) % Sequences;
        int x = 0, y = 0;
        MacroblockShape shape = MacroblockShape::k420;
        if (chroma == ChromaFormat::k420) {
          place420(row, kColumnShuffle[m], k, x, y);
        } else {
          place411(row, kColumnShuffle[m], k, x, y);
          shape = x >= 704 ? MacroblockShape::k411Edge : MacroblockShape::k411;
        }
        places[(s * kSegmentsPerSequence + k) * kBlocksPerSegment + m] = {static_cast<uint16_t>(x),
                                                                          static_cast<uint16_t>(y), shape};
      }
    }
  }
  return places;
}

constexpr PlaceTable<10> kPlaces525{buildPlaces<10>(ChromaFormat::k411)};
constexpr PlaceTable<12> kPlaces625{buildPlaces<12>(ChromaFormat::k420)};
constexpr PlaceTable<12> kPlaces625x411{buildPlaces<12>(ChromaFormat::k411)};

// The table. 625/50 4:1:1 (SMPTE 314M, APT 001) has the 625/50 frame and the 525/60 macroblocks.
constexpr std::array<VideoProfile, kProfileCount> kProfiles{{
    {VideoSystem::k525_60, ChromaFormat::k411, "525/60", 0, 0, 10, 120000, 720, 480, 180, 480, 30, 30000, 1001,
     {1600, 1602, 1602, 1602, 1602}, 1580, kPlaces525.data()},
    {VideoSystem::k625_50, ChromaFormat::k420, "625/50", 1, 0, 12, 144000, 720, 576, 360, 288, 25, 25, 1,
     {1920, 1920, 1920, 1920, 1920}, 1896, kPlaces625.data()},
    {VideoSystem::k625_50, ChromaFormat::k411, "625/50 4:1:1", 1, 1, 12, 144000, 720, 576, 180, 576, 25, 25, 1,
     {1920, 1920, 1920, 1920, 1920}, 1896, kPlaces625x411.data()},
}};

// Signal types of the VAUX source pack (PC3 bits 4-0).
constexpr uint8_t kStype25Mbit = 0x00;
constexpr uint8_t kStype50Mbit = 0x04;
constexpr uint8_t kStypeHd1080 = 0x14;
constexpr uint8_t kStypeHd1035 = 0x15;
constexpr uint8_t kStypeHd720 = 0x18;

}  // namespace

const VideoProfile& profileAt(int index) { return kProfiles[static_cast<size_t>(index)]; }

const VideoProfile* findProfile(VideoSystem system, ChromaFormat chroma) {
  for (const VideoProfile& p : kProfiles) {
    if (p.system == system && p.chroma == chroma) return &p;
  }
  return nullptr;
}

const VideoProfile& profileOf(VideoSystem system) {
  return *findProfile(system, system == VideoSystem::k525_60 ? ChromaFormat::k411 : ChromaFormat::k420);
}

FrameIdentity identifyFrame(const uint8_t* frame, size_t length) {
  FrameIdentity id;
  if (frame == nullptr || length < static_cast<size_t>(kDetectBytes)) return id;
  if ((frame[0] >> 5) != static_cast<int>(BlockType::Header) || (frame[3] & 0x40)) return id;
  const uint8_t dsf = frame[3] >> 7;
  const uint8_t apt = frame[4] & 0x07;

  // The first VAUX source pack of sequence 0: its signal type tells SD from 50 Mbit/s and HD.
  const uint8_t* source = nullptr;
  for (int block = 0; block < kVauxBlocksPerSequence && !source; ++block) {
    const uint8_t* vaux = frame + vauxOffset(0, block);
    for (int j = 0; j < kVauxPacksPerBlock && !source; ++j) {
      if (vaux[vauxPackOffset(j)] == 0x60) source = vaux + vauxPackOffset(j);
    }
  }
  const uint8_t stype = source ? (source[3] & 0x1F) : kStype25Mbit;
  switch (stype) {
    case kStype25Mbit: break;
    case kStype50Mbit: id.kind = FrameKind::Dv50; return id;
    case kStypeHd1080:
    case kStypeHd1035: id.kind = FrameKind::DvHd1080; return id;
    case kStypeHd720: id.kind = FrameKind::DvHd720; return id;
    default: id.kind = FrameKind::UnknownStype; return id;
  }
  if (apt > 1) {
    id.kind = FrameKind::UnknownApt;
    return id;
  }
  const VideoSystem system = dsf ? VideoSystem::k625_50 : VideoSystem::k525_60;
  // 525/60 is 4:1:1 whatever the APT; 625/50 is 4:2:0 for consumer DV and 4:1:1 for SMPTE 314M.
  const ChromaFormat chroma = (dsf == 0 || apt != 0) ? ChromaFormat::k411 : ChromaFormat::k420;
  id.kind = FrameKind::Stampable;
  id.profile = findProfile(system, chroma);
  id.vauxDisagrees = source && ((source[3] & 0x20) != 0) != (dsf != 0);
  return id;
}

const VideoProfile* profileForFrame(const uint8_t* frame, size_t length) {
  const FrameIdentity id = identifyFrame(frame, length);
  if (!id.profile || length < static_cast<size_t>(id.profile->frameBytes)) return nullptr;
  return id.profile;
}

bool isDvFrameSize(uint64_t bytes) {
  if (bytes % kSequenceBytes != 0) return false;
  switch (bytes / kSequenceBytes) {
    case 10: case 12: case 20: case 24: case 40: case 48: return true;
    default: return false;
  }
}

const char* frameKindName(FrameKind kind) {
  switch (kind) {
    case FrameKind::Stampable: return "";
    case FrameKind::NotDv: return "not DV";
    case FrameKind::Dv50: return "50 Mbit/s DV (DVCPRO50)";
    case FrameKind::DvHd1080: return "HD DV (DVCPRO HD 1080)";
    case FrameKind::DvHd720: return "HD DV (DVCPRO HD 720)";
    case FrameKind::UnknownStype: return "DV of an unknown signal type";
    case FrameKind::UnknownApt: return "DV of an unknown application ID (APT)";
  }
  return "";
}

}  // namespace kelo::dv

#include "dv/FrameSkeleton.h"

#include <array>
#include <cstring>

#include "dv/DifLayout.h"
#include "dv/Packs.h"
#include "dv/VideoProfile.h"

namespace kelo::dv {

namespace {

using Pack = std::array<uint8_t, kPackBytes>;

constexpr Pack kNoPack{0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The auxiliary packs of 48 kHz, 16-bit, 4:3 consumer DV; PC3 of both source packs carries the
// 50/60 flag of the profile.
constexpr Pack kVideoSource{0x60, 0xFF, 0xFF, 0xC0, 0xFF};   // colour, STYPE 0
constexpr Pack kVideoControl{0x61, 0x3F, 0xC8, 0xFC, 0xFF};  // 4:3, interlaced, bottom field first
// Consumer DV (APT 000) marks normal playback speed as 0x20 in both systems; readers that follow
// it (libdv, dvgrab) drop 525/60 frames carrying the SMPTE 314M value 0x78 instead.
constexpr Pack kAudioControl{0x51, 0x1C, 0xCF, 0xA0, 0xFF};
constexpr uint8_t kAudioSourcePc3 = 0xC0;  // two channels, STYPE 0
constexpr uint8_t kFiftyFieldFlag = 0x20;

uint8_t withFiftyField(uint8_t pc3, const VideoProfile& profile) {
  return static_cast<uint8_t>(pc3 | (profile.isFiftyField() ? kFiftyFieldFlag : 0));
}

// Byte 0 of a block ID: section type, a reserved 1, and the arbitrary bits written as 1.
uint8_t idByte0(BlockType type) { return static_cast<uint8_t>(static_cast<int>(type) << 5 | 0x1F); }

void writeId(uint8_t* block, BlockType type, int sequence, int dbn) {
  block[0] = idByte0(type);
  block[1] = static_cast<uint8_t>(sequence << 4 | 0x07);  // FSC 0, reserved 111
  block[2] = static_cast<uint8_t>(dbn);
}

void put(uint8_t* at, const Pack& pack) { std::memcpy(at, pack.data(), pack.size()); }

Pack datePack(uint8_t id, const FrameStampInfo& info) {
  if (!info.hasDate) return kNoPack;
  // No time zone; reserved bits 1; day of week not given.
  return {id, 0xFF, static_cast<uint8_t>(0xC0 | encodeBcd(info.day)), encodeBcd(info.month), encodeBcd(info.year)};
}

Pack timePack(uint8_t id, const FrameStampInfo& info) {
  if (!info.hasTime) return kNoPack;
  return {id, 0xFF, static_cast<uint8_t>(0x80 | encodeBcd(info.seconds)),
          static_cast<uint8_t>(0x80 | encodeBcd(info.minutes)), static_cast<uint8_t>(0xC0 | encodeBcd(info.hours))};
}

Pack timecodePack(const FrameStampInfo& info) {
  if (!info.hasTimecode) return kNoPack;
  // Colour frame and drop frame flags 0; the biphase and binary group flags 1.
  return {kPackTimecode, static_cast<uint8_t>(encodeBcd(info.timecodeFrames) & 0x3F),
          static_cast<uint8_t>(0x80 | encodeBcd(info.timecodeSeconds)),
          static_cast<uint8_t>(0x80 | encodeBcd(info.timecodeMinutes)),
          static_cast<uint8_t>(0xC0 | (encodeBcd(info.timecodeHours) & 0x3F))};
}

void writeHeader(uint8_t* block, const VideoProfile& profile, int sequence) {
  writeId(block, BlockType::Header, sequence, 0);
  std::memset(block + 3, 0xFF, kDifBlockBytes - 3);
  block[3] = static_cast<uint8_t>(profile.dsf << 7 | 0x3F);
  block[4] = static_cast<uint8_t>(0xF8 | profile.apt);  // APT: 000 consumer DV, 001 SMPTE 314M
  block[5] = static_cast<uint8_t>(0x78 | profile.apt);  // audio valid, AP1 = APT
  block[6] = static_cast<uint8_t>(0x78 | profile.apt);  // video valid, AP2
  block[7] = static_cast<uint8_t>(0x78 | profile.apt);  // subcode valid, AP3
}

void writeSubcode(uint8_t* block, const VideoProfile& profile, int sequence, int index,
                  const std::array<Pack, 3>& packs) {
  writeId(block, BlockType::Subcode, sequence, index);
  std::memset(block + 3, 0xFF, kDifBlockBytes - 3);
  const bool firstHalf = sequence < profile.sequenceCount / 2;
  for (int n = 0; n < kSubcodeSyncBlocks; ++n) {
    uint8_t* ssyb = block + 3 + kSubcodeSyncBlockBytes * n;
    ssyb[0] = static_cast<uint8_t>((firstHalf ? 0x80 : 0x00) | 0x0F);  // FR, AP3/APT 000, ABST high
    ssyb[1] = static_cast<uint8_t>(0xF0 | (index * kSubcodeSyncBlocks + n));  // ABST low, SSYB number
    ssyb[2] = 0xFF;
    // Timecode, date and time, twice in every subcode block.
    put(ssyb + 3, packs[static_cast<size_t>(n % 3)]);
  }
}

void writeVaux(uint8_t* block, const VideoProfile& profile, int sequence, int index, const FrameStampInfo& info) {
  Pack source = kVideoSource;
  source[3] = withFiftyField(source[3], profile);
  writeId(block, BlockType::Vaux, sequence, index);
  std::memset(block + 3, 0xFF, kDifBlockBytes - 3);
  // Source, source control, date and time at packs 0-3 and again at the main positions 9-12.
  for (int first : {0, 9}) {
    put(block + vauxPackOffset(first + 0), source);
    put(block + vauxPackOffset(first + 1), kVideoControl);
    put(block + vauxPackOffset(first + 2), datePack(kPackRecordingDate, info));
    put(block + vauxPackOffset(first + 3), timePack(kPackRecordingTime, info));
  }
}

void writeAudio(uint8_t* block, const VideoProfile& profile, int sequence, int index, const FrameStampInfo& info) {
  writeId(block, BlockType::Audio, sequence, index);
  // The four AAUX packs sit in audio blocks 3-6 of even sequences and 0-3 of odd ones.
  const int firstPackBlock = sequence % 2 == 0 ? 3 : 0;
  const int slot = index - firstPackBlock;
  Pack pack = kNoPack;
  if (slot == 0) {
    const int afSize = audioSamplesInFrame(profile, info.frameIndex) - profile.minimumAudioSamples;
    const bool secondChannel = sequence >= profile.sequenceCount / 2;
    // 48 kHz, 16-bit linear, emphasis off; the second half of the sequences holds the second
    // channel. The lock flag stays 0: with it set MediaInfo takes the stream for DVCAM.
    pack = {kPackAudioSource, static_cast<uint8_t>(0x40 | (afSize & 0x3F)), static_cast<uint8_t>(secondChannel ? 1 : 0),
            withFiftyField(kAudioSourcePc3, profile), 0x80};
  } else if (slot == 1) {
    pack = kAudioControl;
  } else if (slot == 2) {
    pack = datePack(kPackAudioRecordingDate, info);
  } else if (slot == 3) {
    pack = timePack(kPackAudioRecordingTime, info);
  }
  put(block + 3, pack);
  std::memset(block + 8, 0x00, kDifBlockBytes - 8);  // silence
}

}  // namespace

int audioSamplesInFrame(const VideoProfile& profile, int frameIndex) {
  const int i = frameIndex < 0 ? 0 : frameIndex % 5;
  return profile.audioSamples[i];
}

void writeFrameSkeleton(const VideoProfile& profile, const FrameStampInfo& info, uint8_t* frame) {
  if (frame == nullptr) return;
  const std::array<Pack, 3> subcodePacks{timecodePack(info), datePack(kPackRecordingDate, info),
                                         timePack(kPackRecordingTime, info)};

  for (int s = 0; s < profile.sequenceCount; ++s) {
    for (int q = 0; q < kBlocksPerSequence; ++q) {
      uint8_t* block = frame + blockOffset(s, q);
      const BlockSlot slot = blockInSequence(q);
      switch (slot.type) {
        case BlockType::Header: writeHeader(block, profile, s); break;
        case BlockType::Subcode: writeSubcode(block, profile, s, slot.dbn, subcodePacks); break;
        case BlockType::Vaux: writeVaux(block, profile, s, slot.dbn, info); break;
        case BlockType::Audio: writeAudio(block, profile, s, slot.dbn, info); break;
        case BlockType::Video: writeId(block, BlockType::Video, s, slot.dbn); break;
      }
    }
  }
}

}  // namespace kelo::dv

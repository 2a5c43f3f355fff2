#include "container/SampleAvi.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dv/DifLayout.h"
#include "dv/FrameSkeleton.h"
#include "platform/File.h"

namespace kelo::container {

namespace {

constexpr int kSuperIndexEntries = 64;  // RIFF parts an OpenDML sample may have

// Little-endian byte building, field by field.
struct Bytes {
  std::vector<uint8_t> v;
  void u8(uint32_t x) { v.push_back(static_cast<uint8_t>(x)); }
  void u16(uint32_t x) { u8(x), u8(x >> 8); }
  void u32(uint32_t x) { u16(x), u16(x >> 16); }
  void u64(uint64_t x) { u32(static_cast<uint32_t>(x)), u32(static_cast<uint32_t>(x >> 32)); }
  void id(const char* f) { v.insert(v.end(), f, f + 4); }
  void zeros(size_t n) { v.insert(v.end(), n, 0); }
  size_t size() const { return v.size(); }
  void patch32(size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
  }
};

// The output file with its write position; sizes are patched in place once known.
struct Out {
  platform::File file;
  int64_t pos = 0;
  int rc = 0;
  void write(const void* p, size_t n) {
    if (rc) return;
    rc = file.writeAll(p, n);
    pos += static_cast<int64_t>(n);
  }
  void write(const Bytes& b) { write(b.v.data(), b.v.size()); }
  void patch(int64_t at, const Bytes& b) {
    if (rc) return;
    if ((rc = file.seek(at))) return;
    rc = file.writeAll(b.v.data(), b.v.size());
    if (!rc) rc = file.seek(pos);
  }
  void patch32(int64_t at, uint32_t x) {
    Bytes b;
    b.u32(x);
    patch(at, b);
  }
};

struct IndexEntry {
  int64_t dataOffset;  // file offset of the chunk data
  uint32_t size;
};

void standardIndex(Bytes& b, const char* chunkId, const std::vector<IndexEntry>& entries, int64_t base) {
  b.id(chunkId[0] == '0' && chunkId[1] == '1' ? "ix01" : "ix00");
  b.u32(24 + 8 * static_cast<uint32_t>(entries.size()));
  b.u16(2);  // longs per entry
  b.u8(0);
  b.u8(1);   // index of chunks
  b.u32(static_cast<uint32_t>(entries.size()));
  b.id(chunkId);
  b.u64(static_cast<uint64_t>(base));
  b.u32(0);
  for (const IndexEntry& e : entries) {
    b.u32(static_cast<uint32_t>(e.dataOffset - base));
    b.u32(e.size);
  }
}

}  // namespace

int writeSampleAvi(const std::string& path, const SampleOptions& options, std::string& error) {
  const dv::VideoProfile* profile = options.profile;
  if (!profile || (options.type != 1 && options.type != 2)) {
    error = "unknown video system or AVI type";
    return EINVAL;
  }
  dv::SampleGenerator generator(*profile, options.scenes);
  if (!generator.valid()) {
    error = "no sample frames for these scenes";
    return EINVAL;
  }
  generator.limitFrames(options.frameLimit);
  const int fps = profile->framesPerSecond;
  const int totalFrames = static_cast<int>(generator.frameCount());
  const int framesPerPart = options.openDml ? (options.framesPerPart > 0 ? options.framesPerPart : 50) : totalFrames;
  if (options.openDml && (totalFrames + framesPerPart - 1) / framesPerPart > kSuperIndexEntries) {
    error = "too many RIFF parts for the sample's super index";
    return EINVAL;
  }
  const bool type2 = options.type == 2;
  const uint32_t frameBytes = static_cast<uint32_t>(profile->frameBytes);
  const char* videoId = type2 ? "00dc" : "00__";
  // Type 1 frames fill 512-byte units with a JUNK chunk behind them.
  const uint32_t padBytes = type2 ? 0 : ((frameBytes + 8 + 511) / 512 * 512 - (frameBytes + 8));

  Out out;
  if ((out.rc = out.file.openWrite(path))) {
    error = "cannot create " + path;
    return out.rc;
  }

  // --- header ---
  Bytes h;
  h.id("RIFF");
  const size_t riffSizeAt = h.size();
  h.u32(0);
  h.id("AVI ");
  h.id("LIST");
  const size_t hdrlSizeAt = h.size();
  h.u32(0);
  h.id("hdrl");
  h.id("avih");
  h.u32(56);
  h.u32(fps == 25 ? 40000 : 33367);
  h.u32(frameBytes * static_cast<uint32_t>(fps));
  h.u32(0);
  h.u32(0x10 | 0x100);  // has index, interleaved
  const size_t avihFramesAt = h.size();
  h.u32(0);
  h.u32(0);
  h.u32(type2 ? 2 : 1);
  h.u32(frameBytes + 8);
  h.u32(720);
  h.u32(static_cast<uint32_t>(profile->height));
  h.zeros(16);

  size_t superIndexAt[2] = {0, 0};
  auto streamList = [&](bool video) {
    h.id("LIST");
    const size_t sizeAt = h.size();
    h.u32(0);
    h.id("strl");
    h.id("strh");
    h.u32(56);
    h.id(video ? (type2 ? "vids" : "iavs") : "auds");
    if (video)
      h.id("dvsd");
    else
      h.u32(0);
    h.u32(0);
    h.u32(0);
    h.u32(0);
    h.u32(video ? profile->rateDenominator : 1);
    h.u32(video ? profile->rateNumerator : 48000);
    h.u32(0);
    uint32_t audioSamples = 0;
    for (int i = 0; i < totalFrames; ++i) audioSamples += static_cast<uint32_t>(dv::audioSamplesInFrame(*profile, i));
    h.u32(video ? static_cast<uint32_t>(totalFrames) : audioSamples);
    h.u32(video ? frameBytes + 8 : 1602 * 4);
    h.u32(0xFFFFFFFFu);
    h.u32(video ? 0 : 4);
    h.u16(0), h.u16(0), h.u16(video ? 720 : 0), h.u16(video ? static_cast<uint32_t>(profile->height) : 0);
    h.id("strf");
    if (video && type2) {
      h.u32(40);
      h.u32(40), h.u32(720), h.u32(static_cast<uint32_t>(profile->height));
      h.u16(1), h.u16(24);
      h.id("dvsd");
      h.u32(frameBytes);
      h.zeros(16);
    } else if (video) {
      h.u32(32);  // DVINFO: the packs are in every frame, the copies here stay empty
      h.zeros(32);
    } else {
      h.u32(18);
      h.u16(1), h.u16(2), h.u32(48000), h.u32(192000), h.u16(4), h.u16(16), h.u16(0);
    }
    if (options.openDml) {
      h.id("indx");
      h.u32(24 + 16 * kSuperIndexEntries);
      h.u16(4);
      h.u8(0);
      h.u8(0);  // index of indexes
      superIndexAt[video ? 0 : 1] = h.size();
      h.u32(0);
      h.id(video ? videoId : "01wb");
      h.zeros(12);
      h.zeros(16 * kSuperIndexEntries);
    }
    h.patch32(sizeAt, static_cast<uint32_t>(h.size() - sizeAt - 4));
  };
  streamList(true);
  if (type2) streamList(false);
  if (options.openDml) {
    h.id("LIST");
    h.u32(4 + 8 + 248);
    h.id("odml");
    h.id("dmlh");
    h.u32(248);
    h.u32(static_cast<uint32_t>(totalFrames));
    h.zeros(244);
  }
  h.patch32(hdrlSizeAt, static_cast<uint32_t>(h.size() - hdrlSizeAt - 4));
  out.write(h);

  // --- movie data, part by part ---
  std::vector<uint8_t> frame(frameBytes);
  struct PartIndex {
    int64_t offset;
    uint32_t size;
    uint32_t duration;
  };
  std::vector<PartIndex> superVideo, superAudio;
  std::vector<IndexEntry> legacyVideo, legacyAudio;  // first part, for idx1
  std::vector<uint8_t> audioData;
  int64_t firstMoviFourcc = 0;
  int64_t riffStart = 0;
  int64_t riffSizePos = static_cast<int64_t>(riffSizeAt);
  int frameNo = 0;
  int firstPartFrames = 0;
  for (int part = 0; frameNo < totalFrames && !out.rc; ++part) {
    if (part > 0) {
      riffStart = out.pos;
      Bytes r;
      r.id("RIFF");
      r.u32(0);
      r.id("AVIX");
      riffSizePos = out.pos + 4;
      out.write(r);
    }
    Bytes m;
    m.id("LIST");
    m.u32(0);
    m.id("movi");
    const int64_t moviSizePos = out.pos + 4;
    if (part == 0) firstMoviFourcc = out.pos + 8;
    out.write(m);
    std::vector<IndexEntry> partVideo, partAudio;
    uint32_t partAudioSamples = 0;
    for (int f = 0; f < framesPerPart && frameNo < totalFrames && !out.rc; ++f, ++frameNo) {
      if (generator.next(frame.data()) != 0) {
        error = "the sample generator ended early";
        out.rc = EINVAL;
        break;
      }
      Bytes c;
      c.id(videoId);
      c.u32(frameBytes);
      out.write(c);
      const IndexEntry ve{out.pos, frameBytes};
      out.write(frame.data(), frame.size());
      partVideo.push_back(ve);
      if (padBytes) {
        Bytes j;
        j.id("JUNK");
        j.u32(padBytes - 8);
        j.zeros(padBytes - 8);
        out.write(j);
      }
      if (type2) {
        const int samples = dv::audioSamplesInFrame(*profile, frameNo);
        audioData.assign(static_cast<size_t>(samples) * 4, 0);
        Bytes a;
        a.id("01wb");
        a.u32(static_cast<uint32_t>(audioData.size()));
        out.write(a);
        partAudio.push_back({out.pos, static_cast<uint32_t>(audioData.size())});
        out.write(audioData.data(), audioData.size());
        partAudioSamples += static_cast<uint32_t>(samples);
      }
    }
    if (options.openDml) {
      // Standard indexes at the end of the part's movie list, listed in the super indexes.
      const int64_t moviData = moviSizePos + 8;
      Bytes ix;
      standardIndex(ix, videoId, partVideo, moviData - 8);
      superVideo.push_back({out.pos, static_cast<uint32_t>(ix.size()), static_cast<uint32_t>(partVideo.size())});
      out.write(ix);
      if (type2) {
        Bytes ixa;
        standardIndex(ixa, "01wb", partAudio, moviData - 8);
        superAudio.push_back({out.pos, static_cast<uint32_t>(ixa.size()), partAudioSamples});
        out.write(ixa);
      }
    }
    out.patch32(moviSizePos, static_cast<uint32_t>(out.pos - moviSizePos - 4));
    if (part == 0) {
      firstPartFrames = static_cast<int>(partVideo.size());
      legacyVideo = partVideo;
      legacyAudio = partAudio;
      Bytes idx;
      idx.id("idx1");
      idx.u32(static_cast<uint32_t>(16 * (legacyVideo.size() + legacyAudio.size())));
      for (size_t i = 0; i < legacyVideo.size(); ++i) {
        idx.id(videoId);
        idx.u32(0x10);
        idx.u32(static_cast<uint32_t>(legacyVideo[i].dataOffset - 8 - firstMoviFourcc));
        idx.u32(legacyVideo[i].size);
        if (i < legacyAudio.size()) {
          idx.id("01wb");
          idx.u32(0);
          idx.u32(static_cast<uint32_t>(legacyAudio[i].dataOffset - 8 - firstMoviFourcc));
          idx.u32(legacyAudio[i].size);
        }
      }
      out.write(idx);
    }
    out.patch32(riffSizePos, static_cast<uint32_t>(out.pos - riffStart - 8));
  }

  out.patch32(static_cast<int64_t>(avihFramesAt), static_cast<uint32_t>(firstPartFrames));
  if (options.openDml) {
    auto writeSuper = [&](size_t at, const std::vector<PartIndex>& parts) {
      Bytes s;
      s.u32(static_cast<uint32_t>(parts.size()));
      out.patch(static_cast<int64_t>(at), s);
      Bytes e;
      for (const PartIndex& p : parts) e.u64(static_cast<uint64_t>(p.offset)), e.u32(p.size), e.u32(p.duration);
      out.patch(static_cast<int64_t>(at + 4 + 4 + 12), e);
    };
    writeSuper(superIndexAt[0], superVideo);
    if (type2) writeSuper(superIndexAt[1], superAudio);
  }
  if (!out.rc) out.rc = out.file.close();
  if (out.rc && error.empty()) error = "cannot write " + path + ": " + std::strerror(out.rc);
  return out.rc;
}

}  // namespace kelo::container

#include "container/QuickTimeWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "container/ByteOrder.h"
#include "dv/DifLayout.h"
#include "dv/FrameSkeleton.h"
#include "dv/VideoProfile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace kelo::container {

namespace {

constexpr uint32_t kAudioRate = 48000;
constexpr uint32_t kAudioFrameBytes = 4;  // stereo, 16 bits
constexpr uint32_t kUnity = 0x00010000;   // 1.0 in 16.16

// Big-endian boxes built field by field; a box's size is filled in when it is closed.
struct Boxes {
  std::vector<uint8_t> v;
  void u8(uint32_t x) { v.push_back(static_cast<uint8_t>(x)); }
  void u16(uint32_t x) { u8(x >> 8), u8(x); }
  void u32(uint32_t x) { u16(x >> 16), u16(x); }
  void u64(uint64_t x) { u32(static_cast<uint32_t>(x >> 32)), u32(static_cast<uint32_t>(x)); }
  void id(const char* f) { v.insert(v.end(), f, f + 4); }
  void zeros(size_t n) { v.insert(v.end(), n, 0); }
  size_t open(const char* type) {
    const size_t at = v.size();
    u32(0);
    id(type);
    return at;
  }
  // A full box: header, version 0 and flags.
  size_t openFull(const char* type, uint32_t flags = 0) {
    const size_t at = open(type);
    u32(flags);
    return at;
  }
  void close(size_t at) { writeBe32(v.data() + at, static_cast<uint32_t>(v.size() - at)); }
  void matrix() {
    for (uint32_t m : {kUnity, 0u, 0u, 0u, kUnity, 0u, 0u, 0u, 0x40000000u}) u32(m);
  }
  void pascal(const char* s, size_t field) {  // counted string, padded to `field` bytes when given
    const size_t n = std::strlen(s);
    u8(static_cast<uint32_t>(n));
    v.insert(v.end(), s, s + n);
    if (field > n + 1) zeros(field - n - 1);
  }
};

struct TrackPlan {
  uint32_t trackId;
  bool video;
  uint32_t timeScale;
  uint64_t mediaDuration;
  uint64_t movieDuration;
  uint32_t sampleDelta;                                // stts: every sample lasts this long
  uint64_t sampleCount;
  uint32_t sampleSize;                                 // stsz: every sample has this size
  std::vector<std::pair<uint32_t, uint32_t>> chunkRuns;  // stsc: (first chunk, samples per chunk)
  const std::vector<uint64_t>* chunkOffsets;
};

void sampleTables(Boxes& b, const TrackPlan& t, const QuickTimeVideo& video) {
  const size_t stbl = b.open("stbl");
  const size_t stsd = b.openFull("stsd");
  b.u32(1);
  const size_t entry = b.open(t.video ? (video.height == 576 ? "dvcp" : "dvc ") : "twos");
  b.zeros(6);
  b.u16(1);  // data reference 1: this file
  if (t.video) {
    b.u16(0), b.u16(0);
    b.zeros(4 + 4 + 4);  // vendor, temporal and spatial quality
    b.u16(static_cast<uint32_t>(video.width)), b.u16(static_cast<uint32_t>(video.height));
    b.u32(72 * kUnity), b.u32(72 * kUnity);
    b.u32(0);
    b.u16(1);  // frames per sample
    b.pascal("DV", 32);
    b.u16(24);
    b.u16(0xFFFF);  // no colour table
  } else {
    b.u16(0), b.u16(0);
    b.u32(0);
    b.u16(2), b.u16(16);
    b.u16(0), b.u16(0);
    b.u32(kAudioRate << 16);
  }
  b.close(entry);
  b.close(stsd);

  const size_t stts = b.openFull("stts");
  b.u32(t.sampleCount ? 1 : 0);
  if (t.sampleCount) b.u32(static_cast<uint32_t>(t.sampleCount)), b.u32(t.sampleDelta);
  b.close(stts);

  const size_t stsc = b.openFull("stsc");
  b.u32(static_cast<uint32_t>(t.chunkRuns.size()));
  for (const auto& [first, count] : t.chunkRuns) b.u32(first), b.u32(count), b.u32(1);
  b.close(stsc);

  const size_t stsz = b.openFull("stsz");
  b.u32(t.sampleSize);
  b.u32(static_cast<uint32_t>(t.sampleCount));
  b.close(stsz);

  const bool wide = !t.chunkOffsets->empty() && t.chunkOffsets->back() > 0xFFFFFFFFu;
  const size_t stco = b.openFull(wide ? "co64" : "stco");
  b.u32(static_cast<uint32_t>(t.chunkOffsets->size()));
  for (uint64_t o : *t.chunkOffsets) wide ? b.u64(o) : b.u32(static_cast<uint32_t>(o));
  b.close(stco);
  b.close(stbl);
}

void track(Boxes& b, const TrackPlan& t, const QuickTimeVideo& video) {
  const size_t trak = b.open("trak");
  const size_t tkhd = b.openFull("tkhd", 0x000003);  // enabled, in the movie
  b.u32(0), b.u32(0);
  b.u32(t.trackId);
  b.u32(0);
  b.u32(static_cast<uint32_t>(t.movieDuration));
  b.zeros(8);
  b.u16(0), b.u16(0);
  b.u16(t.video ? 0 : 0x0100);  // volume
  b.u16(0);
  b.matrix();
  b.u32(t.video ? static_cast<uint32_t>(video.width) * kUnity : 0);
  b.u32(t.video ? static_cast<uint32_t>(video.height) * kUnity : 0);
  b.close(tkhd);

  const size_t mdia = b.open("mdia");
  const size_t mdhd = b.openFull("mdhd");
  b.u32(0), b.u32(0);
  b.u32(t.timeScale);
  b.u32(static_cast<uint32_t>(t.mediaDuration));
  b.u16(0), b.u16(0);
  b.close(mdhd);
  const size_t hdlr = b.openFull("hdlr");
  b.id("mhlr");
  b.id(t.video ? "vide" : "soun");
  b.zeros(12);
  b.pascal(t.video ? "Kelo video" : "Kelo sound", 0);
  b.close(hdlr);

  const size_t minf = b.open("minf");
  if (t.video) {
    const size_t vmhd = b.openFull("vmhd", 0x000001);
    b.zeros(8);
    b.close(vmhd);
  } else {
    const size_t smhd = b.openFull("smhd");
    b.zeros(4);
    b.close(smhd);
  }
  const size_t dinf = b.open("dinf");
  const size_t dref = b.openFull("dref");
  b.u32(1);
  const size_t alis = b.openFull("alis", 0x000001);  // the media is in this file
  b.close(alis);
  b.close(dref);
  b.close(dinf);
  sampleTables(b, t, video);
  b.close(minf);
  b.close(mdia);
  b.close(trak);
}

}  // namespace

int writeSampleQuickTime(const std::string& path, const QuickTimeVideo& video, const QuickTimeAudio& audio,
                         const QuickTimeFrameSource& frames, std::string& error) {
  if (video.frameBytes == 0 || video.frameCount < 0 || video.frameCount > 0xFFFFFFFF || video.rateNumerator == 0 ||
      video.rateDenominator == 0 || video.width <= 0 || video.width > 0xFFFF || video.height <= 0 ||
      video.height > 0xFFFF || !frames) {
    error = "impossible video settings for a QuickTime sample";
    return EINVAL;
  }
  platform::File file;
  int rc = file.openWrite(path);
  if (rc) {
    error = "cannot create " + path + ": " + std::strerror(rc);
    return rc;
  }
  auto failed = [&](int code, const std::string& what) {
    file.close();
    platform::removeFile(path);
    error = what;
    return code;
  };
  auto writeFailed = [&](int code) { return failed(code, "cannot write " + path + ": " + std::strerror(code)); };

  Boxes head;
  const size_t ftyp = head.open("ftyp");
  head.id("qt  ");
  head.u32(0x00000200);
  head.id("qt  ");
  head.close(ftyp);
  const uint64_t mdatAt = head.v.size();
  head.u32(8), head.id("wide");  // room for a 64-bit media data size
  head.u32(0), head.id("mdat");
  if ((rc = file.writeAll(head.v.data(), head.v.size()))) return writeFailed(rc);

  const bool withAudio = static_cast<bool>(audio.samplesInFrame);
  std::vector<uint64_t> videoChunks, audioChunks;
  std::vector<std::pair<uint32_t, uint32_t>> audioRuns;
  uint64_t audioSamples = 0;
  std::vector<uint8_t> frame(video.frameBytes);
  std::vector<uint8_t> silence;
  uint64_t pos = head.v.size();
  for (int64_t n = 0; n < video.frameCount; ++n) {
    if (!frames(n, frame.data())) return failed(EINVAL, "no frame " + std::to_string(n) + " for " + path);
    videoChunks.push_back(pos);
    if ((rc = file.writeAll(frame.data(), frame.size()))) return writeFailed(rc);
    pos += frame.size();
    if (!withAudio) continue;
    const int samples = audio.samplesInFrame(n);
    if (samples <= 0 || samples > static_cast<int>(kAudioRate)) return failed(EINVAL, "impossible audio sample count");
    audioChunks.push_back(pos);
    if (audioRuns.empty() || audioRuns.back().second != static_cast<uint32_t>(samples))
      audioRuns.emplace_back(static_cast<uint32_t>(audioChunks.size()), static_cast<uint32_t>(samples));
    silence.assign(static_cast<size_t>(samples) * kAudioFrameBytes, 0);
    if ((rc = file.writeAll(silence.data(), silence.size()))) return writeFailed(rc);
    pos += silence.size();
    audioSamples += static_cast<uint64_t>(samples);
  }

  // The media data's size: 32 bits behind the `wide` box, or 64 bits over both headers.
  Boxes mdat;
  const uint64_t mdatBytes = pos - mdatAt - 8;
  if (mdatBytes <= 0xFFFFFFFFu) {
    mdat.u32(8), mdat.id("wide");
    mdat.u32(static_cast<uint32_t>(mdatBytes)), mdat.id("mdat");
  } else {
    mdat.u32(1), mdat.id("mdat");
    mdat.u64(pos - mdatAt);
  }
  if ((rc = file.seek(static_cast<int64_t>(mdatAt))) || (rc = file.writeAll(mdat.v.data(), mdat.v.size())) ||
      (rc = file.seek(static_cast<int64_t>(pos))))
    return writeFailed(rc);

  const uint32_t scale = video.rateNumerator;
  const uint64_t videoDuration = static_cast<uint64_t>(video.frameCount) * video.rateDenominator;
  const uint64_t audioDuration = (audioSamples * scale + kAudioRate / 2) / kAudioRate;
  if (videoDuration > 0xFFFFFFFFu || audioDuration > 0xFFFFFFFFu || audioSamples > 0xFFFFFFFFu)
    return failed(EFBIG, "the sample is too long for 32-bit QuickTime durations");

  Boxes moov;
  const size_t moovAt = moov.open("moov");
  const size_t mvhd = moov.openFull("mvhd");
  moov.u32(0), moov.u32(0);
  moov.u32(scale);
  moov.u32(static_cast<uint32_t>(std::max(videoDuration, withAudio ? audioDuration : 0)));
  moov.u32(kUnity);
  moov.u16(0x0100);
  moov.zeros(10);
  moov.matrix();
  moov.zeros(6 * 4);
  moov.u32(withAudio ? 3 : 2);  // next track id
  moov.close(mvhd);
  std::vector<std::pair<uint32_t, uint32_t>> videoRuns;
  if (!videoChunks.empty()) videoRuns.emplace_back(1, 1);
  track(moov, {1, true, scale, videoDuration, videoDuration, video.rateDenominator,
               static_cast<uint64_t>(video.frameCount), video.frameBytes, videoRuns, &videoChunks},
        video);
  if (withAudio)
    track(moov, {2, false, kAudioRate, audioSamples, audioDuration, 1, audioSamples, 1, audioRuns, &audioChunks},
          video);
  moov.close(moovAt);
  if ((rc = file.writeAll(moov.v.data(), moov.v.size()))) return writeFailed(rc);
  if ((rc = file.close())) return writeFailed(rc);
  return 0;
}

int writeSampleQuickTime(const std::string& path, const dv::VideoProfile& profile,
                         const std::vector<dv::SampleScene>& scenes, int64_t frameLimit, std::string& error) {
  dv::SampleGenerator generator(profile, scenes);
  if (!generator.valid()) {
    error = "no sample frames for these scenes";
    return EINVAL;
  }
  generator.limitFrames(frameLimit);
  const QuickTimeVideo video{profile.width,
                             profile.height,
                             static_cast<uint32_t>(profile.rateNumerator),
                             static_cast<uint32_t>(profile.rateDenominator),
                             static_cast<uint32_t>(profile.frameBytes),
                             generator.frameCount()};
  QuickTimeAudio audio;
  audio.samplesInFrame = [&profile](int64_t n) { return dv::audioSamplesInFrame(profile, static_cast<int>(n % 10)); };
  // The generator yields frames in order, which is the order the writer asks for them.
  return writeSampleQuickTime(path, video, audio, [&](int64_t, uint8_t* frame) { return generator.next(frame) == 0; },
                              error);
}

}  // namespace kelo::container

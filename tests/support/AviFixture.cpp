#include "support/AviFixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "dv/VideoProfile.h"
#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/FrameSkeleton.h"
#include "dv/Packs.h"
#include "container/RiffChunks.h"
#include "container/DvSource.h"
#include "container/StampedFileWriter.h"
#include "support/TestUtil.h"

namespace kelo::test {

namespace {

using container::writeLe16;
using container::writeLe32;
using container::writeLe64;

std::vector<int64_t> gFramePositions;

// Sequential writer with holes and patches at known offsets.
class Out {
 public:
  explicit Out(int fd, bool upper) : fd_(fd), upper_(upper) {}
  int64_t pos() const { return pos_; }
  int error() const { return error_; }

  void put(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < n && error_ == 0) {
      const ssize_t w = ::pwrite(fd_, p + done, n - done, pos_ + static_cast<int64_t>(done));
      if (w <= 0) error_ = w < 0 ? errno : ENOSPC;
      else done += static_cast<size_t>(w);
    }
    pos_ += static_cast<int64_t>(n);
  }
  void zeros(size_t n) {
    std::vector<uint8_t> z(n, 0);
    put(z.data(), n);
  }
  void hole(uint64_t n) { pos_ += static_cast<int64_t>(n); }
  void id(const char* code) {
    char c[4];
    for (int i = 0; i < 4; ++i) {
      c[i] = code[i];
      if (upper_ && c[i] >= 'a' && c[i] <= 'z') c[i] = static_cast<char>(c[i] - 32);
    }
    put(c, 4);
  }
  void u16(uint16_t v) {
    uint8_t b[2];
    writeLe16(b, v);
    put(b, 2);
  }
  void u32(uint32_t v) {
    uint8_t b[4];
    writeLe32(b, v);
    put(b, 4);
  }
  void u64(uint64_t v) {
    uint8_t b[8];
    writeLe64(b, v);
    put(b, 8);
  }
  void patch32(int64_t at, uint32_t v) {
    uint8_t b[4];
    writeLe32(b, v);
    patch(at, b, 4);
  }
  void patch64(int64_t at, uint64_t v) {
    uint8_t b[8];
    writeLe64(b, v);
    patch(at, b, 8);
  }
  // Chunk or list: returns the offset of its size field.
  int64_t begin(const char* code, const char* listType = nullptr) {
    id(code);
    const int64_t at = pos_;
    u32(0);
    if (listType != nullptr) id(listType);
    return at;
  }
  // Patches the size and adds the pad byte of an odd size. False when the size does not fit.
  bool end(int64_t sizeAt) {
    const int64_t size = pos_ - sizeAt - 4;
    if (size > 0xFFFFFFFFll) {
      error_ = EFBIG;
      return false;
    }
    patch32(sizeAt, static_cast<uint32_t>(size));
    if (size & 1) zeros(1);
    return true;
  }

 private:
  void patch(int64_t at, const uint8_t* b, size_t n) {
    if (error_ == 0 && ::pwrite(fd_, b, n, at) != static_cast<ssize_t>(n)) error_ = errno ? errno : EIO;
  }
  int fd_;
  bool upper_;
  int64_t pos_ = 0;
  int error_ = 0;
};

struct IndexEntry {
  int64_t chunk;  // offset of the chunk header
  uint32_t size;
  bool video;
};

}  // namespace

const std::vector<int64_t>& lastFixtureFramePositions() { return gFramePositions; }

int writeAviFixture(const std::string& path, const std::vector<std::vector<uint8_t>>& frames,
                    const AviFixtureOptions& o) {
  gFramePositions.clear();
  if (frames.empty()) return EINVAL;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  Out out(fd, o.upperCase);

  const bool typeII = o.type == 2;
  const bool withAudio = typeII && o.audioBytes > 0;
  const uint32_t frameBytes = static_cast<uint32_t>(frames[0].size());
  const bool pal = frameBytes == 144000;
  const char* videoId = typeII ? "00dc" : "00__";
  const int total = static_cast<int>(frames.size());
  const int perPart = (o.openDml && o.framesPerRiff > 0) ? o.framesPerRiff : total;
  const int parts = (total + perPart - 1) / perPart;
  const uint32_t length = o.streamLength >= 0 ? static_cast<uint32_t>(o.streamLength) : static_cast<uint32_t>(total);

  // --- header ---
  const int64_t riff = out.begin("RIFF", "AVI ");
  const int64_t hdrl = out.begin("LIST", "hdrl");
  const int64_t avih = out.begin("avih");
  out.u32(pal ? 40000 : 33367);
  out.u32(3600000);
  out.u32(0);
  out.u32(0x10 | 0x100);
  out.u32(static_cast<uint32_t>(perPart));
  out.u32(0);
  out.u32(withAudio ? 2 : 1);
  out.u32(frameBytes + 8);
  out.u32(720);
  out.u32(pal ? 576 : 480);
  out.zeros(16);
  out.end(avih);

  const int64_t strl = out.begin("LIST", "strl");
  const int64_t strh = out.begin("strh");
  out.id(typeII ? "vids" : "iavs");
  out.id(o.handler);
  out.u32(0);
  out.u16(0);
  out.u16(0);
  out.u32(0);
  out.u32(pal ? 1 : 1001);
  out.u32(pal ? 25 : 30000);
  out.u32(0);
  out.u32(length);
  out.u32(frameBytes + 8);
  out.u32(0xFFFFFFFF);
  out.u32(0);
  out.zeros(8);
  out.end(strh);
  const int64_t strf = out.begin("strf");
  if (typeII) {
    out.u32(40);
    out.u32(720);
    out.u32(pal ? 576 : 480);
    out.u16(1);
    out.u16(24);
    out.id("dvsd");
    out.u32(frameBytes);
    out.zeros(16);
  } else {
    out.zeros(32);  // DVINFO
  }
  out.end(strf);
  int64_t superEntries = 0;
  if (o.openDml) {
    const int64_t indx = out.begin("indx");
    out.u16(4);
    out.put("\0\0", 2);  // sub type 0, AVI_INDEX_OF_INDEXES
    out.u32(static_cast<uint32_t>(parts));
    out.id(videoId);
    out.zeros(12);
    superEntries = out.pos();
    out.zeros(16u * static_cast<size_t>(parts));
    out.end(indx);
  }
  out.end(strl);
  if (withAudio) {
    const int64_t astrl = out.begin("LIST", "strl");
    const int64_t astrh = out.begin("strh");
    out.id("auds");
    out.u32(0);
    out.u32(0);
    out.u16(0);
    out.u16(0);
    out.u32(0);
    out.u32(1);
    out.u32(48000);
    out.u32(0);
    out.u32(static_cast<uint32_t>(total) * o.audioBytes / 4);
    out.u32(o.audioBytes);
    out.u32(0xFFFFFFFF);
    out.u32(4);
    out.zeros(8);
    out.end(astrh);
    const int64_t astrf = out.begin("strf");
    out.u16(1);
    out.u16(2);
    out.u32(48000);
    out.u32(192000);
    out.u16(4);
    out.u16(16);
    out.u16(0);
    out.end(astrf);
    out.end(astrl);
  }
  if (o.openDml) {
    const int64_t odml = out.begin("LIST", "odml");
    const int64_t dmlh = out.begin("dmlh");
    out.u32(static_cast<uint32_t>(total));
    out.zeros(244);
    out.end(dmlh);
    out.end(odml);
  }
  out.end(hdrl);

  // --- movie data, one RIFF part after the other ---
  std::vector<uint8_t> audio(o.audioBytes, 0);
  for (size_t i = 0; !o.audioText.empty() && i < audio.size(); ++i) audio[i] = static_cast<uint8_t>(o.audioText[i % o.audioText.size()]);
  std::vector<IndexEntry> legacy;
  int64_t moviOfFirst = 0;
  int64_t riffOfPart = riff;
  for (int part = 0; part < parts; ++part) {
    const int first = part * perPart;
    const int count = std::min(perPart, total - first);
    if (part > 0) riffOfPart = out.begin("RIFF", "AVIX");
    const int64_t movi = out.begin("LIST", "movi");
    if (part == 0) moviOfFirst = movi + 4;  // the `movi` identifier
    int64_t ix00 = 0;
    int64_t ix00Entries = 0, ix01Entries = 0;
    if (o.openDml) {
      ix00 = out.pos();
      const int64_t s = out.begin("ix00");
      out.u16(2);
      out.put("\0\1", 2);  // sub type 0, AVI_INDEX_OF_CHUNKS
      out.u32(static_cast<uint32_t>(count));
      out.id(videoId);
      out.u64(static_cast<uint64_t>(movi - 4));
      out.u32(0);
      ix00Entries = out.pos();
      out.zeros(8u * static_cast<size_t>(count));
      out.end(s);
      out.patch64(superEntries + 16 * part, static_cast<uint64_t>(ix00));
      out.patch32(superEntries + 16 * part + 8, static_cast<uint32_t>(out.pos() - ix00));
      out.patch32(superEntries + 16 * part + 12, static_cast<uint32_t>(count));
      if (withAudio) {
        const int64_t a = out.begin("ix01");
        out.u16(2);
        out.put("\0\1", 2);
        out.u32(static_cast<uint32_t>(count));
        out.id("01wb");
        out.u64(static_cast<uint64_t>(movi - 4));
        out.u32(0);
        ix01Entries = out.pos();
        out.zeros(8u * static_cast<size_t>(count));
        out.end(a);
      }
    }
    for (int k = 0; k < count; ++k) {
      const int i = first + k;
      for (const SparseJunk& j : o.sparse) {
        if (j.beforeFrame != i) continue;
        const int64_t s = out.begin("JUNK");
        out.hole(j.size);
        out.end(s);
      }
      if (o.oddJunkEvery > 0 && i % o.oddJunkEvery == 0) {
        const int64_t s = out.begin("JUNK");
        out.put("odd!!", 5);
        out.end(s);
      }
      const int64_t rec = o.recLists ? out.begin("LIST", "rec ") : 0;
      const int64_t chunk = out.pos();
      gFramePositions.push_back(chunk);
      const int64_t fs = out.begin(videoId);
      out.put(frames[static_cast<size_t>(i)].data(), frames[static_cast<size_t>(i)].size());
      out.end(fs);
      if (part == 0) legacy.push_back({chunk, static_cast<uint32_t>(frames[static_cast<size_t>(i)].size()), true});
      if (o.openDml) {
        out.patch32(ix00Entries + 8 * k, static_cast<uint32_t>(chunk + 8 - (movi - 4) + o.superIndexShift));
        out.patch32(ix00Entries + 8 * k + 4, frameBytes);
      }
      if (o.pad512 && !typeII) {
        const int64_t used = 8 + frameBytes;
        const int64_t padded = (used + 511) / 512 * 512;
        const int64_t s = out.begin("JUNK");
        out.zeros(static_cast<size_t>(padded - used - 8));
        out.end(s);
      }
      if (withAudio) {
        const int64_t achunk = out.pos();
        const int64_t as = out.begin("01wb");
        out.put(audio.data(), audio.size());
        out.end(as);
        if (part == 0) legacy.push_back({achunk, o.audioBytes, false});
        if (o.openDml) {
          out.patch32(ix01Entries + 8 * k, static_cast<uint32_t>(achunk + 8 - (movi - 4)));
          out.patch32(ix01Entries + 8 * k + 4, o.audioBytes);
        }
      }
      if (o.recLists) out.end(rec);
    }
    out.end(movi);
    if (part == 0 && o.idx1) {
      const int64_t s = out.begin("idx1");
      for (const IndexEntry& e : legacy) {
        out.id(e.video ? videoId : "01wb");
        out.u32(0x10);
        const int64_t base = o.idx1Absolute ? 0 : moviOfFirst;
        out.u32(static_cast<uint32_t>(e.chunk - base + o.idx1Shift));
        out.u32(e.size);
      }
      out.end(s);
    }
    out.end(riffOfPart);
  }
  int err = out.error();
  if (err == 0 && ::ftruncate(fd, out.pos()) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  return err;
}

std::vector<uint8_t> syntheticFrame(const dv::VideoProfile& profile, int index, int year, int month, int day,
                                    int hours, int minutes, int seconds) {
  std::vector<uint8_t> frame(static_cast<size_t>(profile.frameBytes), 0);
  dv::FrameStampInfo info;
  info.year = year;
  info.month = month;
  info.day = day;
  info.hours = hours;
  info.minutes = minutes;
  info.seconds = seconds;
  const int fps = profile.framesPerSecond;
  info.timecodeHours = index / (fps * 3600);
  info.timecodeMinutes = index / (fps * 60) % 60;
  info.timecodeSeconds = index / fps % 60;
  info.timecodeFrames = index % fps;
  info.frameIndex = index;
  dv::writeFrameSkeleton(profile, info, frame.data());
  return frame;
}

std::vector<std::vector<uint8_t>> syntheticFrames(const dv::VideoProfile& profile, int count) {
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < count; ++i) frames.push_back(syntheticFrame(profile, i));
  return frames;
}

int timecodeFrameNumber(const uint8_t* frame, size_t length) {
  dv::DvFrameInfo info;
  const dv::VideoProfile* profile = dv::profileForFrame(frame, length);
  if (!profile) return -1;
  dv::DateTimeReadOptions options;
  options.wantTapeTimecode = true;
  dv::readRecordedDateTime(info, options, frame, length);
  if (!info.timecodeFound) return -1;
  const int fps = profile->framesPerSecond;
  return ((info.timecodeHours * 60 + info.timecodeMinutes) * 60 + info.timecodeSeconds) * fps + info.timecodeFrames;
}

int copyThroughReader(const std::string& in, const std::string& out, int* frames,
                      std::unique_ptr<container::WriteLayer> layer, std::vector<std::string>* log) {
  container::MessageList runLog;
  std::unique_ptr<container::DvSource> reader;
  container::StampedFileWriter writer(layer ? std::move(layer) : container::makeFileWriteLayer());
  int count = 0;
  auto finish = [&](int r) {
    if (frames != nullptr) *frames = count;
    if (log != nullptr) *log = runLog.lines;
    return r;
  };
  int error = 0;
  if (container::openDvSource(in, reader, error) != container::OpenOutcome::Opened) return finish(-2);
  if (int r = writer.open(out)) return finish(r);
  if (reader->validateHeader(&writer, &runLog) != container::HeaderOutcome::Valid) return finish(-1);
  std::vector<uint8_t> buffer(container::kFrameBufferBytes);
  dv::DvFrameInfo info;
  size_t length = 0;
  container::ReadOutcome r;
  while ((r = reader->readFrame(info, &writer, buffer.data(), length, count, &runLog)) == container::ReadOutcome::Frame) {
    if (writer.write(buffer.data(), length) != static_cast<int64_t>(length)) return finish(-3);
    ++count;
  }
  if (r != container::ReadOutcome::End) return finish(-1);
  if (length > 0 && writer.write(buffer.data(), length) != static_cast<int64_t>(length)) return finish(-3);
  const container::CopyOutcome copied = reader->copyRemainder(writer);
  if (copied != container::CopyOutcome::Copied) return finish(copied == container::CopyOutcome::WriteFailed ? -3 : -4);
  if (writer.close() != 0) return finish(-3);
  return finish(0);
}

FailingWriteLayer::FailingWriteLayer(uint64_t limit, int err)
    : real_(container::makeFileWriteLayer()), limit_(limit), err_(err) {}

int FailingWriteLayer::open(const std::string& path) { return real_->open(path); }

int FailingWriteLayer::write(const void* data, size_t count) {
  if (written_ + count <= limit_) {
    written_ += count;
    return real_->write(data, count);
  }
  const size_t fits = static_cast<size_t>(limit_ - written_);
  if (fits > 0) real_->write(data, fits);
  written_ = limit_;
  return err_;
}

int FailingWriteLayer::setModificationTime(std::time_t when) { return real_->setModificationTime(when); }
int FailingWriteLayer::close() { return real_->close(); }
int FailingWriteLayer::remove(const std::string& path) { return real_->remove(path); }

std::vector<std::vector<uint8_t>> ffmpegFrames(const std::string& folder, const dv::VideoProfile& profile, int count,
                                               const std::string& creationTime) {
  std::vector<std::vector<uint8_t>> frames;
  if (!haveProgram("ffmpeg")) return frames;
  const std::string file = folder + "/ffmpeg-" + ffmpegSize(profile) + "-" + ffmpegPixelFormat(profile) + ".dv";
  const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" + ffmpegSize(profile) +
                          ":rate=" + ffmpegRate(profile) + " -frames:v " + std::to_string(count) +
                          " -metadata creation_time=" + shellQuote(creationTime) + " -pix_fmt " +
                          ffmpegPixelFormat(profile) + " -f dv " + shellQuote(file);
  if (runCommand(cmd).exitCode != 0) return frames;
  const std::vector<uint8_t> bytes = readFile(file);
  const size_t frameBytes = static_cast<size_t>(profile.frameBytes);
  for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
    frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
  }
  return frames;
}

}  // namespace kelo::test

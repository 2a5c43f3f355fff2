#include "container/DvAviReader.h"

#include <algorithm>
#include <cstring>

#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "dv/VideoProfile.h"
#include "container/RiffChunks.h"
#include "container/StampedFileWriter.h"

namespace kelo::container {

namespace {

constexpr uint32_t kRiff = fourcc("riff");
constexpr uint32_t kList = fourcc("list");
constexpr uint32_t kAvi = fourcc("avi ");
constexpr uint32_t kStrh = fourcc("strh");
constexpr uint32_t kVids = fourcc("vids");
constexpr uint32_t kIavs = fourcc("iavs");
constexpr uint32_t kDvsd = fourcc("dvsd");
constexpr uint32_t kDsvd = fourcc("dsvd");
constexpr uint32_t kMovi = fourcc("movi");
constexpr uint32_t k00dc = fourcc("00dc");
constexpr uint32_t k00db = fourcc("00db");
constexpr uint32_t k00__ = fourcc("00__");
constexpr uint32_t kIx00 = fourcc("ix00");
constexpr uint32_t kIx01 = fourcc("ix01");
constexpr uint32_t kJunk = fourcc("junk");
constexpr uint32_t kIdx1 = fourcc("idx1");
constexpr uint32_t kIndx = fourcc("indx");
constexpr uint32_t kOdml = fourcc("odml");

// Chunks in RIFF files start at even offsets: scanning in steps of 2 finds every chunk behind
// one of odd size (with its pad byte) or of a size that is not a multiple of 4.
constexpr size_t kScanStep = 2;

constexpr size_t kCacheBytes = 4u << 20;
// Small reads (the header, index entries) fill the cache with at least this much, not with a
// whole block: frames are not read through the cache when they need not be.
constexpr size_t kSmallFillBytes = 64u << 10;
// The least view readDirect scans: an index chunk's header with room behind it, so every scan of a
// view moves on.
constexpr size_t kMinViewBytes = 64;
// readDirect's cache fill reaches this far beyond the bytes it met in front of the last frame.
constexpr size_t kPeekMarginBytes = 512;

// Read span (returned length + 4) of a frame of `profile`: type I frames are padded to 512 bytes.
size_t spanFor(uint32_t chunkId, const dv::VideoProfile& profile) {
  const size_t chunk = 8 + static_cast<size_t>(profile.frameBytes);
  if (chunkId == k00__) return (chunk + 511) / 512 * 512 + 4;
  return chunk + 4;
}

bool isVideoChunk(uint32_t id) { return id == k00dc || id == k00db || id == k00__; }
// The first byte of an identifier the scan looks for.
constexpr bool startsId(uint8_t c) { return (c >= '0' && c <= '9') || c == 'i' || c == 'I'; }
// `ix` and a two-digit stream number: an OpenDML standard index.
bool isStandardIndexId(const uint8_t* p) {
  return lowerAscii(p[0]) == 'i' && lowerAscii(p[1]) == 'x' && p[2] >= '0' && p[2] <= '9' && p[3] >= '0' &&
         p[3] <= '9';
}
// Enough of an index chunk's header to check it: id, size, and the fields up to dwChunkId.
constexpr size_t kIndexHeaderBytes = 24;
bool isAudioChunk(const uint8_t* p) { return lowerAscii(p[2]) == 'w' && lowerAscii(p[3]) == 'b'; }

}  // namespace

DvAviReader::DvAviReader() : span_(kFrameBufferBytes) {}

int DvAviReader::indexedFrameCount() const {
  return indexUsable_ ? static_cast<int>(std::min<size_t>(known_.size(), INT32_MAX)) : -1;
}

int DvAviReader::readBytes(int64_t offset, uint8_t* dst, size_t count, size_t& got) {
  got = 0;
  while (got < count) {
    const int64_t at = offset + static_cast<int64_t>(got);
    if (at >= cacheStart_ && at < cacheStart_ + static_cast<int64_t>(cacheLength_)) {
      const size_t inCache = static_cast<size_t>(at - cacheStart_);
      const size_t take = std::min(count - got, cacheLength_ - inCache);
      std::memcpy(dst + got, cache_.get() + inCache, take);
      got += take;
      continue;
    }
    const size_t capacity = cacheCapacity();
    if (int err = fillCache(at, std::min(capacity, std::max(count - got, kSmallFillBytes)))) return err;
    if (cacheLength_ == 0) break;  // end of file
  }
  return 0;
}

bool DvAviReader::cacheHolds(int64_t at, size_t count) const {
  return at >= cacheStart_ && at + static_cast<int64_t>(count) <= cacheStart_ + static_cast<int64_t>(cacheLength_);
}

size_t DvAviReader::cacheCapacity() {
  // No more than the file needs (one byte more, so that a fill ending at the end is seen as such):
  // small files, as the fuzzer makes them, then cost no large allocation. A block allocated for an
  // earlier file is kept when it is large enough.
  const size_t capacity = static_cast<size_t>(std::clamp<int64_t>(fileSize_ + 1, 1, kCacheBytes));
  if (capacity > cacheCapacity_) {
    cache_ = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    cacheCapacity_ = capacity;
    cacheLength_ = 0;
  }
  return capacity;
}

int DvAviReader::fillCache(int64_t at, size_t fill) {
  size_t filled = 0;
  if (int err = readAt(at, cache_.get(), fill, filled)) {
    cacheLength_ = 0;
    return err;
  }
  cacheStart_ = at;
  cacheLength_ = filled;
  cacheAtEnd_ = filled < fill;
  return 0;
}

int DvAviReader::window(const uint8_t*& w, size_t& n) {
  w = nullptr;
  n = 0;
  const int64_t cacheEnd = cacheStart_ + static_cast<int64_t>(cacheLength_);
  const bool inCache = pos_ >= cacheStart_ && pos_ <= cacheEnd;
  // A window shows a whole frame of any layout, so that one of another size than the first is seen.
  if (!inCache || (pos_ + static_cast<int64_t>(kFrameBufferBytes) > cacheEnd && !cacheAtEnd_)) {
    // A random jump needs one window, not a long run ahead of it; so does the search for the first
    // frame, as the frames behind it are read straight into the caller's buffer.
    const size_t fill = randomAccess_ || firstPending_ ? 2 * kFrameBufferBytes : kCacheBytes;
    if (int err = fillCache(pos_, std::min(fill, cacheCapacity()))) return err;
  }
  const size_t offset = static_cast<size_t>(pos_ - cacheStart_);
  w = cache_.get() + offset;
  n = std::min(kFrameBufferBytes, cacheLength_ - offset);
  return 0;
}

HeaderOutcome DvAviReader::validateHeader(StampedFileWriter* output, MessageSink* log) {
  validated_ = false;
  // The cache may hold bytes of the file attached before (a reopened source).
  cacheStart_ = 0;
  cacheLength_ = 0;
  cacheAtEnd_ = false;
  peekBytes_ = 0;
  chunkBytes_ = 0;
  header_.assign(kHeaderBytes, 0);
  size_t n = 0;
  if (readBytes(0, header_.data(), kHeaderBytes, n) != 0) {
    addLine(log, kMsgReadFailed);
    return HeaderOutcome::ReadFailed;
  }
  if (n < kHeaderBytes) {
    addLine(log, kMsgTooSmall);
    return HeaderOutcome::Invalid;
  }
  const uint8_t* h = header_.data();
  if (lowerFourcc(h) != kRiff || lowerFourcc(h + 8) != kAvi) {
    addLine(log, kMsgNotAvi);
    return HeaderOutcome::Invalid;
  }

  size_t strh = 0;
  for (size_t o = 12; o + 44 <= n; o += kScanStep) {
    if (lowerFourcc(h + o) != kStrh) continue;
    const uint32_t type = lowerFourcc(h + o + 8);
    const uint32_t handler = lowerFourcc(h + o + 12);
    if ((type == kVids || type == kIavs) && (handler == kDvsd || handler == kDsvd)) {
      strh = o;
      break;
    }
  }
  if (strh == 0) {
    addLine(log, kMsgNotDvAvi);
    return HeaderOutcome::Invalid;
  }
  const uint32_t length = readLe32(h + strh + 40);
  lastFrameIndex_ = static_cast<int>(std::min<uint32_t>(length, INT32_MAX)) - 1;
  typeII_ = lowerFourcc(h + strh + 8) != kIavs;
  addLine(log, typeII_ ? kMsgTypeII : kMsgTypeI);

  // The movie list: `movi` as the type of a LIST (a `movi` inside a text such as a software name
  // is not the movie data).
  size_t movieStart = 0;
  for (size_t p = strh + 16; p + 4 <= n; p += kScanStep) {
    if (lowerFourcc(h + p) == kMovi && p >= 8 && lowerFourcc(h + p - 8) == kList) {
      movieStart = p + 4;
      break;
    }
  }
  if (movieStart == 0) {
    addLine(log, messageWith(kMsgNoMovi, typeII_ ? "II" : "I"));
    return HeaderOutcome::Invalid;
  }
  openDml_ = false;
  for (size_t p = 12; p + 4 <= movieStart; p += kScanStep) {
    const uint32_t id = lowerFourcc(h + p);
    if (id == kIndx || (id == kOdml && p >= 8 && lowerFourcc(h + p - 8) == kList)) {
      openDml_ = true;
      break;
    }
  }
  header_.resize(movieStart);

  if (output != nullptr && output->write(h, movieStart) < 0) {
    addLine(log, kMsgWriteFailed);
    return HeaderOutcome::WriteFailed;
  }
  pos_ = static_cast<int64_t>(movieStart);
  firstFramePos_ = pos_;
  currentFramePos_ = 0;
  firstPending_ = true;
  span_ = kFrameBufferBytes;
  lastRead_ = -1;
  known_.clear();
  indexLoaded_ = false;
  indexUsable_ = false;
  validated_ = true;
  refusedKind_ = dv::FrameKind::Stampable;
  unreadableFrames_ = 0;
  return HeaderOutcome::Valid;
}

DvAviReader::ScanStop DvAviReader::scanWindow(const uint8_t* w, size_t n, size_t p, dv::DvFrameInfo& info) {
  for (; p + 4 <= n; p += kScanStep) {
    // Every identifier looked for starts with a digit (stream number) or with "ix"; audio and
    // padding are passed four steps at a time while none of them could start one.
    while (p + 12 <= n && !(startsId(w[p]) || startsId(w[p + 2]) || startsId(w[p + 4]) || startsId(w[p + 6])))
      p += 4 * kScanStep;
    if (!startsId(w[p])) continue;
    const uint32_t id = lowerFourcc(w + p);
    if (isVideoChunk(id)) {
      if (!firstPending_) return {p, Candidate::Frame};
      // The frame's first blocks tell the system; they must all be in the window.
      if (p + 8 + dv::kDetectBytes > n) return {p, Candidate::Incomplete};
      const dv::FrameIdentity frame = dv::identifyFrame(w + p + 8, n - p - 8);
      if (frame.kind == dv::FrameKind::NotDv) continue;
      if (!frame.profile) {
        refusedKind_ = frame.kind;
        return {p, Candidate::Refused};
      }
      info.profile = frame.profile;
      span_ = spanFor(id, *frame.profile);
      frameBytes_ = static_cast<size_t>(frame.profile->frameBytes);
      return {p, Candidate::Frame};
    }
    if (id == kIdx1 || id == kIndx || isStandardIndexId(w + p)) {
      if (p + kIndexHeaderBytes > n) return {p, Candidate::Incomplete};
      const int64_t skip = indexChunkBytes(w + p, n - p, pos_ + static_cast<int64_t>(p));
      if (skip > 0) return {p, Candidate::Index, skip};
      continue;
    }
    if (typeII_ && isAudioChunk(w + p)) return {p, Candidate::Audio};
  }
  return {p, Candidate::None};
}

bool DvAviReader::isFollower(uint32_t id, uint32_t frameId) const {
  // Besides the chunks of the movie data, a frame may be followed by the next RIFF part of an
  // OpenDML file or by a list (`rec` grouping); those frames are frames too.
  return id == frameId || id == kJunk || id == kIx00 || id == kIx01 || id == kIdx1 || id == kRiff || id == kList ||
         (typeII_ && lowerAscii(static_cast<uint8_t>(id >> 16)) == 'w' &&
          lowerAscii(static_cast<uint8_t>(id >> 24)) == 'b');
}

size_t DvAviReader::acceptedLength(const uint8_t* w, size_t n, int64_t at) const {
  const uint32_t id = lowerFourcc(w);
  // A frame of another layout than the first is read by its own size.
  const dv::VideoProfile* own = n > 8 ? dv::identifyFrame(w + 8, n - 8).profile : nullptr;
  const size_t ownSpan = own ? spanFor(id, *own) : span_;
  if (ownSpan != span_ && ownSpan <= n && isFollower(lowerFourcc(w + ownSpan - 4), id)) return ownSpan - 4;
  if (span_ <= n && isFollower(lowerFourcc(w + span_ - 4), id)) return span_ - 4;
  if (frameBytes_ == 0) return 0;
  // A type I file without 512-byte padding: the next chunk follows the frame directly.
  const size_t direct = 8 + (own ? static_cast<size_t>(own->frameBytes) : frameBytes_);
  if (id == k00__ && direct + 4 <= n && isFollower(lowerFourcc(w + direct), id)) return direct;
  // The last frame of a file that ends right behind it (a last OpenDML part has no idx1).
  if (direct <= n && at + static_cast<int64_t>(direct) == fileSize_) return direct;
  if (span_ - 4 <= n && at + static_cast<int64_t>(span_ - 4) == fileSize_) return span_ - 4;
  return 0;
}

// Bytes taken by the frame chunk at w, pad byte included, when it holds DV (a header block) and
// declares the size of a DV frame, which no stray chunk id inside other data does; 0 otherwise.
int64_t DvAviReader::unreadableFrameBytes(const uint8_t* w, size_t n) const {
  if (n < 8 + static_cast<size_t>(dv::kDetectBytes)) return 0;
  const uint32_t size = readLe32(w + 4);
  if (!dv::isDvFrameSize(size) || dv::identifyFrame(w + 8, n - 8).kind == dv::FrameKind::NotDv) return 0;
  const int64_t bytes = 8 + static_cast<int64_t>(size) + (size & 1);
  return pos_ + bytes <= fileSize_ ? bytes : 0;
}

// Bytes taken by the index chunk (`idx1`, `indx`, `ix##`) at w, pad byte included, when its
// header is plausible and its size is borne out by the file: it ends at the end of the file or in
// front of something that reads as a chunk identifier. 0 otherwise: then it is scanned as data.
int64_t DvAviReader::indexChunkBytes(const uint8_t* w, size_t n, int64_t at) {
  if (n < kIndexHeaderBytes) return 0;
  const uint32_t id = lowerFourcc(w);
  if (id == kIndx && (readLe16(w + 8) != 4 || w[11] != 0)) return 0;   // index of indexes
  if (id != kIdx1 && id != kIndx && (readLe16(w + 8) != 2 || w[11] != 1)) return 0;  // of chunks
  const uint32_t size = readLe32(w + 4);
  const int64_t bytes = 8 + static_cast<int64_t>(size) + (size & 1);
  if (at + bytes > fileSize_) return 0;
  if (at + bytes == fileSize_) return bytes;
  uint8_t next[4];
  size_t got = 0;
  if (bytes + 4 <= static_cast<int64_t>(n)) {
    std::memcpy(next, w + bytes, 4);
    got = 4;
  } else if (readAt(at + bytes, next, 4, got) != 0) {
    return 0;  // the window stays valid: this read bypasses the cache
  }
  if (got != 4 && at + bytes + static_cast<int64_t>(got) != fileSize_) return 0;
  for (size_t i = 0; i < got; ++i) {
    if (next[i] < 0x20 || next[i] > 0x7E) return 0;
  }
  return bytes;
}

size_t DvAviReader::findFrameInTail(const uint8_t* w, size_t n, dv::DvFrameInfo& info) {
  for (size_t p = 0; p + 8 <= n; p += kScanStep) {
    if (w[p] == 'i' || w[p] == 'I') {
      const int64_t skip = indexChunkBytes(w + p, n - p, pos_ + static_cast<int64_t>(p));
      if (skip > 0) {
        if (skip >= static_cast<int64_t>(n - p)) return kNone;
        p += static_cast<size_t>(skip) - kScanStep;
        continue;
      }
    }
    if (w[p] != '0') continue;  // every video chunk id starts so
    const uint32_t id = lowerFourcc(w + p);
    if (!isVideoChunk(id)) continue;
    if (firstPending_) {
      if (p + 8 + dv::kDetectBytes > n) return kNone;
      const dv::FrameIdentity frame = dv::identifyFrame(w + p + 8, n - p - 8);
      if (frame.kind != dv::FrameKind::NotDv && !frame.profile) {
        refusedKind_ = frame.kind;
        return kNone;
      }
      if (!frame.profile) continue;
      info.profile = frame.profile;
      span_ = spanFor(id, *frame.profile);
      frameBytes_ = static_cast<size_t>(frame.profile->frameBytes);
    }
    if (acceptedLength(w + p, n - p, pos_ + static_cast<int64_t>(p)) > 0) return p;
  }
  return kNone;
}

ReadOutcome DvAviReader::scanNext(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer,
                                  size_t& length, MessageSink* log) {
  length = 0;
  size_t n = 0;
  // The window is a view into the read cache; only the frame (or the tail) is copied out.
  const uint8_t* w = nullptr;
  auto readFailed = [&]() {
    addLine(log, kMsgReadFailed);
    return ReadOutcome::ReadFailed;
  };
  auto writeFailed = [&]() {
    addLine(log, kMsgWriteFailed);
    return ReadOutcome::WriteFailed;
  };
  auto accept = [&](size_t chunkLength) {
    std::memcpy(buffer, w, chunkLength);
    return tookFrame(lowerFourcc(w), chunkLength, length);
  };
  // No further frame: the bytes of the last window go to the caller as trailing bytes.
  auto tail = [&]() {
    if (n > 0) std::memcpy(buffer, w, n);
    length = n;
    pos_ += static_cast<int64_t>(n);
    return ReadOutcome::End;
  };
  // A window cut short by the end of the file: a last frame may still lie whole in it (the read
  // span of type I reaches past a frame that is not padded); otherwise it is the tail.
  auto shortWindow = [&]() -> ReadOutcome {
    const size_t f = findFrameInTail(w, n, info);
    if (f != kNone && f > 0) {
      if (output != nullptr && output->write(w, f) < 0) return writeFailed();
      pos_ += static_cast<int64_t>(f);
      if (window(w, n) != 0) return readFailed();
    }
    const size_t accepted = f == kNone ? 0 : acceptedLength(w, n, pos_);
    if (accepted > 0) return accept(accepted);
    return tail();
  };

  if (!randomAccess_ && !firstPending_) {
    ReadOutcome direct = ReadOutcome::Frame;
    if (readDirect(info, output, buffer, length, log, direct)) return direct;
  }
  if (window(w, n) != 0) return readFailed();
  if (n < span_) return shortWindow();
  size_t p = 0;
  for (;;) {
    ScanStop stop = scanWindow(w, n, p, info);
    if (stop.at == 0 && (stop.kind == Candidate::None || stop.kind == Candidate::Incomplete)) {
      // No progress possible in a full window (cannot happen with the spans in use); end the
      // stream rather than loop.
      return tail();
    }
    if (stop.at > 0) {
      if (output != nullptr && output->write(w, stop.at) < 0) return writeFailed();
      pos_ += static_cast<int64_t>(stop.at);
      if (window(w, n) != 0) return readFailed();
      if (n < span_) return shortWindow();
    }
    // The window now starts at the candidate, or at the first byte not yet looked at.
    switch (stop.kind) {
      case Candidate::None:
      case Candidate::Incomplete:
        p = 0;
        break;
      case Candidate::Audio:
        p = kScanStep;
        break;
      case Candidate::Frame: {
        const size_t accepted = acceptedLength(w, n, pos_);
        if (accepted > 0) return accept(accepted);
        // A DV frame that the file's frame layout cannot take is stepped over whole as an index
        // is (copied unchanged) and counted.
        stop.skip = unreadableFrameBytes(w, n);
        if (stop.skip == 0) {
          p = kScanStep;
          break;
        }
        ++unreadableFrames_;
        [[fallthrough]];
      }
      case Candidate::Index: {
        // Step over the entries as a whole (their ids must never be taken for frames); they are
        // copied with the bytes before the next candidate.
        const int64_t end = stop.skip;
        if (end < static_cast<int64_t>(n)) {
          p = static_cast<size_t>(end);
        } else {
          const CopyOutcome copied = copyRange(pos_, pos_ + end, output);
          if (copied == CopyOutcome::WriteFailed) return writeFailed();
          if (copied == CopyOutcome::ReadFailed) return readFailed();
          pos_ += end;
          if (window(w, n) != 0) return readFailed();
          if (n < span_) return shortWindow();
          p = 0;
        }
        break;
      }
      case Candidate::Refused:
        // DV that Kelo cannot stamp: no frame of it is handed out.
        length = 0;
        return ReadOutcome::End;
    }
  }
}

ReadOutcome DvAviReader::tookFrame(uint32_t id, size_t chunkLength, size_t& length) {
  if (videoChunkId_ == 0) videoChunkId_ = id;
  currentFramePos_ = pos_;
  pos_ += static_cast<int64_t>(chunkLength);
  if (firstPending_) {
    firstPending_ = false;
    firstFramePos_ = currentFramePos_;
  }
  length = chunkLength;
  chunkBytes_ = chunkLength;
  return ReadOutcome::Frame;
}

bool DvAviReader::readDirect(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer, size_t& length,
                             MessageSink* log, ReadOutcome& outcome) {
  auto failed = [&](ReadOutcome r, const char* line) {
    addLine(log, line);
    outcome = r;
    return true;
  };
  constexpr auto kWindow = static_cast<int64_t>(kFrameBufferBytes);
  size_t viewed = 0;  // bytes scanned in front of the frame, index chunks stepped over not counted
  for (;;) {
    // The scan judges a frame chunk by a whole window of bytes, so one must lie ahead; frames that
    // the cache holds already are taken from it.
    if (fileSize_ - pos_ < kWindow || cacheHolds(pos_, kFrameBufferBytes)) return false;
    if (!cacheHolds(pos_, kMinViewBytes)) {
      const size_t capacity = cacheCapacity();
      if (fillCache(pos_, std::clamp(peekBytes_, kMinViewBytes, capacity)) != 0)
        return failed(ReadOutcome::ReadFailed, kMsgReadFailed);
      if (!cacheHolds(pos_, kMinViewBytes)) return false;  // the file shrank: the scan finds its end
    }
    const uint8_t* w = cache_.get() + (pos_ - cacheStart_);
    const size_t n = static_cast<size_t>(cacheStart_ + static_cast<int64_t>(cacheLength_) - pos_);
    // Audio chunks, and index chunks that the view holds whole, are scanned past as scanNext does.
    ScanStop stop = scanWindow(w, n, 0, info);
    while (stop.kind == Candidate::Audio ||
           (stop.kind == Candidate::Index && stop.skip < static_cast<int64_t>(n - stop.at))) {
      const size_t from = stop.at + (stop.kind == Candidate::Audio ? kScanStep : static_cast<size_t>(stop.skip));
      stop = scanWindow(w, n, from, info);
    }
    if (stop.at > 0 && output != nullptr && output->write(w, stop.at) < 0)
      return failed(ReadOutcome::WriteFailed, kMsgWriteFailed);
    pos_ += static_cast<int64_t>(stop.at);
    viewed += stop.at;
    switch (stop.kind) {
      case Candidate::Frame: {
        if (fileSize_ - pos_ < kWindow) return false;
        // The bytes in front of the next frame, expected as many as in front of this one, come into
        // the cache with the same read, placed behind the end of a chunk as long as the last one;
        // the part of them that the window holds is copied there.
        peekBytes_ = viewed + kPeekMarginBytes;
        const size_t capacity = cacheCapacity();
        const size_t tail = kFrameBufferBytes - std::min(chunkBytes_ != 0 ? chunkBytes_ : span_, kFrameBufferBytes);
        size_t got = 0;
        if (readPairAt(pos_, buffer, kFrameBufferBytes, cache_.get() + tail, std::min(peekBytes_, capacity - tail), got) !=
                0 ||
            got < kFrameBufferBytes) {
          cacheLength_ = 0;
          return failed(ReadOutcome::ReadFailed, kMsgReadFailed);
        }
        std::memcpy(cache_.get(), buffer + kFrameBufferBytes - tail, tail);
        cacheStart_ = pos_ + kWindow - static_cast<int64_t>(tail);
        cacheLength_ = got - kFrameBufferBytes + tail;
        cacheAtEnd_ = cacheStart_ + static_cast<int64_t>(cacheLength_) == fileSize_;
        const size_t accepted = acceptedLength(buffer, kFrameBufferBytes, pos_);
        if (accepted == 0) return false;
        outcome = tookFrame(lowerFourcc(buffer), accepted, length);
        return true;
      }
      case Candidate::Index: {
        const CopyOutcome copied = copyRange(pos_, pos_ + stop.skip, output);
        if (copied == CopyOutcome::WriteFailed) return failed(ReadOutcome::WriteFailed, kMsgWriteFailed);
        if (copied == CopyOutcome::ReadFailed) return failed(ReadOutcome::ReadFailed, kMsgReadFailed);
        pos_ += stop.skip;
        break;
      }
      default:
        // The view ended in front of the next frame: the bytes before it are more than last time.
        peekBytes_ = std::min(2 * std::max(peekBytes_, kMinViewBytes), kCacheBytes);
        break;
    }
  }
}

ReadOutcome DvAviReader::readFrame(dv::DvFrameInfo& info, StampedFileWriter* output, uint8_t* buffer,
                                   size_t& length, int frameIndex, MessageSink* log) {
  length = 0;
  if (!isOpen() || !validated_) {
    logError(kErrorFileNotValid);
    return ReadOutcome::ReadFailed;
  }
  if (randomAccess_) return readFrameAt(info, buffer, length, frameIndex, log);
  const ReadOutcome r = scanNext(info, output, buffer, length, log);
  if (r == ReadOutcome::Frame) lastRead_ = frameIndex;
  return r;
}

ReadOutcome DvAviReader::readFrameAt(dv::DvFrameInfo& info, uint8_t* buffer, size_t& length, int frameIndex,
                                     MessageSink* log) {
  if (!indexLoaded_) loadIndex();
  const size_t n = frameIndex < 0 ? 0 : static_cast<size_t>(frameIndex);
  if (n < known_.size()) {
    const int64_t at = known_[n];
    pos_ = at;
    const ReadOutcome r = scanNext(info, nullptr, buffer, length, log);
    if (r == ReadOutcome::Frame && currentFramePos_ == at) {
      lastRead_ = static_cast<int>(n);
      return r;
    }
    if (r != ReadOutcome::Frame && r != ReadOutcome::End) return r;
    // A wrong index entry: forget the index and count frames by scanning from the start.
    known_.clear();
    indexUsable_ = false;
  }
  // Scan on from the last frame whose position is known (it is read again to step past it).
  // Frames beyond an index of the first RIFF part only are counted on from its last entry.
  pos_ = known_.empty() ? static_cast<int64_t>(header_.size()) : known_.back();
  for (;;) {
    const ReadOutcome r = scanNext(info, nullptr, buffer, length, log);
    if (r != ReadOutcome::Frame) return r;
    if (known_.empty() || currentFramePos_ > known_.back()) known_.push_back(currentFramePos_);
    if (known_.size() > n) {
      lastRead_ = static_cast<int>(n);
      return r;
    }
  }
}

CopyOutcome DvAviReader::copyRemainder(StampedFileWriter& output) {
  const CopyOutcome copied = copyRange(pos_, fileSize_, &output);
  if (copied == CopyOutcome::Copied) pos_ = fileSize_;
  return copied;
}

void DvAviReader::loadIndex() {
  indexLoaded_ = true;
  std::vector<int64_t> positions;
  if (loadSuperIndex(positions) || loadLegacyIndex(positions)) {
    known_ = std::move(positions);
    indexUsable_ = true;
  }
}

// OpenDML: the video stream's super index in the header lists standard index chunks (`ix##`),
// which list the frames of each RIFF part relative to a 64-bit base offset.
bool DvAviReader::loadSuperIndex(std::vector<int64_t>& positions) {
  positions.clear();
  const uint8_t* h = header_.data();
  const size_t n = header_.size();
  // Every DV frame takes at least this much of the file, which bounds how many entries are real.
  const int64_t maxFrames = fileSize_ / 120000 + 1;
  for (size_t o = 12; o + 32 <= n; o += kScanStep) {
    if (lowerFourcc(h + o) != kIndx) continue;
    const uint32_t size = readLe32(h + o + 4);
    const uint16_t longsPerEntry = readLe16(h + o + 8);
    const uint8_t indexType = h[o + 11];
    const uint32_t chunkId = lowerFourcc(h + o + 16);
    if (longsPerEntry != 4 || indexType != 0 || !isVideoChunk(chunkId) || size < 24) continue;
    const size_t available = std::min<size_t>(size - 24, n - (o + 32)) / 16;
    const size_t entries = std::min<size_t>(readLe32(h + o + 12), available);
    if (entries == 0) return false;
    int64_t last = -1;
    for (size_t e = 0; e < entries; ++e) {
      const uint8_t* entry = h + o + 32 + 16 * e;
      const uint64_t at = readLe64(entry);
      if (at > static_cast<uint64_t>(fileSize_) || static_cast<int64_t>(at) + 32 > fileSize_) return false;
      uint8_t ix[32];
      size_t got = 0;
      if (readBytes(static_cast<int64_t>(at), ix, sizeof ix, got) != 0 || got != sizeof ix) return false;
      const uint32_t ixSize = readLe32(ix + 4);
      if (lowerAscii(ix[0]) != 'i' || lowerAscii(ix[1]) != 'x' || readLe16(ix + 8) != 2 || ix[11] != 1 ||
          lowerFourcc(ix + 16) != chunkId || ixSize < 24 ||
          static_cast<int64_t>(at) + 8 + static_cast<int64_t>(ixSize) > fileSize_) {
        return false;
      }
      const uint32_t count = readLe32(ix + 12);
      const uint64_t base = readLe64(ix + 20);
      if (count > (ixSize - 24) / 8 || static_cast<int64_t>(positions.size() + count) > maxFrames) return false;
      std::vector<uint8_t> table(static_cast<size_t>(count) * 8);
      if (readBytes(static_cast<int64_t>(at) + 32, table.data(), table.size(), got) != 0 || got != table.size()) {
        return false;
      }
      for (uint32_t k = 0; k < count; ++k) {
        const uint64_t data = base + readLe32(&table[8 * k]);
        const uint32_t chunkSize = readLe32(&table[8 * k + 4]) & 0x7FFFFFFFu;
        if (data < 8 || data > static_cast<uint64_t>(fileSize_)) return false;
        const int64_t chunk = static_cast<int64_t>(data) - 8;
        if (chunk <= last || chunk + 8 + static_cast<int64_t>(chunkSize) > fileSize_) return false;
        positions.push_back(chunk);
        last = chunk;
      }
    }
    return !positions.empty();
  }
  return false;
}

// The legacy index behind the first movie list: 16-byte entries whose offsets count from the
// `movi` identifier (most writers) or from the start of the file (some).
bool DvAviReader::loadLegacyIndex(std::vector<int64_t>& positions) {
  positions.clear();
  const size_t m = header_.size();
  if (m < 12 || lowerFourcc(&header_[m - 12]) != kList) return false;
  const int64_t moviId = static_cast<int64_t>(m) - 4;
  const uint32_t listSize = readLe32(&header_[m - 8]);
  const int64_t at = static_cast<int64_t>(m) - 12 + 8 + listSize + (listSize & 1);
  uint8_t head[8];
  size_t got = 0;
  if (at + 8 > fileSize_ || readBytes(at, head, sizeof head, got) != 0 || got != sizeof head) return false;
  if (lowerFourcc(head) != kIdx1) return false;
  const int64_t size = readLe32(head + 4);
  if (at + 8 + size > fileSize_) return false;
  const int64_t maxFrames = fileSize_ / 120000 + 1;
  int64_t base = -1;
  int64_t last = -1;
  std::vector<uint8_t> block(16 * 4096);
  for (int64_t done = 0; done + 16 <= size;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>((size - done) / 16 * 16, block.size()));
    if (readBytes(at + 8 + done, block.data(), want, got) != 0 || got != want) return false;
    for (size_t e = 0; e + 16 <= want; e += 16) {
      const uint8_t* entry = &block[e];
      if (!isVideoChunk(lowerFourcc(entry))) continue;
      const int64_t offset = readLe32(entry + 8);
      if (base < 0) {
        // Whichever reading puts the first entry on a chunk of its own id.
        for (int64_t candidate : {moviId, int64_t{0}}) {
          uint8_t id[4];
          size_t idGot = 0;
          if (candidate + offset + 8 <= fileSize_ && readBytes(candidate + offset, id, 4, idGot) == 0 && idGot == 4 &&
              lowerFourcc(id) == lowerFourcc(entry)) {
            base = candidate;
            break;
          }
        }
        if (base < 0) return false;
      }
      const int64_t chunk = base + offset;
      if (chunk <= last || chunk + 8 > fileSize_ || static_cast<int64_t>(positions.size()) >= maxFrames) return false;
      positions.push_back(chunk);
      last = chunk;
    }
    done += static_cast<int64_t>(want);
  }
  return !positions.empty();
}

}  // namespace kelo::container

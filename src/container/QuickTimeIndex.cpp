#include "container/QuickTimeIndex.h"

#include <algorithm>
#include <cstring>

#include "container/ByteOrder.h"
#include "dv/DifLayout.h"

namespace kelo::container {

namespace {

using Outcome = QuickTimeOutcome;

// A DV frame holds at least one DIF sequence; smaller samples cannot be DV, and the bound keeps
// a constant-size table of a hostile file from asking for more entries than the file could hold.
constexpr uint32_t kMinSampleBytes = dv::kSequenceBytes;
// Tables are read whole; anything larger than this is not the index of a real recording.
constexpr int64_t kMaxTableBytes = int64_t{256} << 20;
// Boxes a single container may list before the file counts as damaged.
constexpr int kMaxBoxesPerLevel = 1 << 16;

bool typeIs(const char type[4], const char* code) { return std::memcmp(type, code, 4) == 0; }

struct Box {
  char type[4] = {};
  int64_t payload = 0;  // first byte after the header
  int64_t end = 0;
  int64_t payloadBytes() const { return end - payload; }
};

struct SampleTables {
  std::vector<uint8_t> stsd, stsz, stsc, stco;
  bool co64 = false;
  bool seenStco = false;
};

struct TrackFacts {
  uint32_t trackId = 0;
  uint32_t timeScale = 0;
  SampleTables tables;
  std::vector<uint8_t> dref;  // where the media is: this file or others
  bool hasStbl = false;
  bool hasDinf = false;
};

class Reader {
 public:
  explicit Reader(ByteSource& source) : src_(source), fileSize_(std::max<int64_t>(source.size(), 0)) {}

  QuickTimeIndex run();

 private:
  // Reads the box header at `at`; the box must end by `limit`. Top-level overruns mean the file
  // was cut short, nested ones that the parent's size and the child's disagree.
  bool header(int64_t at, int64_t limit, bool top, Box& box);
  // Calls `visit(child)` for every child of `parent`; bytes too few for a header at the end of a
  // container are ignored (QuickTime lists may end in a 32-bit zero).
  template <typename Visit>
  bool children(const Box& parent, Visit&& visit);
  bool load(const Box& box, std::vector<uint8_t>& out);
  bool readField(const Box& box, int64_t at, uint8_t* dst, size_t n);
  bool fail(Outcome o) {
    if (outcome_ == Outcome::Ok) outcome_ = o;
    return false;
  }

  bool readTrack(const Box& trak, TrackFacts& facts);
  bool buildSamples(const SampleTables& t, uint64_t descriptions, QuickTimeIndex& index);

  ByteSource& src_;
  int64_t fileSize_;
  Outcome outcome_ = Outcome::Ok;
  struct Range {
    int64_t begin, end;
  };
  std::vector<Range> mdats_;
};

bool Reader::header(int64_t at, int64_t limit, bool top, Box& box) {
  const Outcome overrun = top ? Outcome::Truncated : Outcome::BoxOutsideFile;
  uint8_t h[16];
  if (limit - at < 8) return fail(overrun);
  if (!src_.readAt(at, h, 8)) return fail(Outcome::ReadFailed);
  std::memcpy(box.type, h + 4, 4);
  const uint32_t size32 = readBe32(h);
  uint64_t size = size32;
  box.payload = at + 8;
  if (size32 == 1) {
    if (limit - at < 16) return fail(overrun);
    if (!src_.readAt(at + 8, h + 8, 8)) return fail(Outcome::ReadFailed);
    size = readBe64(h + 8);
    box.payload = at + 16;
    if (size < 16) return fail(Outcome::BadBox);
  } else if (size32 == 0) {
    size = static_cast<uint64_t>(limit - at);  // runs to the end of what holds it
  } else if (size32 < 8) {
    return fail(Outcome::BadBox);
  }
  if (size > static_cast<uint64_t>(limit - at)) return fail(overrun);
  box.end = at + static_cast<int64_t>(size);
  return true;
}

template <typename Visit>
bool Reader::children(const Box& parent, Visit&& visit) {
  int count = 0;
  for (int64_t at = parent.payload; parent.end - at >= 8;) {
    if (++count > kMaxBoxesPerLevel) return fail(Outcome::BadBox);
    Box child;
    if (!header(at, parent.end, false, child) || !visit(child)) return false;
    at = child.end;
  }
  return true;
}

bool Reader::load(const Box& box, std::vector<uint8_t>& out) {
  if (box.payloadBytes() > kMaxTableBytes) return fail(Outcome::TablesDisagree);
  out.resize(static_cast<size_t>(box.payloadBytes()));
  return src_.readAt(box.payload, out.data(), out.size()) || fail(Outcome::ReadFailed);
}

// A fixed field of a header box (`tkhd`, `mdhd`); a box too short for it is damaged.
bool Reader::readField(const Box& box, int64_t at, uint8_t* dst, size_t n) {
  if (box.payloadBytes() < at + static_cast<int64_t>(n)) return fail(Outcome::BadBox);
  return src_.readAt(box.payload + at, dst, n) || fail(Outcome::ReadFailed);
}

bool Reader::readTrack(const Box& trak, TrackFacts& facts) {
  // Each box on the way to the sample tables may appear once.
  bool seenMdia = false, seenMinf = false;
  auto once = [this](bool& seen) {
    if (seen) return fail(Outcome::TablesDisagree);
    return seen = true;
  };
  auto versioned = [this](const Box& box, int64_t at0, int64_t at1, uint32_t& value) {
    uint8_t v[4];
    if (!readField(box, 0, v, 1)) return false;
    if (!readField(box, v[0] == 1 ? at1 : at0, v, 4)) return false;
    value = readBe32(v);
    return true;
  };
  auto stbl = [&](const Box& b) {
    SampleTables& t = facts.tables;
    if (typeIs(b.type, "stsd")) return t.stsd.empty() ? load(b, t.stsd) : fail(Outcome::TablesDisagree);
    if (typeIs(b.type, "stsz")) return t.stsz.empty() ? load(b, t.stsz) : fail(Outcome::TablesDisagree);
    if (typeIs(b.type, "stsc")) return t.stsc.empty() ? load(b, t.stsc) : fail(Outcome::TablesDisagree);
    if (typeIs(b.type, "stco") || typeIs(b.type, "co64")) {
      if (t.seenStco) return fail(Outcome::TablesDisagree);
      t.seenStco = true;
      t.co64 = typeIs(b.type, "co64");
      return load(b, t.stco);
    }
    return true;
  };
  auto dinf = [&](const Box& b) {
    if (!typeIs(b.type, "dref")) return true;
    return facts.dref.empty() ? load(b, facts.dref) : fail(Outcome::TablesDisagree);
  };
  auto minf = [&](const Box& b) {
    if (typeIs(b.type, "dinf")) return once(facts.hasDinf) && children(b, dinf);
    if (!typeIs(b.type, "stbl")) return true;
    return once(facts.hasStbl) && children(b, stbl);
  };
  auto mdia = [&](const Box& b) {
    if (typeIs(b.type, "mdhd")) return versioned(b, 12, 20, facts.timeScale);
    if (typeIs(b.type, "minf")) return once(seenMinf) && children(b, minf);
    return true;
  };
  return children(trak, [&](const Box& b) {
    if (typeIs(b.type, "tkhd")) return versioned(b, 12, 20, facts.trackId);
    if (typeIs(b.type, "mdia")) return once(seenMdia) && children(b, mdia);
    return true;
  });
}

bool Reader::buildSamples(const SampleTables& t, uint64_t descriptions, QuickTimeIndex& index) {
  const std::vector<uint8_t>& sz = t.stsz;
  const std::vector<uint8_t>& sc = t.stsc;
  const std::vector<uint8_t>& co = t.stco;
  if (!t.seenStco || sz.size() < 12 || sc.size() < 8 || co.size() < 8) return fail(Outcome::TablesDisagree);

  const uint32_t constantSize = readBe32(sz.data() + 4);
  const uint64_t total = readBe32(sz.data() + 8);
  if (constantSize == 0 && total > (sz.size() - 12) / 4) return fail(Outcome::TablesDisagree);
  auto sampleSize = [&](uint64_t n) {
    return constantSize != 0 ? constantSize : readBe32(sz.data() + 12 + 4 * n);
  };

  const uint64_t runs = readBe32(sc.data() + 4);
  if (runs > (sc.size() - 8) / 12) return fail(Outcome::TablesDisagree);
  const uint64_t chunks = readBe32(co.data() + 4);
  if (chunks > (co.size() - 8) / (t.co64 ? 8 : 4)) return fail(Outcome::TablesDisagree);
  if (chunks > 0 && runs == 0) return fail(Outcome::TablesDisagree);
  // Runs start at chunk 1 and go up strictly, each naming one of the track's descriptions; runs
  // beyond the last chunk are harmless.
  for (uint64_t r = 0; r < runs; ++r) {
    const uint8_t* e = sc.data() + 8 + 12 * r;
    const uint32_t first = readBe32(e);
    const uint32_t description = readBe32(e + 8);
    if (r == 0 ? first != 1 : first <= readBe32(e - 12)) return fail(Outcome::TablesDisagree);
    if (description == 0 || description > descriptions) return fail(Outcome::TablesDisagree);
  }

  uint64_t run = 0;  // the run the last chunk asked about belongs to; chunks are asked in order
  auto samplesInChunk = [&](uint64_t chunk) {
    while (run + 1 < runs && readBe32(sc.data() + 8 + 12 * (run + 1)) <= chunk) ++run;
    return readBe32(sc.data() + 8 + 12 * run + 4);
  };
  uint64_t listed = 0;
  for (uint64_t chunk = 1; chunk <= chunks && listed <= total; ++chunk) listed += samplesInChunk(chunk);
  if (listed != total) return fail(Outcome::TablesDisagree);
  if (constantSize != 0 && constantSize < kMinSampleBytes) return fail(Outcome::TablesDisagree);
  // Samples must fit side by side in the media data; checked before the list is allocated.
  uint64_t mdatBytes = 0;
  for (const Range& r : mdats_) mdatBytes += static_cast<uint64_t>(r.end - r.begin);
  if (total > mdatBytes / std::max(constantSize, kMinSampleBytes)) return fail(Outcome::ChunkOutsideMdat);

  index.samples.reserve(static_cast<size_t>(total));
  run = 0;
  uint64_t n = 0;
  for (uint64_t chunk = 1; chunk <= chunks; ++chunk) {
    const uint32_t perChunk = samplesInChunk(chunk);
    const uint8_t* entry = co.data() + 8 + (t.co64 ? 8 : 4) * (chunk - 1);
    uint64_t offset = t.co64 ? readBe64(entry) : readBe32(entry);
    for (uint32_t k = 0; k < perChunk; ++k, ++n) {
      const uint32_t size = sampleSize(n);
      if (size < kMinSampleBytes) return fail(Outcome::TablesDisagree);
      if (offset > static_cast<uint64_t>(fileSize_) || size > static_cast<uint64_t>(fileSize_) - offset)
        return fail(Outcome::ChunkOutsideMdat);
      index.samples.push_back({static_cast<int64_t>(offset), size});
      offset += size;
    }
  }

  std::sort(index.samples.begin(), index.samples.end(),
            [](const QuickTimeSample& a, const QuickTimeSample& b) { return a.offset < b.offset; });
  size_t m = 0;  // media data boxes are in file order, like the sorted samples
  for (size_t i = 0; i < index.samples.size(); ++i) {
    const QuickTimeSample& s = index.samples[i];
    const int64_t end = s.offset + s.size;
    while (m < mdats_.size() && mdats_[m].end <= s.offset) ++m;
    if (m == mdats_.size() || s.offset < mdats_[m].begin || end > mdats_[m].end) return fail(Outcome::ChunkOutsideMdat);
    if (i > 0 && s.offset < index.samples[i - 1].offset + index.samples[i - 1].size)
      return fail(Outcome::SamplesOverlap);
  }
  return true;
}

enum class TrackKind { Other, Stampable, Refused, External };

// Whether data reference `n` (from 1) says the media is in this file. Without a `dref` box there is
// nowhere else the media could be.
bool inThisFile(const std::vector<uint8_t>& dref, uint32_t n) {
  if (dref.empty()) return true;
  if (dref.size() < 8 || n == 0 || n > readBe32(dref.data() + 4)) return false;
  size_t at = 8;
  for (uint32_t i = 1;; ++i) {
    if (dref.size() - at < 12) return false;
    const uint32_t size = readBe32(dref.data() + at);
    if (size < 12 || size > dref.size() - at) return false;
    if (i == n) return (readBe32(dref.data() + at + 8) & 1) != 0;
    at += size;
  }
}

// Classifies a track by its sample descriptions: DV when the first one is; every description of a
// DV track must be one Kelo stamps, with its media in this file (not a reference movie's).
// `code` gets the first DV code, or the refused one.
bool classify(const std::vector<uint8_t>& stsd, const std::vector<uint8_t>& dref, TrackKind& kind, std::string& code,
              uint64_t& entries) {
  kind = TrackKind::Other;
  if (stsd.size() < 8) return stsd.empty();
  entries = readBe32(stsd.data() + 4);
  size_t at = 8;
  for (uint64_t i = 0; i < entries; ++i) {
    if (stsd.size() - at < 8) return false;
    const uint32_t size = readBe32(stsd.data() + at);
    if (size < 8 || size > stsd.size() - at) return false;
    const char* c = reinterpret_cast<const char*>(stsd.data() + at + 4);
    if (i == 0 && !isStampableDvEntry(c) && !isOtherDvEntry(c)) return true;
    if (!isStampableDvEntry(c)) {
      kind = TrackKind::Refused;
      code.assign(c, 4);
      return true;
    }
    if (i == 0) code.assign(c, 4);
    if (size < 16) return false;
    if (!inThisFile(dref, readBe16(stsd.data() + at + 14))) {
      kind = TrackKind::External;
      return true;
    }
    at += size;
  }
  if (entries > 0) kind = TrackKind::Stampable;
  return true;
}

QuickTimeIndex Reader::run() {
  QuickTimeIndex index;
  bool sawMoov = false, sawQuickTime = false;
  Box moov;
  int count = 0;
  for (int64_t at = 0; at < fileSize_;) {
    Box box;
    if (at == 0) {
      // The first box decides whether this is QuickTime at all, before its size is trusted.
      uint8_t h[8];
      if (fileSize_ < 8) return index;
      if (!src_.readAt(0, h, 8)) {
        index.outcome = Outcome::ReadFailed;
        return index;
      }
      static const char* const kFirst[] = {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot", "uuid"};
      const char* type = reinterpret_cast<const char*>(h + 4);
      if (std::none_of(std::begin(kFirst), std::end(kFirst), [&](const char* k) { return typeIs(type, k); }))
        return index;
    }
    if (++count > kMaxBoxesPerLevel) fail(Outcome::BadBox);
    if (outcome_ != Outcome::Ok || !header(at, fileSize_, true, box)) break;
    if (typeIs(box.type, "ftyp")) sawQuickTime = true;
    if (typeIs(box.type, "mdat")) {
      sawQuickTime = true;
      mdats_.push_back({box.payload, box.end});
    }
    if (typeIs(box.type, "moov")) {
      if (sawMoov) fail(Outcome::TablesDisagree);
      sawMoov = true;
      moov = box;
    }
    at = box.end;
  }
  if (outcome_ == Outcome::Ok && !sawMoov) outcome_ = sawQuickTime ? Outcome::Truncated : Outcome::NotQuickTime;

  std::string refused;
  if (outcome_ == Outcome::Ok) {
    bool found = false;
    children(moov, [&](const Box& b) {
      if (found || !typeIs(b.type, "trak")) return true;
      TrackFacts facts;
      if (!readTrack(b, facts)) return false;
      TrackKind kind;
      std::string code;
      uint64_t entries = 0;
      if (!classify(facts.tables.stsd, facts.dref, kind, code, entries)) return fail(Outcome::TablesDisagree);
      if (kind == TrackKind::External) return fail(Outcome::ExternalMedia);
      if (kind == TrackKind::Refused && refused.empty()) refused = code;
      if (kind != TrackKind::Stampable) return true;
      found = true;
      index.sampleEntry = code;
      index.trackId = facts.trackId;
      index.timeScale = facts.timeScale;
      return buildSamples(facts.tables, entries, index);
    });
    if (outcome_ == Outcome::Ok && !found) {
      outcome_ = refused.empty() ? Outcome::NoDvTrack : Outcome::UnsupportedVariant;
      index.sampleEntry = refused;
    }
  }
  index.outcome = outcome_;
  if (outcome_ != Outcome::Ok) index.samples.clear();
  return index;
}

// One line per refusal: %s is the file, a second %s the refused sample-entry code.
struct OutcomeMessage {
  Outcome outcome;
  const char* pattern;
};
constexpr OutcomeMessage kMessages[] = {
    {Outcome::ReadFailed, "***错误: 读 %s 时出错。"},
    {Outcome::NotQuickTime, "***错误: %s 不是 QuickTime 文件。"},
    {Outcome::Truncated, "***错误: %s 不完整，QuickTime 文件被截断了。"},
    {Outcome::BadBox, "***错误: %s 不是有效 QuickTime 文件，有大小错误的盒子。"},
    {Outcome::BoxOutsideFile, "***错误: %s 不是有效 QuickTime 文件，有盒子超出了它所在的范围。"},
    {Outcome::NoDvTrack, "***错误: %s 里没有 DV 视频轨。"},
    {Outcome::UnsupportedVariant, "***错误: %s 的视频是 DV 变体 '%s'，不能加码。"},
    {Outcome::TablesDisagree, "***错误: %s 的帧索引表缺失、有误或互相矛盾。"},
    {Outcome::ChunkOutsideMdat, "***错误: %s 的帧索引指向媒体数据 (mdat) 以外。"},
    {Outcome::SamplesOverlap, "***错误: %s 的帧索引里有互相重叠的帧。"},
    {Outcome::ExternalMedia, "***错误: %s 是参考影片，视频帧在别的文件里。"},
};

// File names and codes from the file may hold control characters; the message stays one line.
std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

}  // namespace

bool isStampableDvEntry(const char code[4]) {
  return typeIs(code, "dvc ") || typeIs(code, "dvcp") || typeIs(code, "dvpp");
}

bool isOtherDvEntry(const char code[4]) {
  return typeIs(code, "dv5n") || typeIs(code, "dv5p") || std::memcmp(code, "dvh", 3) == 0;
}

QuickTimeIndex readQuickTimeIndex(ByteSource& source) { return Reader(source).run(); }

std::string quickTimeMessage(const QuickTimeIndex& index, const std::string& path) {
  for (const OutcomeMessage& m : kMessages) {
    if (m.outcome != index.outcome) continue;
    std::string out = m.pattern;
    const size_t first = out.find("%s");
    out.replace(first, 2, printable(path));
    const size_t second = out.find("%s", first + path.size());
    if (second != std::string::npos) out.replace(second, 2, printable(index.sampleEntry));
    return out;
  }
  return {};
}

}  // namespace kelo::container

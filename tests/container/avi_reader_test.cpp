// DvAviReader on files written by the test fixture: every layout quirk, random access, bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "render/TimeFormatTraits.h"
#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "container/RiffChunks.h"
#include "container/DvAviReader.h"
#include "container/StampedFileWriter.h"
#include "support/AviFixture.h"
#include "support/TestUtil.h"

namespace kelo::container {
namespace {

using test::AviFixtureOptions;
using test::TempDir;

struct Scan {
  bool valid = false;              // opened and its header accepted
  ReadOutcome result = ReadOutcome::ReadFailed;  // last readFrame result
  std::vector<int64_t> positions;  // chunk offsets of the frames found
  std::vector<int> timecodes;      // their timecode frame numbers
  std::vector<size_t> lengths;
  std::vector<std::string> log;
  const dv::VideoProfile* profile = nullptr;
};

Scan scanFile(const std::string& path) {
  Scan s;
  DvAviReader reader;
  MessageList log;
  if (reader.open(path) != 0 || reader.validateHeader(nullptr, &log) != HeaderOutcome::Valid) {
    s.log = log.lines;
    return s;
  }
  s.valid = true;
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  dv::DvFrameInfo info;
  size_t length = 0;
  int i = 0;
  while ((s.result = reader.readFrame(info, nullptr, buffer.data(), length, i, &log)) == ReadOutcome::Frame) {
    s.positions.push_back(reader.currentFramePosition());
    s.timecodes.push_back(test::timecodeFrameNumber(buffer.data() + 8, length - 8));
    s.lengths.push_back(length);
    ++i;
  }
  s.profile = info.profile;
  s.log = log.lines;
  return s;
}

// One frame read in random-access mode from a freshly opened reader.
struct RandomRead {
  int setup = -1;      // open and header validation: 0 when both succeeded
  ReadOutcome result = ReadOutcome::ReadFailed;
  int timecode = -1;   // timecode frame number of the frame found
  int indexed = -2;    // indexedFrameCount() afterwards
};

RandomRead readFrameAt(const std::string& path, int n) {
  RandomRead r;
  DvAviReader reader;
  if (reader.open(path) != 0) return r;
  reader.setRandomAccess(true);
  if (reader.validateHeader(nullptr, nullptr) != HeaderOutcome::Valid) return r;
  r.setup = 0;
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  dv::DvFrameInfo info;
  size_t length = 0;
  r.result = reader.readFrame(info, nullptr, buffer.data(), length, n, nullptr);
  if (r.result == ReadOutcome::Frame) r.timecode = test::timecodeFrameNumber(buffer.data() + 8, length - 8);
  r.indexed = reader.indexedFrameCount();
  return r;
}

std::vector<int> upTo(int n) {
  std::vector<int> v;
  for (int i = 0; i < n; ++i) v.push_back(i);
  return v;
}

class AviReaderLayouts : public ::testing::Test {
 protected:
  // Writes the fixture, scans it, and checks that every frame was found where the fixture put
  // it and that a copy through reader and writer is byte-identical.
  Scan roundTrip(const AviFixtureOptions& options, const dv::VideoProfile& profile = test::palProfile(), int count = 5) {
    const std::string in = dir_.file("in.avi");
    EXPECT_EQ(0, test::writeAviFixture(in, test::syntheticFrames(profile, count), options));
    const std::vector<int64_t> expected = test::lastFixtureFramePositions();
    Scan s = scanFile(in);
    EXPECT_EQ(ReadOutcome::End, s.result);
    EXPECT_EQ(expected, s.positions);
    EXPECT_EQ(upTo(count), s.timecodes);
    EXPECT_EQ(&profile, s.profile);
    int frames = 0;
    const std::string before = test::sha256File(in);
    EXPECT_EQ(0, test::copyThroughReader(in, dir_.file("out.avi"), &frames));
    EXPECT_EQ(count, frames);
    EXPECT_EQ(before, test::sha256File(dir_.file("out.avi")));
    EXPECT_EQ(before, test::sha256File(in));
    return s;
  }
  TempDir dir_;
};

TEST_F(AviReaderLayouts, TypeTwoBothSystems) {
  AviFixtureOptions o;
  Scan pal = roundTrip(o, test::palProfile());
  EXPECT_EQ(std::vector<size_t>(5, 144008), pal.lengths);
  EXPECT_EQ("    type II DV AVI 格式", pal.log.at(0));
  o.audioBytes = 6400;
  Scan ntsc = roundTrip(o, test::ntscProfile(), 7);
  EXPECT_EQ(std::vector<size_t>(7, 120008), ntsc.lengths);
}

TEST_F(AviReaderLayouts, TypeOnePaddedAndUnpadded) {
  AviFixtureOptions o;
  o.type = 1;
  o.pad512 = true;
  Scan padded = roundTrip(o, test::palProfile());
  // Padded: the chunk is returned up to the 512-byte boundary.
  EXPECT_EQ(std::vector<size_t>(5, 144384), padded.lengths);
  EXPECT_EQ("    type I DV AVI 格式", padded.log.at(0));
  Scan paddedNtsc = roundTrip(o, test::ntscProfile());
  EXPECT_EQ(std::vector<size_t>(5, 120320), paddedNtsc.lengths);
  // Unpadded (as dvgrab writes): the frame is followed directly by the next chunk, and the last
  // one, though the read span reaches past the end of the file, is found too.
  o.pad512 = false;
  Scan plain = roundTrip(o, test::palProfile());
  EXPECT_EQ(std::vector<size_t>(5, 144008), plain.lengths);
  o.idx1 = false;
  roundTrip(o, test::ntscProfile(), 3);
}

TEST_F(AviReaderLayouts, OddJunkRecListsUpperCaseNoIndex) {
  AviFixtureOptions o;
  o.oddJunkEvery = 2;
  roundTrip(o);
  o.oddJunkEvery = 1;
  o.audioBytes = 7686;  // a size that is not a multiple of 4 before every frame
  roundTrip(o);
  o = {};
  o.recLists = true;
  roundTrip(o);
  o = {};
  o.upperCase = true;
  o.handler = "DSVD";
  roundTrip(o);
  o = {};
  o.idx1 = false;
  roundTrip(o);
  o.type = 1;
  o.oddJunkEvery = 3;
  roundTrip(o);
}

TEST_F(AviReaderLayouts, OpenDmlPartsAndIndexes) {
  AviFixtureOptions o;
  o.openDml = true;
  o.framesPerRiff = 2;
  roundTrip(o, test::palProfile(), 5);
  o.type = 1;
  roundTrip(o, test::ntscProfile(), 5);
}

// The idx1 entries of a type I OpenDML file carry the frame id. With the JUNK padding of a frame of
// the next RIFF part exactly one read span behind an entry, that entry once passed for a frame (no
// date) and hid a real one. A JUNK chunk in front of the next part's first frame moves that frame
// across every 8-byte alignment; 280 bytes puts the last entry's follower on the padding.
TEST_F(AviReaderLayouts, IndexEntriesAreNeverFramesWhateverTheAlignment) {
  AviFixtureOptions o;
  o.type = 1;
  o.pad512 = true;
  o.openDml = true;
  o.framesPerRiff = 2;
  for (uint64_t junk = 216; junk <= 344; junk += 8) {
    SCOPED_TRACE(junk);
    o.sparse = {{2, junk}};
    roundTrip(o, test::palProfile(), 4);
  }
  o.sparse = {};
  o.pad512 = false;
  roundTrip(o, test::ntscProfile(), 4);
  o.type = 2;
  roundTrip(o, test::palProfile(), 4);
}

// Past the first frames, frames are read straight into the caller's buffer and only the bytes in
// front of them through small cache reads: each layout over enough frames that most go that way,
// with gaps longer than a cache read (a large JUNK chunk) and index chunks on the way.
TEST_F(AviReaderLayouts, FramesReadStraightIntoTheBufferInEveryLayout) {
  std::vector<AviFixtureOptions> layouts(9);
  layouts[1].type = 1;
  layouts[1].pad512 = true;
  layouts[2].type = 1;
  layouts[3].audioBytes = 0;
  layouts[4].oddJunkEvery = 1;
  layouts[4].audioBytes = 7686;
  layouts[5].recLists = true;
  layouts[6].openDml = true;
  layouts[6].framesPerRiff = 3;
  layouts[7].type = 1;
  layouts[7].openDml = true;
  layouts[7].framesPerRiff = 4;
  layouts[8].sparse = {{6, 9000}, {9, 700000}};
  for (size_t k = 0; k < layouts.size(); ++k) {
    SCOPED_TRACE(k);
    roundTrip(layouts[k], test::palProfile(), 12);
  }
}

TEST_F(AviReaderLayouts, AudioSpellingChunkIdsIsNotAFrame) {
  AviFixtureOptions o;
  o.audioText = "00dc";
  roundTrip(o);
  o.audioText = "x00dcix00JUNK";
  o.openDml = true;
  roundTrip(o);
}

TEST_F(AviReaderLayouts, TrailingBytesAreTheIndexChunk) {
  const std::string in = dir_.file("in.avi");
  ASSERT_EQ(0, test::writeAviFixture(in, test::syntheticFrames(test::palProfile(), 3), {}));
  DvAviReader reader;
  ASSERT_EQ(0, reader.open(in));
  ASSERT_EQ(HeaderOutcome::Valid, reader.validateHeader(nullptr, nullptr));
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  dv::DvFrameInfo info;
  size_t length = 0;
  ReadOutcome r;
  int i = 0;
  while ((r = reader.readFrame(info, nullptr, buffer.data(), length, i++, nullptr)) == ReadOutcome::Frame) {
  }
  ASSERT_EQ(ReadOutcome::End, r);
  // Audio chunk of the last frame, then idx1 with 6 entries.
  ASSERT_EQ(8u + 7680u + 8u + 6u * 16u, length);
  EXPECT_TRUE(isFourcc(buffer.data() + 8 + 7680, "idx1"));
  EXPECT_EQ(reader.fileSize(), reader.position());
}

// --- random access ---

class AviRandomAccess : public ::testing::Test {
 protected:
  void expectFrames(const std::string& path, const std::vector<int>& order, int expectIndexed) {
    DvAviReader reader;
    ASSERT_EQ(0, reader.open(path));
    reader.setRandomAccess(true);
    ASSERT_EQ(HeaderOutcome::Valid, reader.validateHeader(nullptr, nullptr));
    std::vector<uint8_t> buffer(kFrameBufferBytes);
    dv::DvFrameInfo info;
    for (int n : order) {
      size_t length = 0;
      ASSERT_EQ(ReadOutcome::Frame, reader.readFrame(info, nullptr, buffer.data(), length, n, nullptr)) << "frame " << n;
      EXPECT_EQ(n, test::timecodeFrameNumber(buffer.data() + 8, length - 8)) << "frame " << n;
      EXPECT_EQ(n, reader.lastFrameIndexRead());
    }
    EXPECT_EQ(expectIndexed, reader.indexedFrameCount());
    size_t length = 0;
    EXPECT_EQ(ReadOutcome::End, reader.readFrame(info, nullptr, buffer.data(), length, 1000, nullptr));
  }
  const std::vector<int> order_{7, 0, 9, 9, 3, 4, 1, 8};
  TempDir dir_;
};

TEST_F(AviRandomAccess, FromLegacyIndexOpenDmlIndexOrScanning) {
  const auto frames = test::syntheticFrames(test::palProfile(), 10);
  AviFixtureOptions o;
  const std::string path = dir_.file("a.avi");
  ASSERT_EQ(0, test::writeAviFixture(path, frames, o));
  expectFrames(path, order_, 10);
  o.idx1Absolute = true;
  ASSERT_EQ(0, test::writeAviFixture(path, frames, o));
  expectFrames(path, order_, 10);
  o = {};
  o.idx1 = false;
  ASSERT_EQ(0, test::writeAviFixture(path, frames, o));
  expectFrames(path, order_, -1);
  o.type = 1;
  ASSERT_EQ(0, test::writeAviFixture(path, frames, o));
  expectFrames(path, order_, -1);
  // OpenDML: the super index lists every part; idx1 only the first.
  o = {};
  o.openDml = true;
  o.framesPerRiff = 3;
  ASSERT_EQ(0, test::writeAviFixture(path, frames, o));
  expectFrames(path, order_, 10);
  o.openDml = false;
  ASSERT_EQ(0, test::writeAviFixture(path, frames, o));
  expectFrames(path, order_, 10);
}

TEST_F(AviRandomAccess, WrongIndexFallsBackToScanning) {
  const auto frames = test::syntheticFrames(test::ntscProfile(), 10);
  AviFixtureOptions o;
  o.idx1Shift = 2;  // every entry two bytes off
  o.audioBytes = 6400;
  const std::string path = dir_.file("a.avi");
  ASSERT_EQ(0, test::writeAviFixture(path, frames, o));
  expectFrames(path, order_, -1);
  o.idx1Shift = 144008 + 8 + 6400;  // every entry one frame late: checked only when used
  ASSERT_EQ(0, test::writeAviFixture(path, frames, o));
  {
    // The last entry points at the idx1 chunk: found wrong, the reader scans instead.
    const RandomRead r = readFrameAt(path, 9);
    ASSERT_EQ(0, r.setup);
    ASSERT_EQ(ReadOutcome::Frame, r.result);
    EXPECT_EQ(9, r.timecode);
    EXPECT_EQ(-1, r.indexed);
  }
  o = {};
  o.openDml = true;
  o.idx1 = false;
  o.superIndexShift = -8;
  ASSERT_EQ(0, test::writeAviFixture(path, frames, o));
  expectFrames(path, order_, -1);
}

// Six frames in two OpenDML parts, the last ones past 4 GiB behind sparse JUNK chunks (no disk
// used); returns their positions.
std::vector<int64_t> writeBeyondFourGiB(const std::string& path) {
  AviFixtureOptions o;
  o.openDml = true;
  o.framesPerRiff = 3;
  o.idx1 = false;
  o.sparse = {{1, 0xF0000000ull}, {4, 0x40000000ull}};
  EXPECT_EQ(0, test::writeAviFixture(path, test::syntheticFrames(test::palProfile(), 6), o));
  std::vector<int64_t> positions = test::lastFixtureFramePositions();
  EXPECT_GT(positions.back(), int64_t{1} << 32);
  return positions;
}

TEST_F(AviRandomAccess, FramesBeyondFourGiB) {
  // The OpenDML index takes the reader there without reading the holes.
  const std::string path = dir_.file("big.avi");
  writeBeyondFourGiB(path);
  expectFrames(path, {5, 0, 4, 2, 3, 1}, 6);
}

TEST(AviSequentialLarge, ScanFindsEveryFrameBeyondFourGiB) {
  // A sequential scan reads through the holes (zeros) and must find the frames behind them at
  // their 64-bit offsets.
  test::TempDir dir;
  const std::string path = dir.file("big.avi");
  const std::vector<int64_t> expected = writeBeyondFourGiB(path);
  const Scan s = scanFile(path);
  EXPECT_EQ(ReadOutcome::End, s.result);
  EXPECT_EQ(expected, s.positions);
  EXPECT_EQ(upTo(6), s.timecodes);
}

// --- header validation and bad input ---

class AviBadInput : public ::testing::Test {
 protected:
  // Validation result and log of a file holding `bytes`.
  std::pair<HeaderOutcome, std::vector<std::string>> validate(const std::vector<uint8_t>& bytes) {
    const std::string path = dir_.file("bad.avi");
    EXPECT_TRUE(test::writeFile(path, bytes));
    DvAviReader reader;
    MessageList log;
    EXPECT_EQ(0, reader.open(path));
    const HeaderOutcome r = reader.validateHeader(nullptr, &log);
    return {r, log.lines};
  }
  std::vector<uint8_t> goodFile(int frames = 3, AviFixtureOptions o = {}) {
    const std::string path = dir_.file("good.avi");
    EXPECT_EQ(0, test::writeAviFixture(path, test::syntheticFrames(test::palProfile(), frames), o));
    return test::readFile(path);
  }
  // A three-frame OpenDML file without idx1 whose first ix00 chunk claims the size `claim` makes of
  // its own.
  template <typename Claim>
  std::vector<uint8_t> fileWithIndexSize(Claim claim) {
    AviFixtureOptions o;
    o.openDml = true;
    o.idx1 = false;
    std::vector<uint8_t> bytes = goodFile(3, o);
    for (size_t i = 12; i + 8 <= bytes.size(); i += 2) {
      if (std::memcmp(&bytes[i], "ix00", 4) == 0) {
        writeLe32(&bytes[i + 4], claim(readLe32(&bytes[i + 4])));
        break;
      }
    }
    return bytes;
  }
  TempDir dir_;
};

TEST_F(AviBadInput, SizeCheckAtExactlyTheHeaderRead) {
  std::vector<uint8_t> bytes = goodFile(1);
  bytes.resize(kHeaderBytes);
  EXPECT_EQ(HeaderOutcome::Valid, validate(bytes).first);
  bytes.resize(kHeaderBytes - 1);
  auto [r, log] = validate(bytes);
  EXPECT_EQ(HeaderOutcome::Invalid, r);
  EXPECT_EQ(std::vector<std::string>{"***错误：此文件太小，不可能是 DV AVI 文件。"}, log);
  EXPECT_EQ(HeaderOutcome::Invalid, validate({}).first);
}

TEST_F(AviBadInput, MessagesForWrongHeaders) {
  std::vector<uint8_t> bytes = goodFile(1);
  std::vector<uint8_t> notRiff = bytes;
  std::memcpy(notRiff.data(), "RIFX", 4);
  EXPECT_EQ((std::vector<std::string>{"***错误: 此文件不是 DV AVI 文件。"}), validate(notRiff).second);
  std::vector<uint8_t> wav = bytes;
  std::memcpy(wav.data() + 8, "WAVE", 4);
  EXPECT_EQ(HeaderOutcome::Invalid, validate(wav).first);

  // The video stream header with another codec: no DV stream header at all.
  std::vector<uint8_t> mjpeg = bytes;
  for (size_t i = 0; i + 4 <= mjpeg.size(); ++i) {
    if (std::memcmp(&mjpeg[i], "dvsd", 4) == 0) std::memcpy(&mjpeg[i], "MJPG", 4);
  }
  EXPECT_EQ((std::vector<std::string>{"***错误: 此文件不是有效 DV AVI 文件。"}), validate(mjpeg).second);

  // No movie list behind the stream header.
  for (int type : {2, 1}) {
    AviFixtureOptions o;
    o.type = type;
    std::vector<uint8_t> noMovi = goodFile(2, o);
    for (size_t i = 0; i + 4 <= noMovi.size(); ++i) {
      if (std::memcmp(&noMovi[i], "movi", 4) == 0) std::memcpy(&noMovi[i], "mova", 4);
    }
    auto [r, log] = validate(noMovi);
    EXPECT_EQ(HeaderOutcome::Invalid, r);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(o.type == 1 ? "***错误: 此文件不是有效 type I DV AVI 文件。" : "***错误: 此文件不是有效 type II DV AVI 文件。",
              log[1]);
  }
}

TEST_F(AviBadInput, StreamHeaderOfAnotherHandlerIsSkipped) {
  // A first `vids` stream of another codec, then the DV one: the DV stream header wins.
  std::vector<uint8_t> bytes = goodFile(2);
  const uint8_t fake[] = {'s', 't', 'r', 'h', 56, 0, 0, 0, 'v', 'i', 'd', 's', 'M', 'J', 'P', 'G'};
  // Overwrite the first bytes of the `JUNK`-free avih payload region: avih sits at 24, 56 bytes.
  std::memcpy(&bytes[32], fake, sizeof fake);
  auto [r, log] = validate(bytes);
  EXPECT_EQ(HeaderOutcome::Valid, r);
}

TEST_F(AviBadInput, TruncatedAnywhereNeverLoopsOrCrashes) {
  const std::vector<uint8_t> bytes = goodFile(4);
  const std::vector<int64_t> frames = test::lastFixtureFramePositions();
  // Cut inside the header, inside `movi` before the first frame, inside each frame, inside audio.
  std::vector<size_t> cuts{100, kHeaderBytes + 10, static_cast<size_t>(frames[0]) + 4};
  for (int64_t f : frames) {
    cuts.push_back(static_cast<size_t>(f) + 1000);
    cuts.push_back(static_cast<size_t>(f) + 144008 + 20);
  }
  for (size_t cut : cuts) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(cut, bytes.size())));
    const std::string path = dir_.file("cut.avi");
    ASSERT_TRUE(test::writeFile(path, part));
    Scan s = scanFile(path);
    if (cut < kHeaderBytes) {
      EXPECT_FALSE(s.valid);
      continue;
    }
    EXPECT_EQ(ReadOutcome::End, s.result) << "cut " << cut;
    // Only whole frames are returned, and a copy still reproduces the file.
    for (int64_t p : s.positions) EXPECT_LE(p + 144008, static_cast<int64_t>(cut));
    EXPECT_EQ(0, test::copyThroughReader(path, dir_.file("copy.avi")));
    EXPECT_EQ(test::sha256File(path), test::sha256File(dir_.file("copy.avi")));
  }
}

TEST_F(AviBadInput, IndexSizesPastTheEndAreNotTrusted) {
  // The ix00 chunk claims 16 MiB: stepping over it would skip every frame.
  const std::vector<uint8_t> bytes = fileWithIndexSize([](uint32_t) { return 0x00FFFFF0u; });
  const std::string path = dir_.file("size.avi");
  ASSERT_TRUE(test::writeFile(path, bytes));
  Scan s = scanFile(path);
  EXPECT_EQ(ReadOutcome::End, s.result);
  EXPECT_EQ(3u, s.positions.size());
  // Random access: the super index now points at an index that reaches past the file.
  const RandomRead r = readFrameAt(path, 2);
  ASSERT_EQ(0, r.setup);
  ASSERT_EQ(ReadOutcome::Frame, r.result);
  EXPECT_EQ(2, r.timecode);
  EXPECT_EQ(-1, r.indexed);
}

TEST_F(AviBadInput, IndexSizeNotFollowedByAChunkIsNotTrusted) {
  // 16 bytes too long: the claimed end lies inside the first frame's DV data.
  const std::vector<uint8_t> bytes = fileWithIndexSize([](uint32_t size) { return size + 16; });
  const std::string path = dir_.file("size.avi");
  ASSERT_TRUE(test::writeFile(path, bytes));
  Scan s = scanFile(path);
  EXPECT_EQ(ReadOutcome::End, s.result);
  EXPECT_EQ(upTo(3), s.timecodes);
}

TEST_F(AviBadInput, MovieListWithoutFrames) {
  std::vector<uint8_t> bytes = goodFile(2);
  // Damage every DIF header block: no chunk passes as a frame.
  for (int64_t f : test::lastFixtureFramePositions()) bytes[static_cast<size_t>(f) + 8] = 0xFF;
  const std::string path = dir_.file("noframes.avi");
  ASSERT_TRUE(test::writeFile(path, bytes));
  Scan s = scanFile(path);
  EXPECT_EQ(ReadOutcome::End, s.result);
  EXPECT_TRUE(s.positions.empty());
  EXPECT_EQ(0, test::copyThroughReader(path, dir_.file("copy.avi")));
  EXPECT_EQ(test::sha256File(path), test::sha256File(dir_.file("copy.avi")));
}

// A device that fails past a byte: the frames before it are read, then the read fails with its
// message, never as the end of the file, wherever the failing byte lies (in a frame, in the audio
// behind it, in the frame chunk's header).
TEST_F(AviBadInput, ReadErrorInTheMiddleIsAFailureNotTheEnd) {
  class FailingSource final : public ByteSource {
   public:
    FailingSource(std::vector<uint8_t> bytes, int64_t failAt) : bytes_(std::move(bytes)), failAt_(failAt) {}
    int64_t size() const override { return static_cast<int64_t>(bytes_.size()); }
    bool readAt(int64_t offset, uint8_t* dst, size_t n) override {
      if (offset + static_cast<int64_t>(n) > failAt_) return false;
      return MemoryByteSource(bytes_.data(), bytes_.size()).readAt(offset, dst, n);
    }

   private:
    std::vector<uint8_t> bytes_;
    int64_t failAt_;
  };
  const std::vector<uint8_t> file = goodFile(12);
  const std::vector<int64_t> frames = test::lastFixtureFramePositions();
  for (const int64_t failAt : {frames[7] + 70000, frames[7] + 144010, frames[8] + 4}) {
    SCOPED_TRACE(failAt);
    DvAviReader reader;
    reader.attach(std::make_unique<FailingSource>(file, failAt), "device.avi");
    MessageList log;
    ASSERT_EQ(HeaderOutcome::Valid, reader.validateHeader(nullptr, &log));
    std::vector<uint8_t> buffer(kFrameBufferBytes);
    dv::DvFrameInfo info;
    size_t length = 0;
    int i = 0;
    ReadOutcome r;
    while ((r = reader.readFrame(info, nullptr, buffer.data(), length, i, &log)) == ReadOutcome::Frame) ++i;
    EXPECT_EQ(ReadOutcome::ReadFailed, r);
    EXPECT_LE(i, 8);
    EXPECT_EQ(kMsgReadFailed, log.last(""));
  }
}

TEST_F(AviBadInput, ClosedReaderReportsNotValid) {
  DvAviReader reader;
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  dv::DvFrameInfo info;
  size_t length = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadOutcome::ReadFailed, reader.readFrame(info, nullptr, buffer.data(), length, 0, nullptr));
  EXPECT_EQ(ENOENT, reader.open(dir_.file("missing.avi")));
  EXPECT_EQ("ERROR: file is not valid.\nERROR: can not open file.\n", testing::internal::GetCapturedStderr());
}

TEST_F(AviBadInput, AReopenedReaderReadsTheNewFileNotTheOldOnesBytes) {
  // Two files of one size and layout, frames in opposite orders: nothing of the first may be served
  // from what the reader kept of it.
  std::vector<std::vector<uint8_t>> frames = test::syntheticFrames(test::palProfile(), 4);
  ASSERT_EQ(0, test::writeAviFixture(dir_.file("a.avi"), frames, AviFixtureOptions{}));
  std::reverse(frames.begin(), frames.end());
  ASSERT_EQ(0, test::writeAviFixture(dir_.file("b.avi"), frames, AviFixtureOptions{}));
  DvAviReader reader;
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  for (const char* name : {"a.avi", "b.avi"}) {
    ASSERT_EQ(0, reader.open(dir_.file(name)));
    ASSERT_EQ(HeaderOutcome::Valid, reader.validateHeader(nullptr, nullptr));
    std::vector<int> timecodes;
    dv::DvFrameInfo info;
    size_t length = 0;
    for (int i = 0; reader.readFrame(info, nullptr, buffer.data(), length, i, nullptr) == ReadOutcome::Frame; ++i)
      timecodes.push_back(test::timecodeFrameNumber(buffer.data() + 8, length - 8));
    const std::vector<int> expected = name == std::string("a.avi") ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{3, 2, 1, 0};
    EXPECT_EQ(expected, timecodes) << name;
  }
}

// --- look-ahead ---

TEST(AviLookAhead, CountsFramesToTheNextSecond) {
  TempDir dir;
  // Recorded seconds: frames 0-3 in second 10, 4-35 in 11 (32 frames), 36-42 in 12.
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < 43; ++i) {
    const int second = i < 4 ? 10 : (i < 36 ? 11 : 12);
    frames.push_back(test::syntheticFrame(test::palProfile(), i, 2005, 3, 7, 12, 0, second));
  }
  const std::string path = dir.file("a.avi");
  ASSERT_EQ(0, test::writeAviFixture(path, frames, {}));
  DvAviReader reader;
  ASSERT_EQ(0, reader.open(path));
  ASSERT_EQ(HeaderOutcome::Valid, reader.validateHeader(nullptr, nullptr));
  const dv::DateTimeReadOptions options;
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  dv::DvFrameInfo info;
  size_t length = 0;
  std::vector<int> found;
  for (int i = 0; i < 43; ++i) {
    ASSERT_EQ(ReadOutcome::Frame, reader.readFrame(info, nullptr, buffer.data(), length, i, nullptr));
    ASSERT_EQ(0, dv::readRecordedDateTime(info, options, buffer.data() + 8, length - 8));
    const int64_t before = reader.position();
    found.push_back(reader.lookAheadToNextSecond(info, options));
    EXPECT_EQ(before, reader.position());
    EXPECT_EQ(i, test::timecodeFrameNumber(buffer.data() + 8, length - 8));  // own buffer untouched
  }
  EXPECT_EQ(4, found[0]);
  EXPECT_EQ(1, found[3]);   // the very next frame is in a new second
  EXPECT_EQ(0, found[4]);   // the next 30 frames share the second
  EXPECT_EQ(0, found[5]);
  EXPECT_EQ(30, found[6]);  // the 30th next frame is the first of a new second
  EXPECT_EQ(29, found[7]);
  EXPECT_EQ(7, found[36]);  // the file ends first: counted up to its end
}

}  // namespace
}  // namespace kelo::container

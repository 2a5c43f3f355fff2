// Marker list order rules, the marker side file and its name.
#include <gtest/gtest.h>

#include "engine/DvAviReader.h"
#include "engine/MarkerList.h"
#include "settings/StampSettings.h"
#include "support/AviFixture.h"
#include "support/TestUtil.h"

namespace kelo::engine {
namespace {

std::vector<Marker> all(const MarkerList& list) { return list.markers(); }

TEST(MarkerList, InsertKeepsFrameOrderEndBeforeStartNoDuplicates) {
  MarkerList a;
  a.insert(50, kStartMarker);
  a.insert(10, kEndMarker);
  a.insert(50, kEndMarker);
  a.insert(30, kStartMarker);
  a.insert(50, kStartMarker);
  a.insert(90, kEndMarker);
  EXPECT_EQ((std::vector<Marker>{{10, kEndMarker}, {30, kStartMarker}, {50, kEndMarker}, {50, kStartMarker}, {90, kEndMarker}}),
            all(a));
  MarkerList b;
  b.insert(50, kEndMarker);
  b.insert(50, kStartMarker);
  MarkerList c;
  c.insert(50, kStartMarker);
  c.insert(50, kEndMarker);
  EXPECT_EQ(all(b), all(c));
  EXPECT_EQ(kEndMarker, b.at(0)->kind);
  EXPECT_EQ(nullptr, b.at(2));
  EXPECT_EQ(nullptr, b.at(-1));
}

TEST(MarkerList, ToggleAndQueries) {
  settings::StampSettings s;
  MarkerList list;
  list.toggle(7, kStartMarker, s);
  EXPECT_TRUE(s.markersModified);
  list.toggle(7, kStartMarker, s);
  EXPECT_EQ(0, list.count());
  list.toggle(20, kStartMarker, s);
  list.toggle(40, kEndMarker, s);
  list.toggle(60, kStartMarker, s);
  EXPECT_EQ(20, list.nextStartAfter(-1));
  EXPECT_EQ(60, list.nextStartAfter(20));
  EXPECT_EQ(kNoMarker, list.nextStartAfter(60));
  EXPECT_EQ(40, list.nextEndAfter(0));
  EXPECT_EQ(kNoMarker, list.nextEndAfter(40));
  ASSERT_NE(nullptr, list.find(40, kEndMarker));
  EXPECT_EQ(nullptr, list.find(40, kStartMarker));
}

TEST(MarkerFile, RoundTripRecordsAndPartialRecord) {
  test::TempDir dir;
  const std::string path = dir.file("a.mrk");
  MarkerList list;
  list.insert(-3, kStartMarker);
  list.insert(0x01020304, kEndMarker);
  ASSERT_EQ(0, list.save(path));
  EXPECT_EQ((std::vector<uint8_t>{0xFD, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 4, 3, 2, 1, 1, 0, 0, 0}), test::readFile(path));
  // 20 bytes: two records and a partial one; file order is kept, not sorted.
  ASSERT_TRUE(test::writeFile(path, {9, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 5, 5, 5, 5}));
  MarkerList loaded;
  loaded.insert(1, kStartMarker);
  ASSERT_EQ(0, loaded.load(path));
  EXPECT_EQ((std::vector<Marker>{{1, kStartMarker}, {9, kEndMarker}, {2, kStartMarker}}), all(loaded));
  EXPECT_NE(0, loaded.load(dir.file("missing.mrk")));
  EXPECT_EQ(3, loaded.count());
}

TEST(MarkerFile, NameBesideTheVideo) {
  EXPECT_EQ("/v/Video/tape1.mrk", markerPathFor("/v/Video/Tape1.AVI"));
  EXPECT_EQ(markerPathFor("/v/Video/tape1.avi"), markerPathFor("/v/Video/TAPE1.Avi"));
  EXPECT_EQ("my.avi.copy.mrk", markerPathFor("My.avi.copy.avi"));
  EXPECT_EQ("/v/ÄRGER.dir/ärger.mrk", markerPathFor("/v/ÄRGER.dir/ÄRGER.AVI"));
  // Never the video itself.
  EXPECT_EQ("/v/clip.dv.mrk", markerPathFor("/v/clip.dv"));
}

TEST(MarkerFile, ReaderLoadsTheMarkersOfItsFile) {
  test::TempDir dir;
  const std::string video = dir.file("Clip.AVI");
  ASSERT_EQ(0, test::writeAviFixture(video, test::syntheticFrames(test::palProfile(), 2), {}));
  MarkerList list;
  list.insert(1, kStartMarker);
  ASSERT_EQ(0, list.save(dir.file("clip.mrk")));
  DvAviReader reader;
  ASSERT_EQ(0, reader.open(video));
  EXPECT_EQ(all(list), all(reader.markers()));
}

}  // namespace
}  // namespace kelo::engine

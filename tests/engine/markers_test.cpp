// Marker list order rules, the marker side file and its name.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dv/DifLayout.h"
#include "dv/SampleWriter.h"
#include "engine/PreviewPass.h"
#include "engine/MarkerList.h"
#include "platform/FileSystem.h"
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
  // Whatever the container, the extension is replaced; never the video itself.
  EXPECT_EQ("/v/clip.mrk", markerPathFor("/v/clip.dv"));
  EXPECT_EQ("/v/clip.mrk", markerPathFor("/v/Clip.MOV"));
  EXPECT_EQ("/v/clip.mrk", markerPathFor("/v/clip"));
  EXPECT_EQ("/v/.mrk.mrk", markerPathFor("/v/.mrk"));
}

// A file named the older way, every ".avi" of the lowered name replaced, is still found.
TEST(MarkerFile, OlderNameIsStillFound) {
  test::TempDir dir;
  const std::string video = dir.file("Clip.avi.AVI");
  EXPECT_EQ(dir.file("clip.avi.mrk"), markerPathFor(video));
  MarkerList list;
  list.insert(7, kStartMarker);
  ASSERT_EQ(0, list.save(dir.file("clip.mrk.mrk")));
  EXPECT_EQ(dir.file("clip.mrk.mrk"), markerPathFor(video));
  MarkerList loaded;
  ASSERT_EQ(0, loaded.load(markerPathFor(video)));
  EXPECT_EQ(all(list), all(loaded));
}

// Saving writes beside the file and renames: a full disk keeps the old markers, a link stays one.
TEST(MarkerFile, FailedSaveKeepsTheOldFileAndLinksStayLinks) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a tmpfs";
  test::TempDir dir;
  const std::string mountPoint = dir.file("small");
  ASSERT_EQ(0, platform::makeFolders(mountPoint));
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "mount failed";
  const std::string path = mountPoint + "/clip.mrk";
  MarkerList small;
  small.insert(1, kStartMarker);
  const int saved = small.save(path);
  // Fill the disk, then try to save many more markers.
  test::writeFile(mountPoint + "/filler", std::vector<uint8_t>(60 << 10, 1));
  MarkerList big;
  for (int i = 0; i < 4000; ++i) big.insert(i, kStartMarker);
  const int failed = big.save(path);
  const std::vector<uint8_t> after = test::readFile(path);
  const std::vector<std::string> names = test::listDir(mountPoint);
  ::umount(mountPoint.c_str());
  EXPECT_EQ(0, saved);
  EXPECT_NE(0, failed);
  EXPECT_EQ(8u, after.size());
  EXPECT_EQ((std::vector<std::string>{"clip.mrk", "filler"}), names);

  const std::string target = dir.file("real.mrk");
  ASSERT_EQ(0, small.save(target));
  ASSERT_EQ(0, ::symlink("real.mrk", dir.file("link.mrk").c_str()));
  ASSERT_EQ(0, big.save(dir.file("link.mrk")));
  struct stat st {};
  ASSERT_EQ(0, ::lstat(dir.file("link.mrk").c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(4000u * 8, test::readFile(target).size());
}

TEST(MarkerFile, PreviewLoadsTheMarkersOfARawStream) {
  test::TempDir dir;
  const std::string video = dir.file("Clip.DV");
  std::string error;
  ASSERT_EQ(0, dv::writeSampleStream(video, test::palProfile(), {}, 2, error)) << error;
  MarkerList list;
  list.insert(1, kStartMarker);
  ASSERT_EQ(0, list.save(dir.file("clip.mrk")));
  NullObserver quiet;
  PreviewPass pass(quiet);
  PreviewFrame frame;
  ASSERT_EQ(0, pass.preview(settings::StampSettings{}, video, 0, frame));
  ASSERT_NE(nullptr, pass.markers());
  EXPECT_EQ(all(list), all(*pass.markers()));
}

}  // namespace
}  // namespace kelo::engine

// Output names from the renaming pattern, the never-replacing rename, and file times.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/OutputNaming.h"
#include "container/StampedFileWriter.h"
#include "platform/FileSystem.h"
#include "settings/StampSettings.h"
#include "support/TestUtil.h"

namespace kelo::engine {
using namespace container;
namespace {

std::tm at(int year, int month, int day, int hours, int minutes, int seconds) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hours;
  t.tm_min = minutes;
  t.tm_sec = seconds;
  t.tm_isdst = -1;
  return t;
}

const std::tm kFirst = at(2005, 3, 7, 14, 5, 9);
const std::tm kLast = at(2005, 3, 7, 15, 30, 0);

TEST(OutputNaming, NamesAndPatternExpansion) {
  EXPECT_EQ("tmpKeloout.avi", outputName("/in/Trip.avi", true));
  EXPECT_EQ("Trip.avi", outputName("/in/Trip.avi", false));
  EXPECT_EQ("Trip-20050307140509-050307153000",
            expandNamePattern(settings::kDefaultOutputNamePattern, "/in/Trip.avi", kFirst, kLast));
  // "@F" brought in by the file name is expanded too; replacement is case-sensitive.
  EXPECT_EQ("x050307_@n", expandNamePattern(u"@N_@n", "/in/x@F.avi", kFirst, kLast));
  // Chinese file names lose four characters, not four bytes.
  EXPECT_EQ("旅行-1999", expandNamePattern(u"@N-19@L", "/in/旅行.AVI", kFirst, at(1999, 12, 31, 0, 0, 0)).substr(0, 11));
  // A separator in the pattern cannot move the output out of its folder.
  EXPECT_EQ(".._.._x", expandNamePattern(u"../../x", "/in/a.avi", kFirst, kLast));
}

// Writes `content` through the temporary output of `output` and gives it its final name.
FinalName stampAs(const std::string& output, bool rename, std::u16string_view pattern, const std::string& content,
                  std::string& finalPath, const std::string& input = "/in/Trip.avi") {
  StampedFileWriter writer;
  std::string temporary;
  EXPECT_EQ(OutputOpen::Opened, openTemporaryOutput(writer, output, rename, temporary));
  writer.write(content.data(), content.size());
  finalPath = output;
  return giveFinalName(writer, temporary, input, finalPath, rename, pattern, kFirst, kLast);
}

TEST(OutputNaming, TheOutputKeepsTheInputsExtension) {
  struct Case {
    const char* input;
    const char* temporary;
    const char* named;  // the default pattern expanded, the extension behind it
  };
  const Case cases[] = {
      {"/in/Trip.dv", "tmpKeloout.dv", "Trip-20050307140509-050307153000.dv"},
      {"/in/Trip.MOV", "tmpKeloout.MOV", "Trip-20050307140509-050307153000-1.MOV"},
      {"/in/tape", "tmpKeloout", "tape-20050307140509-050307153000"},
  };
  test::TempDir dir;
  ASSERT_TRUE(test::writeFile(dir.file("Trip-20050307140509-050307153000.MOV"), {1}));
  for (const Case& c : cases) {
    EXPECT_EQ(c.temporary, outputName(c.input, true));
    std::string path;
    ASSERT_EQ(RenameOutcome::Renamed,
              stampAs(dir.file(c.temporary), true, settings::kDefaultOutputNamePattern, "x", path, c.input).outcome);
    EXPECT_EQ(dir.file(c.named), path);
  }
}

TEST(OutputNaming, FinalNameNeverReplacesAFile) {
  test::TempDir dir;
  std::vector<std::string> finals;
  for (int i = 0; i < 3; ++i) {
    std::string path;
    const FinalName named =
        stampAs(dir.file("tmpKeloout.avi"), true, settings::kDefaultOutputNamePattern, std::string(1, 'a' + i), path);
    ASSERT_EQ(RenameOutcome::Renamed, named.outcome);
    EXPECT_FALSE(named.shortened);
    finals.push_back(path);
  }
  EXPECT_EQ(dir.file("Trip-20050307140509-050307153000.avi"), finals[0]);
  EXPECT_EQ(dir.file("Trip-20050307140509-050307153000-1.avi"), finals[1]);
  EXPECT_EQ(dir.file("Trip-20050307140509-050307153000-2.avi"), finals[2]);
  EXPECT_EQ(std::vector<uint8_t>{'a'}, test::readFile(finals[0]));
  EXPECT_EQ(std::vector<uint8_t>{'c'}, test::readFile(finals[2]));
  EXPECT_EQ(3u, test::listDir(dir.path()).size());

  // Without renaming the output replaces a file of its name, and only once it is complete.
  std::string path;
  ASSERT_EQ(RenameOutcome::Renamed, stampAs(finals[0], false, u"", "new", path).outcome);
  EXPECT_EQ(finals[0], path);
  EXPECT_EQ((std::vector<uint8_t>{'n', 'e', 'w'}), test::readFile(path));
  EXPECT_EQ(3u, test::listDir(dir.path()).size());
}

// A final name that cannot be made (a folder of that name) leaves the stamped file under the
// input's own name, numbered, never under a temporary name a later run would reuse.
TEST(OutputNaming, AnUnmakeableNameFallsBackToTheInputsName) {
  test::TempDir dir;
  ASSERT_EQ(0, platform::makeFolders(dir.file("Trip.avi")));
  std::string path;
  const FinalName named = stampAs(dir.file("Trip.avi"), false, u"", "x", path);
  EXPECT_EQ(RenameOutcome::RenamedOtherwise, named.outcome);
  EXPECT_EQ(dir.file("Trip-1.avi"), path);
  EXPECT_EQ((std::vector<std::string>{"Trip-1.avi", "Trip.avi"}), test::listDir(dir.path()));
}

TEST(OutputNaming, TemporaryNamesAreHeldExclusivelyAndDiscardedWhole) {
  test::TempDir dir;
  StampedFileWriter a, b, c;
  std::string ta, tb, tc;
  ASSERT_EQ(OutputOpen::Opened, openTemporaryOutput(a, dir.file("tmpKeloout.dv"), true, ta));
  ASSERT_EQ(OutputOpen::Opened, openTemporaryOutput(b, dir.file("tmpKeloout.dv"), true, tb));
  EXPECT_EQ(dir.file("tmpKeloout.dv"), ta);
  EXPECT_EQ(dir.file("tmpKeloout-1.dv"), tb);
  // One temporary per output without renaming: a second pass on the same output is refused.
  ASSERT_EQ(OutputOpen::Opened, openTemporaryOutput(c, dir.file("clip.avi"), false, tc));
  EXPECT_EQ(dir.file("tmpKeloout-clip.avi"), tc);
  StampedFileWriter d;
  std::string td;
  EXPECT_EQ(OutputOpen::InUse, openTemporaryOutput(d, dir.file("clip.avi"), false, td));
  EXPECT_EQ(OutputOpen::Failed, openTemporaryOutput(d, dir.file("no/clip.avi"), false, td));
  // A user's file of a temporary-looking name is passed over, never written.
  ASSERT_TRUE(test::writeFile(dir.file("tmpKeloout-2.dv"), {9}));
  StampedFileWriter e;
  std::string te;
  ASSERT_EQ(OutputOpen::Opened, openTemporaryOutput(e, dir.file("tmpKeloout.dv"), true, te));
  EXPECT_EQ(dir.file("tmpKeloout-3.dv"), te);
  discardTemporaryOutput(e, te);
  EXPECT_EQ(std::vector<uint8_t>{9}, test::readFile(dir.file("tmpKeloout-2.dv")));
  platform::removeFile(dir.file("tmpKeloout-2.dv"));
  for (auto [w, t] : {std::pair{&a, ta}, {&b, tb}, {&c, tc}}) discardTemporaryOutput(*w, t);
  EXPECT_TRUE(test::listDir(dir.path()).empty());
}

TEST(OutputNaming, OverlongNamesAreCutAtACharacterBoundary) {
  std::string stem = "ab" + std::string("旅");  // 2 + 3 bytes
  EXPECT_TRUE(fitName(stem, 4, 8));
  EXPECT_EQ("ab", stem);
  stem = "abc";
  EXPECT_FALSE(fitName(stem, 4, 8));

  test::TempDir dir;
  std::string path;
  const FinalName named = stampAs(dir.file("tmpKeloout.avi"), true, u"@N@N@N", "x", path,
                                  "/in/" + std::string(200, 'n') + ".avi");
  ASSERT_EQ(RenameOutcome::Renamed, named.outcome);
  EXPECT_TRUE(named.shortened);
  EXPECT_EQ(platform::fileNameOf(path), std::string(251, 'n') + ".avi");
}

int64_t modificationTime(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mtime;
}

TEST(FileTimes, ModificationTimeFromTheLastRecordedTime) {
  test::TempDir dir;
  const std::string path = dir.file("o.avi");
  StampedFileWriter writer;
  ASSERT_EQ(0, writer.open(path));
  writer.write("abc", 3);  // still buffered: must not touch the time set below
  ASSERT_EQ(0, setFileTimes(writer, kFirst, kLast, {false, true}));
  ASSERT_EQ(0, writer.close());
  std::tm local = kLast;
  EXPECT_EQ(static_cast<int64_t>(std::mktime(&local)), modificationTime(path));
  EXPECT_EQ(3u, test::readFile(path).size());

  // Without the option: the current time. Without a usable recorded time: untouched.
  ASSERT_EQ(0, writer.open(path));
  ASSERT_EQ(0, setFileTimes(writer, kFirst, kLast, {true, false}));
  writer.close();
  EXPECT_LE(std::llabs(modificationTime(path) - static_cast<int64_t>(std::time(nullptr))), 5);
  ASSERT_EQ(0, writer.open(path));
  ASSERT_EQ(0, setFileTimes(writer, std::tm{}, kLast, {true, true}));
  writer.close();
  EXPECT_GT(modificationTime(path), static_cast<int64_t>(std::time(nullptr)) - 60);
}

}  // namespace
}  // namespace kelo::engine

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
    std::string path = dir.file(c.temporary);
    StampedFileWriter writer;
    ASSERT_EQ(0, writer.open(path));
    ASSERT_EQ(0, finalName(writer, c.input, path, settings::kDefaultOutputNamePattern, kFirst, kLast));
    EXPECT_EQ(dir.file(c.named), path);
  }
}

TEST(OutputNaming, FinalNameNeverReplacesAFile) {
  test::TempDir dir;
  std::vector<std::string> finals;
  for (int i = 0; i < 3; ++i) {
    std::string path = dir.file("tmpKeloout.avi");
    StampedFileWriter writer;
    ASSERT_EQ(0, writer.open(path));
    const std::string content(1, static_cast<char>('a' + i));
    writer.write(content.data(), 1);
    ASSERT_EQ(0, finalName(writer, "/in/Trip.avi", path, settings::kDefaultOutputNamePattern, kFirst, kLast));
    finals.push_back(path);
    EXPECT_EQ(std::vector<uint8_t>{static_cast<uint8_t>('a' + i)}, test::readFile(path));
  }
  EXPECT_EQ(dir.file("Trip-20050307140509-050307153000.avi"), finals[0]);
  EXPECT_EQ(dir.file("Trip-20050307140509-050307153000-1.avi"), finals[1]);
  EXPECT_EQ(dir.file("Trip-20050307140509-050307153000-2.avi"), finals[2]);
  EXPECT_EQ(std::vector<uint8_t>{'a'}, test::readFile(finals[0]));
  EXPECT_FALSE(platform::fileExists(dir.file("tmpKeloout.avi")));
}

TEST(OutputNaming, FailedRenameKeepsTheTemporaryName) {
  test::TempDir dir;
  std::string path = dir.file("tmpKeloout.avi");
  StampedFileWriter writer;
  ASSERT_EQ(0, writer.open(path));
  // A name far beyond what the file system takes.
  const std::string input = "/in/" + std::string(200, 'n') + ".avi";
  EXPECT_NE(0, finalName(writer, input, path, u"@N@N@N", kFirst, kLast));
  EXPECT_EQ(dir.file("tmpKeloout.avi"), path);
  EXPECT_TRUE(platform::fileExists(path));
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

// The run log's lines, its UTF-16 file, and the observer that shows lines as they come.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/RunLog.h"
#include "engine/RunObserver.h"
#include "platform/FileSystem.h"
#include "support/TestUtil.h"

namespace kelo::engine {
namespace {

class ScopedTemp {
 public:
  explicit ScopedTemp(const std::string& value) {
    if (const char* old = std::getenv("TEMP")) old_ = old, had_ = true;
    ::setenv("TEMP", value.c_str(), 1);
  }
  ~ScopedTemp() {
    if (had_) ::setenv("TEMP", old_.c_str(), 1);
    else ::unsetenv("TEMP");
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(RunLogFile, EmptyLogIsJustTheByteOrderMark) {
  test::TempDir dir;
  ScopedTemp temp(dir.path());
  RunLog log;
  EXPECT_EQ(0, log.writeFile());
  EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFE}), test::readFile(dir.file("Kelo.log")));
}

TEST(RunLogFile, LinesAsUtf16WithLineFeedsAndReplacement) {
  test::TempDir dir;
  ScopedTemp temp(dir.path());
  RunLog log;
  log.add("\t日期: 2005-3-7");
  log.add("A\xF0\x9F\x8E\xA5");  // a character beyond the BMP: a surrogate pair
  ASSERT_EQ(0, log.writeFile());
  const std::vector<uint8_t> expected{0xFF, 0xFE, 0x09, 0x00, 0xE5, 0x65, 0x1F, 0x67, 0x3A, 0x00, 0x20, 0x00,
                                      '2',  0,    '0',  0,    '0',  0,    '5',  0,    '-',  0,    '3',  0,
                                      '-',  0,    '7',  0,    0x0A, 0x00, 'A',  0,    0x3C, 0xD8, 0xA5, 0xDF,
                                      0x0A, 0x00};
  EXPECT_EQ(expected, test::readFile(dir.file("Kelo.log")));
  RunLog shorter;
  shorter.add("x");
  ASSERT_EQ(0, shorter.writeFile());
  EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFE, 'x', 0, 0x0A, 0}), test::readFile(dir.file("Kelo.log")));
}

TEST(RunLogFile, MissingTempFolderWritesNothing) {
  test::TempDir dir;
  ScopedTemp temp(dir.file("missing"));
  RunLog log;
  log.add("x");
  EXPECT_NE(0, log.writeFile());
  EXPECT_FALSE(platform::fileExists(dir.file("missing")));
}

TEST(RunLogLines, ObserverSeesEveryLineInOrder) {
  struct Recorder : RunObserver {
    std::vector<std::string> seen;
    void logLine(const std::string& line) override { seen.push_back(line); }
    void progress(int, const std::string&) override {}
    void selectListItem(int) override {}
    void setRunning(bool) override {}
  } recorder;
  RunLog log(&recorder);
  log.add(formatMessage("需加码录像:  %s", "/a/b.avi"));
  log.add(formatMessage("总共给 %d 帧图像加了码。", 25));
  EXPECT_EQ((std::vector<std::string>{"需加码录像:  /a/b.avi", "总共给 25 帧图像加了码。"}), log.lines());
  EXPECT_EQ(log.lines(), recorder.seen);
  EXPECT_EQ(2u, log.size());
}

}  // namespace
}  // namespace kelo::engine

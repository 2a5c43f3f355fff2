// kelo-cli text: the texts of the default settings and of a project, the picture, bad input.
#include "support/TestUtil.h"

#include <gtest/gtest.h>

namespace kelo::test {
namespace {

TEST(TextCommand, DefaultAndProjectTexts) {
  const std::string cli = shellQuote(keloCli());
  CommandResult r = runCommand(cli + " text \"2003-06-22 21:50:38\"");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "2003年6月22日\n21:50:38\n");

  TempDir dir;
  const std::string project = shellQuote(dir.file("p.zev"));
  ASSERT_EQ(runCommand(cli + " project new " + project).exitCode, 0);
  ASSERT_EQ(runCommand(cli + " project set " + project + " language=0 dateCode.formatIndex=0 timeCode.formatIndex=11")
                .exitCode,
            0);
  r = runCommand(cli + " text --project " + project + " \"2003-06-22 21:50:38\" --frame 5");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "2003-06-22\\n9:50:38pm\n21:50:38.200\n");
  r = runCommand(cli + " text --project " + project + " \"2003-06-22 21:50:38\" --frame 29 --system ntsc");
  EXPECT_EQ(r.output, "2003-06-22\\n9:50:38pm\n21:50:38.967\n");
}

TEST(TextCommand, WritesBothRastersAsOnePicture) {
  TempDir dir;
  const std::string png = dir.file("t.png");
  const CommandResult r = runCommand(shellQuote(keloCli()) + " text \"2004-02-29 00:00:00\" --png " + shellQuote(png));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::vector<uint8_t> bytes = readFile(png);
  ASSERT_GT(bytes.size(), 100u);
  EXPECT_EQ(bytes[1], 'P');
  EXPECT_EQ(bytes[2], 'N');
  EXPECT_EQ(bytes[3], 'G');
}

TEST(TextCommand, RefusesBadInput) {
  const std::string cli = shellQuote(keloCli());
  for (const char* when : {"2003-02-29 10:00:00", "2003-06-22 24:00:00", "2003-06-22", "yesterday",
                           "2003-13-01 00:00:00", "2003-06-22 21:50:38x"}) {
    const CommandResult r = runCommand(cli + " text \"" + when + "\"");
    EXPECT_NE(r.exitCode, 0) << when;
    EXPECT_NE(r.output.find("error"), std::string::npos) << r.output;
  }
  EXPECT_NE(runCommand(cli + " text \"2003-06-22 21:50:38\" --frame 30").exitCode, 0);
  EXPECT_NE(runCommand(cli + " text --project /nonexistent/p.zev \"2003-06-22 21:50:38\"").exitCode, 0);
}

}  // namespace
}  // namespace kelo::test

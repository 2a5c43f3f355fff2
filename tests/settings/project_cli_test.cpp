// kelo-cli project new|show|set, run as a separate program.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "settings/SettingsFields.h"
#include "support/TestUtil.h"

namespace kelo::settings {
namespace {

using test::runCommand;
using test::shellQuote;

class ProjectCliTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string path = dir.file("p.zev");

  test::CommandResult project(const std::string& args) {
    return runCommand(shellQuote(test::keloCli()) + " project " + args);
  }
  nlohmann::json show() {
    const auto r = runCommand(shellQuote(test::keloCli()) + " project show " + shellQuote(path) + " 2>/dev/null");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return nlohmann::json::parse(r.output);
  }
};

TEST_F(ProjectCliTest, NewWritesDefaultsThatShowPrintsByName) {
  const auto r = project("new " + shellQuote(path));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(test::readFile(path).size(), 3340u);

  const nlohmann::json j = show();
  for (const FieldInfo& f : settingsFields()) {
    std::string pointer = "/" + f.name;
    for (char& c : pointer)
      if (c == '.') c = '/';
    EXPECT_TRUE(j.contains(nlohmann::json::json_pointer(pointer))) << f.name;
  }
  EXPECT_EQ(j["language"], 1);
  EXPECT_EQ(j["dateCode"]["corner"], 3);
  EXPECT_EQ(j["timeCode"]["corner"], 5);
  EXPECT_EQ(j["timeCode"]["font"]["lfFaceName"], "Arial");
  EXPECT_EQ(j["dateCode"]["font"]["lfHeight"], -29);
  EXPECT_EQ(j["outputNamePattern"], "@N-20@F@f-@L@l");
  ASSERT_EQ(j["customDateFormats"].size(), 4u);
  EXPECT_EQ(j["customDateFormats"][1], "%#x\\n%#I:%M:%S%p");
  EXPECT_EQ(j["customTimeFormat"], "%#H:%M:%S EST");
  EXPECT_EQ(j["outputFolder"], "");
}

TEST_F(ProjectCliTest, SetChangesFieldsByDottedName) {
  ASSERT_EQ(project("new " + shellQuote(path)).exitCode, 0);
  const auto r = project("set " + shellQuote(path) +
                         " language=0 dateCode.transparency=50 timeCode.font.lfFaceName='WenQuanYi Micro Hei'"
                         " outputFolder=/tmp/出力 customDateFormats.2=%d.%m.%Y timeCode.intervalMode=Periodic");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(test::readFile(path).size(), 3340u);
  const nlohmann::json j = show();
  EXPECT_EQ(j["language"], 0);
  EXPECT_EQ(j["dateCode"]["transparency"], 50);
  EXPECT_EQ(j["timeCode"]["transparency"], 0);
  EXPECT_EQ(j["timeCode"]["font"]["lfFaceName"], "WenQuanYi Micro Hei");
  EXPECT_EQ(j["outputFolder"], "/tmp/出力");
  EXPECT_EQ(j["customDateFormats"][2], "%d.%m.%Y");
  EXPECT_EQ(j["timeCode"]["intervalMode"], 3);
}

TEST_F(ProjectCliTest, AnyBadAssignmentLeavesTheFileByteIdentical) {
  ASSERT_EQ(project("new " + shellQuote(path)).exitCode, 0);
  const std::string before = test::sha256File(path);
  const char* bad[] = {
      "language=0 dateCode.transparency=91",
      "dateCode.transparency=50 nosuch.field=1",
      "dateCode.transparency",
      "=5",
      "timeCode.enabled=yes",
      "dateCode.intervalMode=BetweenMarkersZeroTime",
      "timeCode.periodLengthSeconds=60",
      "dateCode.intervalMode=1 dateCode.fadeOn=1 dateCode.fadeSeconds=2",
      "language=1 dateCode.formatIndex=5",
  };
  for (const char* args : bad) {
    const auto r = project("set " + shellQuote(path) + " " + args);
    EXPECT_NE(r.exitCode, 0) << args;
    EXPECT_NE(r.output.find("error: "), std::string::npos) << args;
    EXPECT_EQ(r.output.find('\n'), r.output.size() - 1) << "one line: " << r.output;
    EXPECT_EQ(test::sha256File(path), before) << args;
  }
}

TEST_F(ProjectCliTest, DamagedOrMissingFilesAreRefused) {
  test::writeFile(path, std::vector<uint8_t>(3340, 'x'));
  const std::string before = test::sha256File(path);
  auto r = project("show " + shellQuote(path));
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("打不开项目"), std::string::npos) << r.output;
  r = project("set " + shellQuote(path) + " language=0");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_EQ(test::sha256File(path), before);
  r = project("show " + shellQuote(dir.file("missing.zev")));
  EXPECT_NE(r.exitCode, 0);
}

}  // namespace
}  // namespace kelo::settings

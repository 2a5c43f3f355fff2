// Project and configuration files: the byte layout, the 2.0.0 reader, round trips, and refusal
// of damaged files without touching the settings in force.
#include "settings/ProjectFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <random>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "settings/ConfigFile.h"
#include "settings/SettingsFields.h"
#include "settings/StampSettings.h"
#include "support/TestUtil.h"

namespace kelo::settings {
namespace {

using Bytes = std::vector<uint8_t>;

// Independent little-endian access by the offsets of the file format.
int32_t le32(const Bytes& b, std::size_t at) {
  return static_cast<int32_t>(uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
                              uint32_t{b[at + 3]} << 24);
}
void put32(Bytes& b, std::size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}
std::u16string text16(const Bytes& b, std::size_t at, std::size_t units) {
  std::u16string s;
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t c = static_cast<char16_t>(b[at + 2 * i] | b[at + 2 * i + 1] << 8);
    if (c == 0) break;
    s += c;
  }
  return s;
}
void putText16(Bytes& b, std::size_t at, std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    b[at + 2 * i] = static_cast<uint8_t>(s[i]);
    b[at + 2 * i + 1] = static_cast<uint8_t>(s[i] >> 8);
  }
}

constexpr std::size_t kImage = 16;
constexpr std::size_t kDate = kImage + 1284;
constexpr std::size_t kTime = kImage + 1676;

// A 392-byte code block of a 2.0.0 file, filled by the offsets of the format.
void putCodeBlock200(Bytes& b, std::size_t at, bool date, int32_t corner, int32_t x, std::u16string_view face) {
  putText16(b, at + 0, date ? u"%Y" : u"%H");
  put32(b, at + 204, date ? 1 : 0);  // customHasTime
  put32(b, at + 208, 1);             // enabled
  put32(b, at + 216, 2);             // formatIndex
  put32(b, at + 220, corner);
  put32(b, at + 224, x);
  put32(b, at + 228, 40);
  put32(b, at + 232, -40);           // lfHeight
  put32(b, at + 248, 400);           // lfWeight
  b[at + 252] = 1;                   // lfItalic
  b[at + 259] = 0x22;                // lfPitchAndFamily
  putText16(b, at + 260, face);
  put32(b, at + 324, 300);
  put32(b, at + 328, 1);
  put32(b, at + 332, 200);
  put32(b, at + 336, -100);
  put32(b, at + 340, 30);
  put32(b, at + 344, date ? 2 : 6);
  put32(b, at + 348, 4);
  put32(b, at + 352, 10);
  put32(b, at + 356, 5);
  put32(b, at + 360, 7);
  put32(b, at + 364, 90);
  put32(b, at + 368, 6);
  put32(b, at + 372, 1);
  put32(b, at + 376, 2);
  put32(b, at + 380, 1);
  put32(b, at + 384, 9);
  put32(b, at + 388, date ? 1 : 0);
}

Bytes makeVersion200File() {
  Bytes b(3136, 0);
  const std::string magic = "Kelo-2.0.0";
  std::copy(magic.begin(), magic.end(), b.begin());
  put32(b, kImage + 0, 1);    // idle
  put32(b, kImage + 4, 0);    // language
  put32(b, kImage + 8, 2);    // previewSize
  put32(b, kImage + 12, -3);  // adjustYears
  put32(b, kImage + 32, 59);  // adjustSeconds
  put32(b, kImage + 40, 1);   // modificationTimeFromLastTimecode
  put32(b, kImage + 44, 0);   // markersInOneFile
  put32(b, kImage + 48, 1);   // tapeTimecodeAsTcb
  put32(b, kImage + 52, 1);   // safeArea
  putText16(b, kImage + 56, u"/videos/first.avi");
  putText16(b, kImage + 568, u"/projects/old.zev");
  putCodeBlock200(b, kImage + 1080, true, 0, 10, u"Liberation Serif");
  putCodeBlock200(b, kImage + 1472, false, 2, 20, u"DejaVu Sans");
  putText16(b, 1880, u"date list 0");
  putText16(b, 2080, u"date list 1");
  putText16(b, 2280, u"date list 2");
  putText16(b, 2480, u"date list 3");
  putText16(b, 2680, u"时间 %H");
  putText16(b, 2880, u"/media/输出");
  return b;
}

std::string u8(const std::u16string& s) { return platform::toUtf8(s); }

// Settings that differ from the defaults in every field the round trip must keep.
StampSettings everyFieldChanged(unsigned seed) {
  StampSettings s;
  std::mt19937 rng(seed);
  std::u16string msg;
  for (const FieldInfo& f : settingsFields()) {
    if (f.kind == FieldKind::Text) {
      std::u16string text;
      const std::size_t n = rng() % f.capacity;  // up to capacity - 1
      for (std::size_t i = 0; i < n; ++i) text += static_cast<char16_t>(0x4E00 + rng() % 500);
      EXPECT_EQ(setTextField(s, f.name, text, msg), 0) << f.name;
    } else {
      const int64_t span = int64_t{f.max} - f.min + 1;
      const auto v = static_cast<int32_t>(f.min + static_cast<int64_t>(rng() % span));
      EXPECT_EQ(setNumber(s, f.name, v, msg), 0) << f.name;
    }
  }
  // Restore what the cross-field rules fix.
  s.dateCode.isDateCode = true;
  s.timeCode.isDateCode = false;
  s.dateCode.formatIndex %= dateFormatListLength(s.language);
  if (s.dateCode.intervalMode == IntervalMode::BetweenMarkersZeroTime) s.dateCode.intervalMode = IntervalMode::Periodic;
  for (StampCodeSettings* c : {&s.dateCode, &s.timeCode})
    if (c->periodLengthSeconds >= c->periodSeconds) c->periodSeconds = c->periodLengthSeconds + 1;
  return s;
}

class ProjectFileTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string path = dir.file("p.zev");
  std::u16string msg;
};

TEST_F(ProjectFileTest, DefaultFileHasTheFormatLayout) {
  ASSERT_EQ(saveProjectFile(path, StampSettings{}, msg), SaveOutcome::Saved) << u8(msg);
  const Bytes b = test::readFile(path);
  ASSERT_EQ(b.size(), 3340u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 10), "Kelo-2.1.0");
  for (int i = 10; i < 16; ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(le32(b, kImage + 0), 1);    // idle
  EXPECT_EQ(le32(b, kImage + 4), 1);    // language
  EXPECT_EQ(text16(b, kImage + 48, 100), u"@N-20@F@f-@L@l");
  EXPECT_EQ(le32(b, kImage + 248), 1);  // markersInOneFile
  EXPECT_EQ(le32(b, kDate + 204), 1);   // customHasTime
  EXPECT_EQ(le32(b, kTime + 204), 0);
  EXPECT_EQ(le32(b, kDate + 220), 3);   // corner
  EXPECT_EQ(le32(b, kTime + 220), 5);
  EXPECT_EQ(le32(b, kDate + 232), -29);  // lfHeight
  EXPECT_EQ(le32(b, kDate + 248), 700);  // lfWeight
  EXPECT_EQ(b[kDate + 256], 3);          // lfOutPrecision
  EXPECT_EQ(b[kDate + 259], 0x12);       // lfPitchAndFamily
  EXPECT_EQ(text16(b, kDate + 260, 32), u"Arial");
  EXPECT_EQ(text16(b, kTime + 260, 32), u"Arial");
  EXPECT_EQ(le32(b, kDate + 324), 220);
  EXPECT_EQ(le32(b, kDate + 336), -220);
  EXPECT_EQ(le32(b, kDate + 364), 60);   // periodSeconds
  EXPECT_EQ(le32(b, kDate + 388), 1);    // isDateCode
  EXPECT_EQ(le32(b, kTime + 388), 0);
  EXPECT_EQ(text16(b, 2084, 100), u"%Y-%m-%d\\n%#I:%M:%S%p");
  EXPECT_EQ(text16(b, 2684, 100), u"%#x\\n%#I:%M:%S%p");
  EXPECT_EQ(text16(b, 2884, 100), u"%#H:%M:%S EST");
  EXPECT_EQ(text16(b, 3084, 128), u"");
}

TEST_F(ProjectFileTest, RoundTripKeepsEveryField) {
  for (unsigned seed = 1; seed <= 5; ++seed) {
    const StampSettings saved = everyFieldChanged(seed);
    ASSERT_EQ(saveProjectFile(path, saved, msg), SaveOutcome::Saved) << u8(msg);
    StampSettings loaded;
    ASSERT_EQ(loadProjectFile(path, loaded, msg), LoadOutcome::Loaded) << u8(msg);
    EXPECT_TRUE(loaded == saved) << "seed " << seed;
  }
}

TEST_F(ProjectFileTest, FormatBuffersTravelWholeButTheFolderTailDoesNot) {
  StampSettings s;
  setText(s.customDateFormats[1], u"%Y");
  s.customDateFormats[1][50] = u'z';  // left behind after the terminator by an older, longer text
  setText(s.outputFolder, u"/out");
  ASSERT_EQ(saveProjectFile(path, s, msg), SaveOutcome::Saved);
  const Bytes b = test::readFile(path);
  EXPECT_EQ(b[2284 + 100], 'z');
  StampSettings loaded;
  ASSERT_EQ(loadProjectFile(path, loaded, msg), LoadOutcome::Loaded);
  EXPECT_EQ(loaded.customDateFormats[1][50], u'z');
  EXPECT_EQ(textOf(loaded.outputFolder), u"/out");
}

TEST_F(ProjectFileTest, LoadingKeepsRunTimeFlags) {
  ASSERT_EQ(saveProjectFile(path, StampSettings{}, msg), SaveOutcome::Saved);
  StampSettings s;
  s.projectModified = true;
  s.markersModified = true;
  ASSERT_EQ(loadProjectFile(path, s, msg), LoadOutcome::Loaded);
  EXPECT_TRUE(s.projectModified);
  EXPECT_TRUE(s.markersModified);
}

TEST_F(ProjectFileTest, Version200FileLandsInItsNewPlaces) {
  ASSERT_TRUE(test::writeFile(path, makeVersion200File()));
  StampSettings s;
  s.renameOutput = true;
  setText(s.outputNamePattern, u"old pattern");
  ASSERT_EQ(loadProjectFile(path, s, msg), LoadOutcome::Loaded) << u8(msg);

  EXPECT_FALSE(s.renameOutput);
  EXPECT_EQ(textOf(s.outputNamePattern), u"@N-20@F@f-@L@l");
  EXPECT_EQ(s.language, 0);
  EXPECT_EQ(s.previewSize, PreviewSize::Size640x480);
  EXPECT_EQ(s.adjustYears, -3);
  EXPECT_EQ(s.adjustSeconds, 59);
  EXPECT_TRUE(s.modificationTimeFromLastTimecode);
  EXPECT_FALSE(s.markersInOneFile);
  EXPECT_TRUE(s.tapeTimecodeAsTcb);
  EXPECT_TRUE(s.safeArea);
  EXPECT_EQ(textOf(s.addFilesFolder), u"/videos/first.avi");
  EXPECT_EQ(textOf(s.projectPath), u"/projects/old.zev");
  EXPECT_EQ(s.dateCode.corner, CornerPreset::TopLeft);
  EXPECT_EQ(s.dateCode.x, 10);
  EXPECT_EQ(s.dateCode.intervalMode, IntervalMode::OnDateChange);
  EXPECT_EQ(textOf(s.dateCode.font.lfFaceName), u"Liberation Serif");
  EXPECT_EQ(s.dateCode.font.lfItalic, 1);
  EXPECT_EQ(s.dateCode.font.lfPitchAndFamily, 0x22);
  EXPECT_TRUE(s.dateCode.isDateCode);
  EXPECT_EQ(s.timeCode.corner, CornerPreset::TopRight);
  EXPECT_EQ(s.timeCode.x, 20);
  EXPECT_EQ(s.timeCode.intervalMode, IntervalMode::BetweenMarkersZeroTime);
  EXPECT_EQ(textOf(s.timeCode.font.lfFaceName), u"DejaVu Sans");
  EXPECT_EQ(s.timeCode.delaySeconds, 9);
  EXPECT_FALSE(s.timeCode.isDateCode);
  EXPECT_EQ(textOf(s.customDateFormats[0]), u"date list 0");
  EXPECT_EQ(textOf(s.customDateFormats[3]), u"date list 3");
  EXPECT_EQ(textOf(s.customTimeFormat), u"时间 %H");
  EXPECT_EQ(textOf(s.outputFolder), u"/media/输出");
}

TEST_F(ProjectFileTest, DamagedFilesAreRefusedAndChangeNothing) {
  ASSERT_EQ(saveProjectFile(path, StampSettings{}, msg), SaveOutcome::Saved);
  const Bytes good = test::readFile(path);
  const std::u16string p = platform::fromUtf8(path);

  struct Case {
    const char* what;
    Bytes bytes;
    std::u16string message;
  };
  std::vector<Case> cases;
  auto damaged = [&](const char* what, auto change, std::u16string detail) {
    Bytes b = good;
    change(b);
    cases.push_back({what, b, u"项目文件已损坏：" + p + u". " + detail});
  };
  {
    Bytes b = good;
    b[9] = '1';  // "Kelo-2.1.1"
    cases.push_back({"unknown magic", b, u"打不开项目：" + p + u"."});
  }
  cases.push_back({"empty", {}, u"打不开项目：" + p + u"."});
  cases.push_back({"magic only, cut", Bytes(good.begin(), good.begin() + 8), u"打不开项目：" + p + u"."});
  cases.push_back({"truncated", Bytes(good.begin(), good.end() - 1), u"项目文件不完整：" + p + u"."});
  cases.push_back({"header only", Bytes(good.begin(), good.begin() + 16), u"项目文件不完整：" + p + u"."});
  {
    Bytes b = makeVersion200File();
    b.resize(3000);
    cases.push_back({"truncated 2.0.0", b, u"项目文件不完整：" + p + u"."});
  }
  {
    Bytes b = good;
    b.push_back(0);
    cases.push_back({"over-long", b, u"项目文件大小不对：" + p + u"."});
  }
  {
    Bytes b = makeVersion200File();
    b.resize(3340);  // a 2.0.0 header on a 2.1.0-sized file
    cases.push_back({"2.0.0 over-long", b, u"项目文件大小不对：" + p + u"."});
  }
  damaged("pattern without terminator", [](Bytes& b) { putText16(b, kImage + 48, std::u16string(100, u'x')); },
          u"outputNamePattern 的文字没有结尾。");
  damaged("face without terminator", [](Bytes& b) { putText16(b, kTime + 260, std::u16string(32, u'F')); },
          u"timeCode.font.lfFaceName 的文字没有结尾。");
  damaged("custom format without terminator", [](Bytes& b) { putText16(b, 2884, std::u16string(100, u'%')); },
          u"customTimeFormat 的文字没有结尾。");
  damaged("folder without terminator", [](Bytes& b) { putText16(b, 3084, std::u16string(128, u'/')); },
          u"outputFolder 的文字没有结尾。");
  damaged("flag 2", [](Bytes& b) { put32(b, kDate + 208, 2); }, u"dateCode.enabled 的值 2 超出范围 0 … 1。");
  damaged("transparency", [](Bytes& b) { put32(b, kTime + 340, 95); }, u"timeCode.transparency 的值 95 超出范围 0 … 90。");
  damaged("corner", [](Bytes& b) { put32(b, kDate + 220, 6); }, u"dateCode.corner 的值 6 超出范围 0 … 5。");
  damaged("interval mode", [](Bytes& b) { put32(b, kTime + 344, -1); }, u"timeCode.intervalMode 的值 -1 超出范围 0 … 6。");
  damaged("language", [](Bytes& b) { put32(b, kImage + 4, 28); }, u"language 的值 28 超出范围 0 … 27。");
  damaged("huge seconds", [](Bytes& b) { put32(b, kDate + 348, 0x7FFFFFFF); },
          u"dateCode.sceneSeconds 的值 2147483647 超出范围 1 … 999999。");
  damaged("zero delay", [](Bytes& b) { put32(b, kDate + 384, 0); }, u"dateCode.delaySeconds 的值 0 超出范围 1 … 999999。");
  damaged("date list index", [](Bytes& b) { put32(b, kDate + 216, 5); }, u"dateCode.formatIndex 的值 5 超出范围 0 … 2。");
  damaged("time code claims date", [](Bytes& b) { put32(b, kTime + 388, 1); }, u"timeCode.isDateCode 的值 1 超出范围 0 … 0。");
  damaged("date code zero-time mode", [](Bytes& b) { put32(b, kDate + 344, 6); },
          u"dateCode.intervalMode 的值 6 超出范围 0 … 5。");
  damaged("period", [](Bytes& b) { put32(b, kDate + 360, 60); },
          u"dateCode.periodLengthSeconds：加码区间长度(60 秒)必须小于周期长度(60 秒)");

  StampSettings before;
  setText(before.projectPath, u"/keep/me.zev");
  before.dateCode.transparency = 40;
  setText(before.outputFolder, u"/keep/out");
  for (const Case& c : cases) {
    ASSERT_TRUE(test::writeFile(path, c.bytes));
    StampSettings s = before;
    msg.clear();
    EXPECT_EQ(loadProjectFile(path, s, msg), LoadOutcome::Refused) << c.what;
    EXPECT_EQ(msg, c.message) << c.what << ": " << u8(msg);
    EXPECT_TRUE(s == before) << c.what;

    // The from-bytes entry point agrees.
    StampSettings t = before;
    EXPECT_EQ(parseProjectFile(c.bytes, t, msg, p), LoadOutcome::Refused) << c.what;
    EXPECT_TRUE(t == before) << c.what;
  }
}

TEST_F(ProjectFileTest, MissingOrUnnamedFilesFailToOpen) {
  StampSettings s;
  const StampSettings before = s;
  EXPECT_EQ(loadProjectFile(dir.file("none.zev"), s, msg), LoadOutcome::CannotOpen);
  EXPECT_EQ(msg, platform::fromUtf8("打不开项目：" + dir.file("none.zev") + "."));
  EXPECT_EQ(loadProjectFile("", s, msg), LoadOutcome::CannotOpen);
  EXPECT_EQ(msg, u"打不开项目：.");
  EXPECT_EQ(loadProjectFile(dir.path(), s, msg), LoadOutcome::CannotOpen);
  EXPECT_TRUE(s == before);
}

TEST_F(ProjectFileTest, FailedSavesLeaveTheDiskAlone) {
  EXPECT_EQ(saveProjectFile("", StampSettings{}, msg), SaveOutcome::NoPath);
  EXPECT_EQ(msg, u"保存不了项目：.");

  const std::string inMissingFolder = dir.file("no/such/folder/p.zev");
  EXPECT_EQ(saveProjectFile(inMissingFolder, StampSettings{}, msg), SaveOutcome::WriteFailed);
  EXPECT_EQ(msg, platform::fromUtf8("保存不了项目：" + inMissingFolder + "."));
  EXPECT_FALSE(test::readFile(dir.file("no")).size());

  // A record that could not be read back is not written over a good file.
  ASSERT_EQ(saveProjectFile(path, StampSettings{}, msg), SaveOutcome::Saved);
  const std::string before = test::sha256File(path);
  StampSettings bad;
  bad.timeCode.transparency = 99;
  EXPECT_EQ(saveProjectFile(path, bad, msg), SaveOutcome::Refused);
  EXPECT_EQ(msg, platform::fromUtf8("保存不了项目：" + path + ". ") + u"timeCode.transparency 的值 99 超出范围 0 … 90。");
  EXPECT_EQ(test::sha256File(path), before);
  EXPECT_EQ(test::listDir(dir.path()), std::vector<std::string>{"p.zev"}) << "no file left beside it";
}

// Positions the program's own controls produce (x up to about 820 from the 640x480 preview, y past
// a 525/60 frame) are saved and loaded clamped into the frame; a whole session's settings are not
// refused for them.
TEST_F(ProjectFileTest, PositionsPastTheFrameAreClampedNotRefused) {
  StampSettings s;
  s.dateCode.x = 821;
  s.dateCode.y = 600;
  s.timeCode.x = -3;
  ASSERT_EQ(saveProjectFile(path, s, msg), SaveOutcome::Saved) << u8(msg);
  Bytes b = test::readFile(path);
  EXPECT_EQ(le32(b, kDate + 224), 720);
  EXPECT_EQ(le32(b, kDate + 228), 576);
  EXPECT_EQ(le32(b, kTime + 224), 0);

  // Files that users saved with such positions load.
  put32(b, kDate + 224, 812);
  put32(b, kTime + 228, 4000);
  ASSERT_TRUE(test::writeFile(path, b));
  StampSettings loaded;
  ASSERT_EQ(loadProjectFile(path, loaded, msg), LoadOutcome::Loaded) << u8(msg);
  EXPECT_EQ(loaded.dateCode.x, 720);
  EXPECT_EQ(loaded.timeCode.y, 576);

  EXPECT_EQ(clampToFrame({800, 500}, 480), (FramePosition{720, 480}));
  EXPECT_EQ(clampToFrame({-1, -1}), (FramePosition{0, 0}));
  EXPECT_EQ(clampToFrame({64, 64}, 480), (FramePosition{64, 64}));
}

// A project that is a symbolic link (a dotfiles repository) stays a link and its target gets the
// content; a read-only project keeps its mode.
TEST_F(ProjectFileTest, SavingWritesThroughLinksAndKeepsTheMode) {
  const std::string target = dir.file("real.zev");
  ASSERT_EQ(saveProjectFile(target, StampSettings{}, msg), SaveOutcome::Saved);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.zev", path.c_str()), 0);
  StampSettings s;
  s.dateCode.transparency = 30;
  ASSERT_EQ(saveProjectFile(path, s, msg), SaveOutcome::Saved) << u8(msg);
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(le32(test::readFile(target), kDate + 340), 30);

  ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
  ASSERT_EQ(saveProjectFile(target, StampSettings{}, msg), SaveOutcome::Saved);
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
}

TEST(ConfigFile, LivesInWindirAndIsCreatedOnFirstWrite) {
  test::TempDir dir;
  const std::string folder = dir.file("windows");
  ASSERT_EQ(::setenv("WINDIR", folder.c_str(), 1), 0);
  const std::string path = configFilePath();
  ::unsetenv("WINDIR");
  EXPECT_EQ(path, folder + "/Kelo.cfg");

  std::u16string msg;
  StampSettings s;
  const StampSettings defaults = s;
  EXPECT_EQ(loadConfigFile(path, s, msg), LoadOutcome::CannotOpen) << "no file yet: defaults stay";
  EXPECT_TRUE(s == defaults);

  setText(s.projectPath, u"/projects/current.zev");
  s.timeCode.enabled = false;
  ASSERT_EQ(saveConfigFile(path, s, msg), SaveOutcome::Saved) << u8(msg);
  EXPECT_EQ(test::readFile(path).size(), 3340u);

  StampSettings next;
  ASSERT_EQ(loadConfigFile(path, next, msg), LoadOutcome::Loaded);
  EXPECT_EQ(textOf(next.projectPath), u"/projects/current.zev");
  EXPECT_FALSE(next.timeCode.enabled);

  // A configuration that cannot be written is a named outcome with its message, for the window
  // to report at exit.
  const std::string blocked = dir.file("file-not-folder");
  ASSERT_TRUE(test::writeFile(blocked, {1}));
  EXPECT_EQ(saveConfigFile(blocked + "/Kelo.cfg", s, msg), SaveOutcome::WriteFailed);
  EXPECT_EQ(msg, platform::fromUtf8("保存不了设置：" + blocked + "/Kelo.cfg."));
}

}  // namespace
}  // namespace kelo::settings

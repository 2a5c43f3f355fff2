// kelo-cli as scripts meet it: exit statuses, the version, stamp runs from a file list with a
// JSON-lines report, and subtitles whose cues are the texts the stamp draws.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/MarkerList.h"
#include "support/TestUtil.h"

namespace kelo {
namespace {

using test::shellQuote;
using test::TempDir;

test::CommandResult cli(const std::string& args) { return test::runCommand(shellQuote(test::keloCli()) + " " + args); }

std::string sample(const TempDir& dir, const std::string& name, const std::string& extra = "") {
  const std::string path = dir.file(name);
  const auto r = cli("sample " + shellQuote(path) + " " + extra);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return path;
}

std::vector<nlohmann::json> readReport(const std::string& path) {
  std::vector<nlohmann::json> entries;
  const std::vector<uint8_t> bytes = test::readFile(path);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  for (std::string line; std::getline(in, line);) entries.push_back(nlohmann::json::parse(line));
  return entries;
}

TEST(Cli, VersionNamesTheProjectVersion) {
  const auto r = cli("--version");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output.rfind("kelo-cli 2.", 0), 0u) << r.output;
}

// Status 2 means the command itself cannot work, and then nothing may have been written.
TEST(Cli, BadUsageExitsTwoAndWritesNothing) {
  TempDir dir;
  const std::string in = sample(dir, "a.avi", "--frames 4");
  const std::string out = dir.file("out");
  ASSERT_EQ(test::runCommand("mkdir " + shellQuote(out)).exitCode, 0);
  const std::string a = shellQuote(in), o = "--output " + shellQuote(out);
  const std::string before = test::sha256File(in);
  const struct {
    std::string args;
    int status;
  } cases[] = {
      {"stamp --no-such-option " + o + " " + a, 2},
      {"stamp " + o, 2},
      {"stamp --output " + shellQuote(dir.file("nowhere")) + " " + a, 2},
      {"stamp --project " + shellQuote(dir.file("missing.zev")) + " " + o + " " + a, 2},
      {"stamp --report " + shellQuote(dir.file("no/such/folder/r.jsonl")) + " " + o + " " + a, 2},
      {"stamp --report " + a + " " + o + " " + a, 2},
      {"stamp --files-from " + shellQuote(dir.file("no-list")) + " " + o, 2},
      {"subtitles --format txt " + o + " " + a, 2},
      {"subtitles --project " + shellQuote(dir.file("missing.zev")) + " " + o + " " + a, 2},
      {"stamp " + o + " " + a + " " + shellQuote(dir.file("missing.avi")), 1},
  };
  for (const auto& c : cases) {
    const auto r = cli(c.args);
    EXPECT_EQ(r.exitCode, c.status) << c.args << "\n" << r.output;
    if (c.status == 2) {
      EXPECT_EQ(test::runCommand("test -z \"$(ls -A " + shellQuote(out) + ")\"").exitCode, 0) << c.args;
    }
  }
  EXPECT_EQ(test::sha256File(in), before);
}

// A list with a name holding spaces, a blank line and a missing file: the bad lines are failed
// entries, the good files are stamped, and the report keeps one line per input line.
TEST(Cli, FilesFromReportsEveryLine) {
  TempDir dir;
  const std::string good = sample(dir, "tape one.avi", "--frames 30");
  const std::string list = dir.file("list");
  ASSERT_TRUE(test::writeFile(list, [&] {
    const std::string text = good + "\n\n" + dir.file("gone.avi") + "\r\n";
    return std::vector<uint8_t>(text.begin(), text.end());
  }()));
  ASSERT_EQ(test::runCommand("mkdir " + shellQuote(dir.file("out"))).exitCode, 0);
  const std::string report = dir.file("run.jsonl");
  const auto r = cli("stamp --output " + shellQuote(dir.file("out")) + " --report " + shellQuote(report) +
                     " --files-from - < " + shellQuote(list));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const auto entries = readReport(report);
  ASSERT_EQ(entries.size(), 3u) << r.output;
  std::map<std::string, nlohmann::json> byInput;
  for (const auto& e : entries) byInput[e["input"].get<std::string>()] = e;
  const nlohmann::json& stamped = byInput[good];
  EXPECT_EQ(stamped["status"], "stamped");
  EXPECT_EQ(stamped["container"], "avi");
  EXPECT_EQ(stamped["frames"], 30);
  EXPECT_EQ(stamped["framesStamped"], 30);
  EXPECT_EQ(stamped["firstRecorded"], "2005-03-07 23:59:55");
  EXPECT_EQ(stamped["lastRecorded"], "2005-03-07 23:59:56");
  EXPECT_EQ(cli("verify " + shellQuote(good) + " " + shellQuote(dir.file("out/tape one.avi"))).exitCode, 0);
  // The Windows line end is not part of the name.
  EXPECT_EQ(byInput[dir.file("gone.avi")]["status"], "failed");
  EXPECT_NE(byInput[dir.file("gone.avi")]["reason"].get<std::string>().find(dir.file("gone.avi")), std::string::npos);
  EXPECT_EQ(byInput[""]["status"], "failed");
  EXPECT_EQ(byInput[""]["reason"], "blank line 2 in standard input");
}

struct Cue {
  std::string from, to, text;
};

std::vector<Cue> readSrt(const std::string& path) {
  std::vector<Cue> cues;
  const std::vector<uint8_t> bytes = test::readFile(path);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  for (std::string number, times; std::getline(in, number) && std::getline(in, times);) {
    Cue cue;
    cue.from = times.substr(0, 12);
    cue.to = times.substr(17, 12);
    for (std::string line; std::getline(in, line) && !line.empty();) cue.text += (cue.text.empty() ? "" : "\n") + line;
    cues.push_back(cue);
  }
  return cues;
}

// What `kelo-cli text` prints for one recorded second (and frame), as one cue text.
std::string textFor(const std::string& project, const std::string& when, int frame) {
  const auto r = cli("text " + (project.empty() ? "" : "--project " + shellQuote(project) + " ") + shellQuote(when) +
                     " --frame " + std::to_string(frame));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.output.substr(0, r.output.size() - 1);
}

// The default sample runs from 2005-03-07 23:59:55 across midnight, 25 frames a second.
std::string whenOf(int second) {
  const int s = 55 + second;
  return s < 60 ? "2005-03-07 23:59:" + std::to_string(s) : "2005-03-08 00:00:0" + std::to_string(s - 60);
}

TEST(Cli, SubtitleCuesAreTheStampedTexts) {
  TempDir dir;
  const std::string tape = sample(dir, "tape.avi", "--frames 150");
  ASSERT_EQ(test::runCommand("mkdir " + shellQuote(dir.file("s"))).exitCode, 0);
  // Per second with the defaults; per frame with a time format that shows the frame number.
  const std::string perFrame = dir.file("frames.zev");
  ASSERT_EQ(cli("project new " + shellQuote(perFrame)).exitCode, 0);
  ASSERT_EQ(cli("project set " + shellQuote(perFrame) + " timeCode.formatIndex=9").exitCode, 0);
  for (const std::string& project : {std::string(), perFrame}) {
    SCOPED_TRACE(project);
    const auto r = cli("subtitles " + (project.empty() ? "" : "--project " + shellQuote(project) + " ") + "--output " +
                       shellQuote(dir.file("s")) + " " + shellQuote(tape));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::vector<Cue> cues = readSrt(dir.file("s/tape.srt"));
    const int framesPerCue = project.empty() ? 25 : 1;
    ASSERT_EQ(cues.size(), 150u / framesPerCue);
    for (size_t k = 1; k < cues.size(); ++k) EXPECT_EQ(cues[k].from, cues[k - 1].to) << k;
    // Every second, and with frame numbers the frames around the turns of a second and of the day.
    const std::vector<int> frames = project.empty() ? std::vector<int>{0, 25, 50, 75, 100, 125}
                                                    : std::vector<int>{0, 1, 24, 25, 74, 75, 76, 149};
    for (int frame : frames) {
      const Cue& cue = cues[static_cast<size_t>(frame / framesPerCue)];
      EXPECT_EQ(cue.text, textFor(project, whenOf(frame / 25), project.empty() ? 0 : frame % 25)) << frame;
      char from[32];
      std::snprintf(from, sizeof from, "00:00:%02d,%03d", frame / 25, frame % 25 * 40);
      EXPECT_EQ(cue.from, from);
    }
    EXPECT_EQ(cues.back().to, "00:00:06,000");
  }
}

// Each interval mode through both paths: the frames under a cue are exactly the frames the stamp
// changed. A subtitle walk that decided differently from the stamping pass would show here.
TEST(Cli, SubtitlesCoverTheFramesTheStampChanges) {
  TempDir dir;
  engine::MarkerList markers;
  for (auto [frame, kind] : {std::pair{10, engine::kStartMarker}, {30, engine::kEndMarker}, {60, engine::kStartMarker},
                             {70, engine::kEndMarker}})
    markers.insert(frame, kind);
  // Every container: the frames come through each one's own reader.
  std::vector<std::string> tapes;
  for (const char* name : {"tape.avi", "tape.mov"}) {
    tapes.push_back(sample(dir, name, "--scene \"2005-03-07 23:59:58\",2 --scene \"2006-01-01 12:00:00\",2"));
    ASSERT_EQ(markers.save(engine::markerPathFor(tapes.back())), 0);
  }
  const std::string project = dir.file("p.zev");
  const char* settings[] = {
      "dateCode.intervalMode=BetweenMarkers timeCode.intervalMode=BetweenMarkers",
      "dateCode.intervalMode=OnSceneChange dateCode.sceneSeconds=1 timeCode.intervalMode=AtStartMarkers "
      "timeCode.markerSeconds=1",
      "dateCode.intervalMode=OnDateChange dateCode.dateChangeSeconds=1 timeCode.intervalMode=Periodic "
      "timeCode.periodLengthSeconds=1 timeCode.periodSeconds=3",
      "dateCode.enabled=0 timeCode.intervalMode=BetweenMarkersZeroTime timeCode.formatIndex=9",
  };
  for (const std::string& tape : tapes) {
    for (const char* assignments : settings) {
      SCOPED_TRACE(tape + ": " + assignments);
      ASSERT_EQ(cli("project new " + shellQuote(project)).exitCode, 0);
      const auto set = cli("project set " + shellQuote(project) + " " + assignments);
      ASSERT_EQ(set.exitCode, 0) << set.output;
      const std::string out = dir.file("out"), subs = dir.file("subs");
      ASSERT_EQ(test::runCommand("rm -rf " + shellQuote(out) + " " + shellQuote(subs) + " && mkdir " + shellQuote(out) +
                                 " " + shellQuote(subs)).exitCode, 0);
      const std::string p = "--project " + shellQuote(project) + " ";
      ASSERT_EQ(cli("stamp " + p + "--output " + shellQuote(out) + " " + shellQuote(tape)).exitCode, 0);
      ASSERT_EQ(cli("subtitles " + p + "--output " + shellQuote(subs) + " " + shellQuote(tape)).exitCode, 0);
      const auto verify = cli("verify --json " + shellQuote(tape) + " " +
                              shellQuote(out + tape.substr(tape.rfind('/'))) + " 2>/dev/null");
      std::set<int> changed, covered;
      const nlohmann::json report = nlohmann::json::parse(verify.output);
      for (const auto& f : report["frames"]) changed.insert(f["frame"].get<int>());
      for (const Cue& cue : readSrt(subs + "/tape.srt")) {
        // Cue times are whole 40 ms frames at 25 frames a second.
        auto frameAt = [](const std::string& t) {
          return ((std::stoi(t.substr(0, 2)) * 60 + std::stoi(t.substr(3, 2))) * 60 + std::stoi(t.substr(6, 2))) * 25 +
                 std::stoi(t.substr(9, 3)) / 40;
        };
        for (int f = frameAt(cue.from); f < frameAt(cue.to); ++f) covered.insert(f);
      }
      EXPECT_FALSE(changed.empty());
      EXPECT_EQ(covered, changed);
    }
  }
}

// 525/60 runs at 30000/1001 frames a second: cue times follow the frames, not a 30 Hz clock.
TEST(Cli, SubtitlesOfRawNtscFollowTheFrameRate) {
  TempDir dir;
  const std::string tape = sample(dir, "tape.dv", "--system ntsc --frames 60");
  const auto r = cli("subtitles --output " + shellQuote(dir.path()) + " " + shellQuote(tape));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::vector<Cue> cues = readSrt(dir.file("tape.srt"));
  ASSERT_EQ(cues.size(), 2u);
  EXPECT_EQ(cues[0].to, "00:00:01,001");
  EXPECT_EQ(cues[1].to, "00:00:02,002");
}

TEST(Cli, SubtitlesNeverOverwriteTheVideo) {
  TempDir dir;
  const std::string tape = sample(dir, "tape.srt", "--frames 10");
  const std::string before = test::sha256File(tape);
  const auto r = cli("subtitles --output " + shellQuote(dir.path()) + " " + shellQuote(tape));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_EQ(test::sha256File(tape), before);
}

// FFmpeg reads every format back and muxes it beside the video.
TEST(Cli, FfmpegReadsAndMuxesTheSubtitles) {
  if (!test::haveProgram("ffmpeg") || !test::haveProgram("ffprobe")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string tape = sample(dir, "tape.avi", "--frames 75");
  const struct {
    const char* format;
    const char* muxed;
    const char* codec;
  } cases[] = {{"srt", "mov", "mov_text"}, {"vtt", "mkv", "srt"}, {"ass", "mkv", "ass"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    ASSERT_EQ(cli(std::string("subtitles --format ") + c.format + " --output " + shellQuote(dir.path()) + " " +
                  shellQuote(tape)).exitCode,
              0);
    const std::string subs = dir.file(std::string("tape.") + c.format);
    const std::string muxed = dir.file(std::string("muxed.") + c.muxed);
    // Peers can fail under load; three tries before a failure counts.
    test::CommandResult mux, probe;
    for (int attempt = 0; attempt < 3; ++attempt) {
      mux = test::runCommand("timeout 60 ffmpeg -v error -y -i " + shellQuote(tape) + " -i " + shellQuote(subs) +
                             " -map 0:v -map 1:s -c:v copy -c:s " + c.codec + " " + shellQuote(muxed));
      if (mux.exitCode != 0) continue;
      probe = test::runCommand("timeout 60 ffprobe -v error -select_streams s -count_packets -show_entries "
                               "stream=nb_read_packets -of csv=p=0 " + shellQuote(muxed));
      if (probe.exitCode == 0) break;
    }
    ASSERT_EQ(mux.exitCode, 0) << mux.output;
    EXPECT_EQ(probe.output, "3\n");
  }
}

}  // namespace
}  // namespace kelo

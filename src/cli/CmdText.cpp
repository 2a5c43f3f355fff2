// kelo-cli text: the date and time texts that would be stamped for a recording time, and with
// --png both rasters as one grey picture (glyphs white, outline rings darker greys).
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Common.h"
#include "dv/VideoProfile.h"
#include "platform/ImageFile.h"
#include "platform/Text.h"
#include "render/OverlayRaster.h"
#include "render/StampRenderer.h"
#include "render/StampText.h"
#include "settings/StampSettings.h"

namespace kelo::cli {
namespace {

struct TextOptions {
  std::string project;
  std::string when;
  int frame = 0;
  std::string system = "pal";
  std::string png;
};

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// "YYYY-MM-DD hh:mm:ss" into the frame record, as the frame reader fills it.
bool parseWhen(const std::string& text, dv::DvFrameInfo& info) {
  int y, mo, d, h, mi, s, used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
      used != static_cast<int>(text.size())) {
    return false;
  }
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1900 || mo < 1 || mo > 12 || d < 1 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) return false;
  if (d > kDays[mo - 1] + (mo == 2 && isLeap(y) ? 1 : 0)) return false;
  const int a = (14 - mo) / 12, yy = y - a, mm = mo + 12 * a - 2;
  info.recorded = dv::blankRecordedTime();
  info.recorded.tm_year = y - 1900;
  info.recorded.tm_mon = mo - 1;
  info.recorded.tm_mday = d;
  info.recorded.tm_hour = h;
  info.recorded.tm_min = mi;
  info.recorded.tm_sec = s;
  info.recorded.tm_wday = (d + yy + yy / 4 - yy / 100 + yy / 400 + (31 * mm) / 12) % 7;
  info.secondsOfDay = (h * 60 + mi) * 60 + s;
  info.dateKey = (y * 32 + mo) * 64 + d;
  info.hasDate = 1;
  info.hasTime = 1;
  return true;
}

// Line breaks shown as the "\n" a user types, so each text stays on one output line.
std::string printable(const std::u16string& text) {
  std::string out;
  for (char c : platform::toUtf8(text)) {
    if (c == '\r') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

uint8_t greyOf(int16_t cell) {
  switch (cell) {
    case render::kRing1: return 128;
    case render::kRing2: return 80;
    case render::kRing3: return 40;
    default: return static_cast<uint8_t>(std::clamp<int>(cell, 0, 255));
  }
}

int writeRasters(const std::string& path, const render::OverlayRaster& date, const render::OverlayRaster& time) {
  const int gap = 4;
  const int width = std::max({1, static_cast<int>(date.stride), static_cast<int>(time.stride)});
  const int height = std::max(1, date.rows + gap + time.rows);
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  auto copy = [&](const render::OverlayRaster& r, int top) {
    for (int v = 0; v < r.rows; ++v) {
      for (int u = 0; u < r.stride; ++u) {
        pixels[static_cast<size_t>(top + v) * static_cast<size_t>(width) + static_cast<size_t>(u)] = greyOf(r.cell(u, v));
      }
    }
  };
  copy(date, 0);
  copy(time, date.rows + gap);
  return platform::writePng(path, pixels.data(), width, height, 1, width);
}

int run(const TextOptions& o) {
  settings::StampSettings s;
  if (!loadSettings(o.project, s)) return kExitUsage;
  dv::DvFrameInfo info;
  if (!parseWhen(o.when, info)) return fail("not a valid date and time (YYYY-MM-DD hh:mm:ss): " + o.when, kExitUsage);
  if (o.frame < 0 || o.frame > 29) return fail("--frame must be 0 to 29", kExitUsage);
  info.profile = &dv::profileOf(o.system == "ntsc" ? dv::VideoSystem::k525_60 : dv::VideoSystem::k625_50);
  info.frameInSecond = o.frame;
  // Formatted as the preview does, so every text is built.
  s.idle = true;
  const render::StampText date = render::formatDateText(info, s);
  const render::StampText time = render::formatTimeText(info, s);
  std::cout << printable(date.text) << "\n" << printable(time.text) << "\n";
  if (o.png.empty()) return 0;

  auto pass = render::beginOverlayPass();
  if (!pass) return fail("out of memory");
  pass->renderer.renderStampTexts(info, s);
  if (pass->renderer.dateRaster().sourceText != date.text || pass->renderer.timeRaster().sourceText != time.text) {
    return fail("no font could draw the texts (is fontconfig set up?)");
  }
  const int rc = writeRasters(o.png, pass->renderer.dateRaster(), pass->renderer.timeRaster());
  if (rc != 0) return fail("cannot write " + o.png);
  return 0;
}

}  // namespace

void addTextCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<TextOptions>();
  CLI::App* cmd = app.add_subcommand("text", "Print the date and time texts stamped for a recording time");
  cmd->add_option("when", options->when, "recording date and time, \"YYYY-MM-DD hh:mm:ss\"")->required();
  cmd->add_option("--project", options->project, "project file (.zev); default settings without it");
  cmd->add_option("--frame", options->frame, "frame number within the second (0-29)");
  cmd->add_option("--system", options->system, "video system for millisecond texts")->check(CLI::IsMember({"pal", "ntsc"}));
  cmd->add_option("--png", options->png, "write both rasters as one grey picture");
  cmd->callback([options, &exitCode] { exitCode = run(*options); });
}

}  // namespace kelo::cli

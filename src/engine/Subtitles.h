#pragma once
// The stamp's date and time texts as subtitle cues: the non-destructive alternative to burning
// them into the picture. A file is walked frame by frame with the same schedules and text
// formatting as a stamping pass; a cue lasts as long as the drawn texts stay the same.
#include <string>
#include <vector>

#include "settings/StampSettings.h"

namespace kelo::engine {

struct SubtitleCue {
  int firstFrame = 0;
  int endFrame = 0;   // one behind the cue's last frame
  std::string text;   // UTF-8; the date text, then the time text, lines separated by '\n'
};

struct SubtitleTrack {
  std::vector<SubtitleCue> cues;
  int rateNumerator = 25;  // frames per second as a fraction, for the cue times
  int rateDenominator = 1;
  int width = 720, height = 576;
};

enum class SubtitleFormat { Srt, Vtt, Ass };

// Builds the cues of `path` with `settings`. False with `error` set when the file cannot be
// read or the settings would make a stamping pass refuse it.
bool buildSubtitleTrack(const settings::StampSettings& settings, const std::string& path, SubtitleTrack& track,
                        std::string& error);

// The whole subtitle file as text.
std::string formatSubtitles(const SubtitleTrack& track, SubtitleFormat format);

// "srt", "vtt", "ass": the file name ending of a format.
const char* subtitleExtension(SubtitleFormat format);

}  // namespace kelo::engine

#pragma once
// What one DV AVI file holds, read once from start to end: AVI type, video system, frame count,
// first and last recording date and time, recording days, frames without date or time, and the
// tape timecode of the first frame. The data behind `kelo-cli info`.
#include <ctime>
#include <string>

namespace kelo::dv {
struct VideoProfile;
}

namespace kelo::engine {

struct FileInfo {
  std::string path;
  int aviType = 0;          // 1 (iavs) or 2 (vids)
  bool openDml = false;
  const dv::VideoProfile* profile = nullptr;  // of the first frame; nullptr when no frame was found
  int lastFrameIndex = -1;  // from the stream header
  int frames = 0;           // frames read
  bool hasRecorded = false;  // some frame carried a usable date and time
  std::tm firstRecorded{};
  std::tm lastRecorded{};
  int recordingDays = 0;    // distinct recording dates
  int framesWithoutDate = 0;
  int framesWithoutTime = 0;
  bool hasFirstTimecode = false;
  int timecodeHours = 0;
  int timecodeMinutes = 0;
  int timecodeSeconds = 0;
  int timecodeFrames = 0;
};

// Reads the file. 0; otherwise -1 (not a DV AVI file, or a read error) or -2 (cannot open), with
// a one-line reason in `message`.
int readFileInfo(const std::string& path, FileInfo& info, std::string& message);

// "YYYY-MM-DD hh:mm:ss" and "hh:mm:ss:ff".
std::string formatRecorded(const std::tm& t);
std::string formatTimecode(const FileInfo& info);

}  // namespace kelo::engine

#pragma once
// What one DV file holds, read once from start to end: container (and for AVI its type and
// OpenDML), video system, frame count, first and last recording date and time, recording days,
// frames without date or time, and the tape timecode of the first frame. The data behind
// `kelo-cli info`.
#include <cstdint>
#include <ctime>
#include <string>

#include "container/DvSource.h"

namespace kelo::dv {
struct VideoProfile;
}

namespace kelo::container {

struct FileInfo {
  std::string path;
  ContainerKind container = ContainerKind::Avi;
  int aviType = 0;          // AVI: 1 (iavs) or 2 (vids)
  bool openDml = false;     // AVI only
  const dv::VideoProfile* profile = nullptr;  // of the first frame; nullptr when no frame was found
  int lastFrameIndex = -1;  // as the container declares it
  int frames = 0;           // frames read
  int64_t trailingBytes = 0;  // raw DV: a partial frame at the end
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

enum class InfoOutcome { Read, CannotOpen, Invalid, ReadFailed };

// Reads the file, with a one-line reason in `message` unless the outcome is Read.
InfoOutcome readFileInfo(const std::string& path, FileInfo& info, std::string& message);

// "YYYY-MM-DD hh:mm:ss" and "hh:mm:ss:ff".
std::string formatRecorded(const std::tm& t);
std::string formatTimecode(const FileInfo& info);

}  // namespace kelo::container

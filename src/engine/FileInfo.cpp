#include "engine/FileInfo.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "engine/AviChunks.h"
#include "engine/DvAviReader.h"
#include "engine/RunLog.h"

namespace kelo::engine {

int readFileInfo(const std::string& path, FileInfo& info, std::string& message) {
  info = FileInfo{};
  info.path = path;
  message.clear();
  DvAviReader reader;
  if (reader.open(path) != 0) {
    message = formatMessage("打不开 %s: %s", path.c_str(), std::strerror(reader.openError()));
    return -2;
  }
  RunLog log;
  if (reader.validateHeader(nullptr, &log) != 0) {
    const auto lines = log.lines();
    message = lines.empty() ? std::string(kMsgNotDvAvi) : lines.back();
    return -1;
  }
  info.aviType = reader.isTypeII() ? 2 : 1;
  info.openDml = reader.isOpenDml();
  info.lastFrameIndex = reader.lastFrameIndex();

  const dv::DateTimeReadOptions plain;
  dv::DateTimeReadOptions withTimecode;
  withTimecode.wantTapeTimecode = true;
  dv::DvFrameInfo frame;
  std::set<int> days;
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  for (;;) {
    size_t length = 0;
    const int r = reader.readFrame(frame, nullptr, buffer.data(), length, info.frames, &log);
    if (r < 0) {
      const auto lines = log.lines();
      message = lines.empty() ? std::string(kMsgReadFailed) : lines.back();
      return -1;
    }
    if (r != 0) break;
    const uint8_t* dvFrame = buffer.data() + 8;
    const size_t dvLength = length - 8;
    if (info.frames == 0) {
      dv::DvFrameInfo probe = frame;
      dv::readRecordedDateTime(probe, withTimecode, dvFrame, dvLength);
      if (probe.timecodeFound) {
        info.hasFirstTimecode = true;
        info.timecodeHours = probe.timecodeHours;
        info.timecodeMinutes = probe.timecodeMinutes;
        info.timecodeSeconds = probe.timecodeSeconds;
        info.timecodeFrames = probe.timecodeFrames;
      }
    }
    const int status = dv::readRecordedDateTime(frame, plain, dvFrame, dvLength);
    if (!frame.hasDate) ++info.framesWithoutDate;
    if (!frame.hasTime) ++info.framesWithoutTime;
    if (status == 0) {
      if (!info.hasRecorded) info.firstRecorded = frame.recorded;
      info.hasRecorded = true;
      info.lastRecorded = frame.recorded;
      days.insert(frame.dateKey);
    }
    ++info.frames;
  }
  if (reader.refusedKind() != dv::FrameKind::Stampable) {
    message = formatMessage(kMsgRefusedVariant, dv::frameKindName(reader.refusedKind()));
    return -1;
  }
  info.profile = info.frames > 0 ? frame.profile : nullptr;
  info.recordingDays = static_cast<int>(days.size());
  return 0;
}

std::string formatRecorded(const std::tm& t) {
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::string formatTimecode(const FileInfo& info) {
  char text[80];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", info.timecodeHours, info.timecodeMinutes,
                info.timecodeSeconds, info.timecodeFrames);
  return text;
}

}  // namespace kelo::engine

#include "container/FileInfo.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "container/DvAviReader.h"
#include "container/RawDvStream.h"
#include "dv/FrameInfo.h"
#include "dv/Packs.h"

namespace kelo::container {

InfoOutcome readFileInfo(const std::string& path, FileInfo& info, std::string& message) {
  info = FileInfo{};
  info.path = path;
  std::unique_ptr<DvSource> source;
  switch (openCheckedSource(path, false, source, message)) {
    case HeaderOutcome::Valid:
      break;
    case HeaderOutcome::ReadFailed:
      return source ? InfoOutcome::ReadFailed : InfoOutcome::CannotOpen;
    case HeaderOutcome::Invalid:
    case HeaderOutcome::WriteFailed:
      return InfoOutcome::Invalid;
  }
  info.container = source->kind();
  if (const auto* avi = dynamic_cast<const DvAviReader*>(source.get())) {
    info.aviType = avi->isTypeII() ? 2 : 1;
    info.openDml = avi->isOpenDml();
  }
  info.lastFrameIndex = source->lastFrameIndex();

  const dv::DateTimeReadOptions plain;
  dv::DateTimeReadOptions withTimecode;
  withTimecode.wantTapeTimecode = true;
  dv::DvFrameInfo frame;
  std::set<int> days;
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  const size_t offset = source->frameOffset();
  MessageList log;
  for (;;) {
    size_t length = 0;
    const ReadOutcome r = source->readFrame(frame, nullptr, buffer.data(), length, info.frames, &log);
    if (r == ReadOutcome::End) break;
    if (r != ReadOutcome::Frame) {
      message = log.last(kMsgReadFailed);
      return InfoOutcome::ReadFailed;
    }
    if (length <= offset) continue;
    const uint8_t* dvFrame = buffer.data() + offset;
    const size_t dvLength = length - offset;
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
  if (source->refusedKind() != dv::FrameKind::Stampable) {
    message = refusedVariantMessage(source->refusedKind());
    return InfoOutcome::Invalid;
  }
  if (const auto* raw = dynamic_cast<const RawDvStream*>(source.get())) info.trailingBytes = raw->trailingPartialBytes();
  info.profile = info.frames > 0 ? frame.profile : nullptr;
  info.recordingDays = static_cast<int>(days.size());
  return InfoOutcome::Read;
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

}  // namespace kelo::container

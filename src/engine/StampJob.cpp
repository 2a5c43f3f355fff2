#include "engine/StampJob.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "engine/AviChunks.h"
#include "engine/DvAviReader.h"
#include "engine/OutputNaming.h"
#include "engine/RunLog.h"
#include "engine/StampSchedule.h"
#include "engine/StampedAviWriter.h"
#include "pipeline/FrameStamper.h"
#include "platform/FileSystem.h"

namespace kelo::engine {

namespace {

using settings::IntervalMode;

bool usesMarkers(const settings::StampCodeSettings& code) {
  return code.enabled && (code.intervalMode == IntervalMode::AtStartMarkers ||
                          code.intervalMode == IntervalMode::BetweenMarkers ||
                          code.intervalMode == IntervalMode::BetweenMarkersZeroTime);
}

bool isTimecodeFormat(int index) { return index >= dv::kTimecodeFormatFirst && index <= dv::kTimecodeFormatLast; }
bool isFrameSuffixFormat(int index) { return index >= 9 && index <= 12; }

ScheduleClock clockOf(const dv::DvFrameInfo& info) {
  ScheduleClock c;
  c.dateKey = static_cast<uint32_t>(info.dateKey);
  c.previousDateKey = static_cast<uint32_t>(info.previousDateKey);
  c.secondsOfDay = static_cast<uint32_t>(info.secondsOfDay);
  c.previousSecondsOfDay = static_cast<uint32_t>(info.previousSecondsOfDay);
  c.hour = info.recorded.tm_hour;
  c.minute = info.recorded.tm_min;
  c.second = info.recorded.tm_sec;
  return c;
}

void copyWeights(const FadeWeights& from, render::OverlayWeights& to) {
  for (int k = 0; k < 4; ++k) {
    to.newWeight[k] = from.newWeight[k];
    to.oldWeight[k] = from.oldWeight[k];
  }
}

// Changes `recorded` and `frameInSecond` of the frame to the time elapsed since the start marker.
void zeroReset(StampSchedule& schedule, dv::DvFrameInfo& info, int fps, bool frameFormat, bool capture) {
  ZeroResetTime t{info.recorded.tm_hour, info.recorded.tm_min, info.recorded.tm_sec, info.timecodeFrames,
                  info.frameInSecond};
  if (capture) captureZeroReset(schedule, t);
  applyZeroReset(schedule, fps, frameFormat, t);
  info.recorded.tm_hour = t.hour;
  info.recorded.tm_min = t.minute;
  info.recorded.tm_sec = t.second;
  info.frameInSecond = t.frameInSecond;
}

}  // namespace

int runStampJob(const JobContext& context, const std::string& input, std::string& output) {
  // A private copy: the pass runs in stamping mode (texts rebuilt only when they can change),
  // whatever the caller's run-time flags say.
  settings::StampSettings s = context.settings;
  s.idle = false;
  const settings::StampCodeSettings& dc = s.dateCode;
  const settings::StampCodeSettings& tc = s.timeCode;
  RunLog log(&context.observer);
  auto failBox = [&](const std::string& text, bool logged) {
    if (logged) log.add(text);
    context.prompter.message(MessageKind::Error, text);
    return kJobFailed;
  };

  std::tm first = dv::blankRecordedTime();
  std::tm last = dv::blankRecordedTime();
  first.tm_year = 0;

  DvAviReader reader;
  if (reader.open(input) != 0) return kJobFailed;

  if ((usesMarkers(dc) || usesMarkers(tc)) && reader.markers().count() == 0)
    return failBox(formatMessage("%s 没有任何开始/结束标记，跳过去。", input.c_str()), true);
  if (tc.intervalMode == IntervalMode::BetweenMarkersZeroTime) {
    const int f = tc.formatIndex;
    if (!(f == 1 || f == 5 || isFrameSuffixFormat(f)))
      return failBox("加码区间选项与时间码格式选项不相容，请参考帮助文件。", true);
  }
  uint64_t available = 0;
  if (platform::freeBytes(platform::folderOf(output), available) == 0 &&
      available < static_cast<uint64_t>(reader.fileSize()))
    return failBox(formatMessage("错误: 硬盘剩余的空间不足以存储加码后的录像文件： %s.", output.c_str()), true);

  StampedAviWriter writer(context.makeWriteLayer ? context.makeWriteLayer() : makeFileWriteLayer());
  if (writer.open(output) != 0) {
    const int err = writer.openError();
    return failBox(formatMessage(err == EWOULDBLOCK ? "其它软件正在用 %s，没法加码。" : "打不开 %s，没法加码。",
                                 output.c_str()),
                   false);
  }

  log.add(formatMessage("加码前检查录像文件 %s ...", input.c_str()));
  if (reader.validateHeader(&writer, &log) != 0) return kJobFailed;

  dv::DvFrameInfo info;
  info.previousSecondsOfDay = -1;
  info.previousDateKey = -1;
  pipeline::FrameStamper stamper;
  pipeline::CodeWeights weights;
  log.add("开始加码 ...");
  context.observer.progress(0, "0.0%");
  reader.clearVideoChunkId();

  std::vector<uint8_t> buffer(kFrameBufferBytes);
  size_t length = 0;
  int rc = reader.readFrame(info, &writer, buffer.data(), length, 0, &log);

  const dv::DateTimeReadOptions readOptions = dv::dateTimeReadOptions(s);
  const bool timecodeFormat = isTimecodeFormat(tc.formatIndex);
  const bool frameFormat = isFrameSuffixFormat(tc.formatIndex);
  const bool zeroTime = tc.intervalMode == IntervalMode::BetweenMarkersZeroTime;
  const ScheduleMarkers markers = ScheduleMarkers::from(reader.markers());
  const int lastFrameIndex = reader.lastFrameIndex();
  StampSchedule dateSchedule, timeSchedule;
  FadeWeights dateFade, timeFade;
  int fps = 25;
  int i = 0;
  int lastShown = 0;
  int invalidDate = 0, invalidTime = 0, noDateTime = 0;

  while (rc == 0) {
    const bool pal = info.system == dv::kSystem625_50;
    if (i == 0) {
      fps = pal ? 25 : 30;
      dateSchedule = buildSchedule(dc, fps, markers);
      timeSchedule = buildSchedule(tc, fps, markers);
      dateFade = timeFade = FadeWeights{};
    }
    uint8_t* frame = buffer.data() + 8;
    const size_t frameLength = length > 8 ? length - 8 : 0;
    const int status = dv::readRecordedDateTime(info, readOptions, frame, frameLength);
    bool usable = true;
    if (!timecodeFormat && (status & dv::kStatusDateUnset)) {
      ++invalidDate, usable = false;
    } else if (!timecodeFormat && (status & dv::kStatusTimeUnset)) {
      ++invalidTime, usable = false;
    } else if (!timecodeFormat && (status & dv::kStatusNoPacks)) {
      ++noDateTime, usable = false;
    }
    if (usable) {
      const bool complete = (status & (dv::kStatusDateUnset | dv::kStatusTimeUnset | dv::kStatusNoPacks)) == 0;
      if (complete) {
        if (first.tm_year == 0) first = info.recorded;
        if (info.dateKey != info.previousDateKey) {
          const dv::Timecode t = dv::frameNumberToTimecode(pal, i);
          log.add(formatMessage("\t日期: %d-%d-%d 帧数: %d (%d%%) [%02d:%02d:%02d:%02d]", info.recorded.tm_year + 1900,
                                info.recorded.tm_mon + 1, info.recorded.tm_mday, i,
                                lastFrameIndex > 0 ? static_cast<int>(static_cast<int64_t>(i) * 100 / lastFrameIndex) : 100,
                                t.hours, t.minutes, t.seconds, t.frames));
        }
        if (!(s.tapeTimecodeAsTcb && info.timecodeStatus == dv::kTimecodeInUse))
          info.timecodeFrames = info.secondsOfDay == info.previousSecondsOfDay ? info.timecodeFrames + 1 : 0;
      }
      if (timecodeFormat) {
        if (s.tapeTimecodeAsTcb && info.timecodeStatus == dv::kTimecodeInUse) {
          info.recorded.tm_hour = info.timecodeHours;
          info.recorded.tm_min = info.timecodeMinutes;
          info.recorded.tm_sec = info.timecodeSeconds;
        } else {
          const dv::Timecode t = dv::frameNumberToTimecode(pal, i);
          info.recorded.tm_hour = t.hours;
          info.recorded.tm_min = t.minutes;
          info.recorded.tm_sec = t.seconds;
          info.timecodeFrames = t.frames;
        }
        info.hasTime = 1;
      }

      const ScheduleClock clock = clockOf(info);
      const int dateOn = dc.enabled ? decideStamp(dateSchedule, clock, i, dateFade, dc, markers) : 0;
      const int timeOn = tc.enabled ? decideStamp(timeSchedule, clock, i, timeFade, tc, markers) : 0;
      info.hasDate = info.hasDate && dateOn;
      info.hasTime = info.hasTime && timeOn;

      if (info.hasDate || info.hasTime) {
        const bool resync = (info.hasTime && (!info.timeDrawnBefore || timeSchedule.newWindow)) ||
                            (info.hasDate && (!info.dateDrawnBefore || dateSchedule.newWindow));
        if (resync && frameFormat) {
          const int c = reader.lookAheadToNextSecond(info, s);
          info.timecodeFrames = c < fps ? fps - c : 0;
          if (zeroTime)
            zeroReset(timeSchedule, info, fps, frameFormat, true);
          else
            info.frameInSecond = info.timecodeFrames;
        } else if (zeroTime) {
          zeroReset(timeSchedule, info, fps, frameFormat, false);
        } else {
          info.frameInSecond = info.timecodeFrames;
        }
        copyWeights(dateFade, weights.date);
        copyWeights(timeFade, weights.time);
        stamper.stampFrame(info, s, weights, frame, pipeline::PipelineMode::Stamp);
      }
      info.dateDrawnBefore = info.hasDate;
      info.timeDrawnBefore = info.hasTime;
      info.previousDateKey = info.dateKey;
      info.previousSecondsOfDay = info.secondsOfDay;
    }

    // A header that declares one frame (or none) would divide by zero; frames beyond the
    // declared count show as complete.
    int p = lastFrameIndex > 0 ? static_cast<int>(static_cast<int64_t>(i) * 1000 / lastFrameIndex) : 1000;
    if (p > 1000) p = 1000;
    ++i;
    if (p > lastShown) {
      char text[16];
      std::snprintf(text, sizeof text, "%.1f%%", p * 0.1);
      context.observer.progress(p, text);
      lastShown = p;
    }

    if (context.runState.load() == kRunStopRequested) {
      log.add("加码进程给打断！");
      return kJobFailed;
    }
    while (context.runState.load() == kRunPaused) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    if (writer.write(buffer.data(), length) < 0) {
      log.add(kMsgWriteFailed);
      return kJobFailed;
    }
    rc = reader.readFrame(info, &writer, buffer.data(), length, i, &log);
  }

  log.add(formatMessage("总共给 %d 帧图像加了码。", i));
  if (invalidDate + invalidTime > 0) log.add(formatMessage("*** %d 帧图像不带有效日期/时间码。", invalidDate + invalidTime));
  if (noDateTime > 0) log.add(formatMessage("*** %d 帧图像不带日期/时间码。", noDateTime));

  // A file that ends right behind its last frame is complete all the same; only a file without
  // any frame and nothing behind its header is not.
  if (rc < 0 || (length == 0 && i == 0)) return kJobFailed;
  if (length > 0 && writer.write(buffer.data(), length) < 0) {
    log.add(kMsgWriteFailed);
    return kJobFailed;
  }
  const int copied = reader.copyRemainder(writer);
  if (copied == -2) {
    log.add(kMsgReadFailed);
    return kJobFailed;
  }
  if (copied != 0) {
    log.add(kMsgWriteFailed);
    return kJobFailed;
  }

  last = info.recorded;
  FileTimeOptions times;
  times.creationFromFirst = s.creationTimeFromFirstTimecode;
  times.modificationFromLast = s.modificationTimeFromLastTimecode;
  if (setFileTimes(writer, first, last, times) == -2) {
    log.add(kMsgWriteFailed);
    return kJobFailed;
  }

  if (s.renameOutput) {
    const std::string temporary = output;
    const int named = finalName(writer, input, output, settings::textOf(s.outputNamePattern), first, last);
    if (named == -2) {
      log.add(kMsgWriteFailed);
      return kJobFailed;
    }
    if (named != 0) {
      // The stamped file is complete but keeps its temporary name; later files never reuse it.
      log.add(formatMessage("加码文件 %s 已生成。", temporary.c_str()));
      log.add(formatMessage("*** 没法给 %s 改名，加码后的录像保留这个名字。", temporary.c_str()));
      return kJobRenameFailed;
    }
  } else if (writer.close() != 0) {
    log.add(kMsgWriteFailed);
    return kJobFailed;
  }
  log.add(formatMessage("加码文件 %s 已生成。", output.c_str()));
  return kJobStamped;
}

}  // namespace kelo::engine

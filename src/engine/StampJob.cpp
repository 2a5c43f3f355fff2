#include "engine/StampJob.h"

#include <chrono>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "container/DvSource.h"
#include "container/StampedFileWriter.h"
#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "dv/VideoProfile.h"
#include "engine/FrameDecider.h"
#include "engine/MarkerList.h"
#include "engine/OutputNaming.h"
#include "engine/RunLog.h"
#include "engine/StampSchedule.h"
#include "pipeline/FrameStamper.h"
#include "render/StampText.h"
#include "render/TimeFormatTraits.h"
#include "render/FontCheck.h"
#include "platform/FileSystem.h"
#include "settings/IntervalRules.h"

namespace kelo::engine {

namespace {

using container::DvSource;
using container::kFrameBufferBytes;
using container::kMsgReadFailed;
using container::kMsgWriteFailed;
using container::ReadOutcome;
using container::StampedFileWriter;
using settings::IntervalMode;

// Without renaming: the output's name is taken (%s: the output path).
constexpr const char* kMsgOutputExists = "*** 加码后的录像 %s 已经有了，跳过去。";

// Stamping threads at most.
constexpr int kMaxWorkers = 4;
// Shorter files are not worth starting threads for.
constexpr int kParallelMinFrames = 100;

// The decider of a pass over `reader`: it looks ahead through the reader when a per-frame time
// format starts counting afresh.
FramesToNextSecond lookAheadOf(DvSource& reader) {
  return [&reader](const dv::DvFrameInfo& info, const dv::DateTimeReadOptions& options) {
    return reader.lookAheadToNextSecond(info, options);
  };
}

// Progress after frame i: the bar and its text move at most once per per-mille step.
void reportProgress(RunObserver& observer, int i, int lastFrameIndex, int& lastShown) {
  // A header that declares one frame (or none) would divide by zero; frames beyond the
  // declared count show as complete.
  int p = lastFrameIndex > 0 ? static_cast<int>(static_cast<int64_t>(i) * 1000 / lastFrameIndex) : 1000;
  if (p > 1000) p = 1000;
  if (p > lastShown) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", p * 0.1);
    observer.progress(p, text);
    lastShown = p;
  }
}

// Stop and pause between frames: true when a stop was requested (and logged).
bool stopRequested(const RunStateCell& state, RunLog& log) {
  if (state.load() == kRunStopRequested) {
    log.add("加码进程给打断！");
    return true;
  }
  while (state.load() == kRunPaused) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return false;
}

void logTotals(RunLog& log, int frames, int invalid, int noDateTime, int unstampable) {
  log.add(formatMessage("总共给 %d 帧图像加了码。", frames));
  if (invalid > 0) log.add(formatMessage("*** %d 帧图像不带有效日期/时间码。", invalid));
  if (noDateTime > 0) log.add(formatMessage("*** %d 帧图像不带日期/时间码。", noDateTime));
  if (unstampable > 0) log.add(formatMessage(container::kMsgUnstampableFrames, unstampable));
}

// How the frame loop ended when it reached the end of the pass: the last read's result, the
// trailing bytes in `buffer`, and the frames read.
struct LoopEnd {
  ReadOutcome rc = ReadOutcome::End;
  const uint8_t* buffer = nullptr;
  size_t length = 0;
  int frames = 0;
};


// A frame on its way through the parallel loop: read and decided by the reading thread, stamped
// by a worker, written by the calling thread in file order.
struct FrameSlot {
  std::unique_ptr<uint8_t[]> buffer = std::make_unique_for_overwrite<uint8_t[]>(kFrameBufferBytes);
  size_t length = 0;
  std::vector<uint8_t> gap;         // bytes between the previous frame and this one, not yet written
  std::vector<std::string> lines;   // log lines of reading and deciding this frame, not yet shown
  int index = 0;
  int invalidBefore = 0, noDateTimeBefore = 0, unstampableBefore = 0;  // counts of the frames before this one
  bool stamp = false;
  dv::DvFrameInfo info;
  pipeline::CodeWeights weights;
  // Under the loop's mutex:
  bool done = false;  // stamped, or nothing to stamp
  bool end = false;   // not a frame: how reading ended (`rc`), with the trailing bytes in `buffer`
  ReadOutcome rc = ReadOutcome::End;
};

// The parallel loop ended inside the loop, everything logged.
constexpr int kLoopFailed = 1;

// Workers take runs of this many consecutive frames: a FrameStamper redraws a text and retests the
// segments only when they can have changed since its previous frame, which holds for consecutive
// frames; at the start of a run it redraws and retests everything. Which worker stamps a run
// therefore never changes the bytes.
constexpr int kRunFrames = 8;
// Runs in flight per worker, beside the one being written. Letting the reader run further ahead
// measured slower on two cores, not faster.
constexpr int kRunsPerWorker = 1;

// Where the reader's between-frame bytes go in the parallel loop: into the slot being read.
class GapLayer final : public container::WriteLayer {
 public:
  std::function<void(const void*, size_t)> sink;
  int open(const std::string&) override { return 0; }
  int write(const void* data, size_t count) override {
    sink(data, count);
    return 0;
  }
  int setModificationTime(std::time_t) override { return 0; }
  int close() override { return 0; }
  int remove(const std::string&) override { return 0; }
};

// More between-frame bytes than this are not held back: once the frames before them are written
// the reading thread writes the bytes itself, so memory stays bounded whatever the file holds.
constexpr size_t kGapHoldBytes = 1u << 20;

// The frame loop on several threads: one reads frames and decides them in file order, workers
// stamp them, and the calling thread writes them in file order with every message, progress
// step, stop and pause check of the one-thread loop, in its order. Frame i lives in slot
// i % slots until it is written.
class ParallelLoop {
 public:
  ParallelLoop(const JobContext& context, const settings::StampSettings& s, DvSource& reader,
               const MarkerList& markers, StampedFileWriter& writer, RunLog& log, int workers)
      : context_(context),
        settings_(s),
        reader_(reader),
        writer_(writer),
        log_(log),
        slots_(static_cast<size_t>(workers * kRunsPerWorker + 1) * kRunFrames),
        workers_(workers),
        capture_(makeGapLayer()),
        decider_(s, markers, reader.lastFrameIndex(), &readLog_, lookAheadOf(reader)) {
    capture_.open("gaps");
  }
  ~ParallelLoop() { finish(); }
  ParallelLoop(const ParallelLoop&) = delete;
  ParallelLoop& operator=(const ParallelLoop&) = delete;

  // Valid for the caller once run() has returned.
  FrameDecider& decider() { return decider_; }

  // kLoopFailed when the pass ended inside the loop (everything logged), -1 when the loop reached
  // the end of the pass (`end` filled).
  int run(dv::DvFrameInfo& info, LoopEnd& end) {
    threads_.emplace_back([this, &info] { readFrames(info); });
    for (int k = 0; k < workers_; ++k) threads_.emplace_back([this] { stampFrames(); });
    const int result = writeFrames(end);
    finish();
    return result;
  }

 private:
  FrameSlot& slotOf(int64_t i) { return slots_[static_cast<size_t>(i) % slots_.size()]; }

  // Stops the other threads (they stop at once when the pass has ended early) and waits for them.
  void finish() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    writable_.notify_all();
    published_.notify_all();
    for (auto& t : threads_) t.join();
    threads_.clear();
  }

  // The calling thread: writes the frames in file order.
  int writeFrames(LoopEnd& end) {
    for (int64_t w = 0;; ++w) {
      FrameSlot& slot = slotOf(w);
      {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return w < read_ && (slot.done || slot.end); });
      }
      if (slot.end) {
        // Frames before the end are written; then the end's own gap and lines.
        if (!writeGap(slot)) {
          end.rc = ReadOutcome::WriteFailed;
        } else {
          for (auto& line : slot.lines) log_.add(std::move(line));
          end.rc = slot.rc;
        }
        end.buffer = slot.buffer.get();
        end.length = slot.length;
        end.frames = slot.index;
        return -1;
      }
      if (!retire(slot)) return kLoopFailed;
      {
        std::lock_guard lock(mutex_);
        written_ = w + 1;
      }
      writable_.notify_all();
    }
  }

  // Writes a frame: false when the pass has ended (logged).
  bool retire(FrameSlot& slot) {
    if (!writeGap(slot)) {
      logTotals(log_, slot.index, slot.invalidBefore, slot.noDateTimeBefore, slot.unstampableBefore);
      return false;
    }
    for (auto& line : slot.lines) log_.add(std::move(line));
    reportProgress(context_.observer, slot.index, decider_.lastFrameIndex(), lastShown_);
    if (stopRequested(context_.runState, log_)) return false;
    if (writer_.write(slot.buffer.get(), slot.length) < 0) {
      log_.add(kMsgWriteFailed);
      return false;
    }
    return true;
  }

  bool writeGap(FrameSlot& slot) {
    if (slot.gap.empty() || writer_.write(slot.gap.data(), slot.gap.size()) >= 0) return true;
    log_.add(kMsgWriteFailed);
    return false;
  }

  // The reading thread: frames in file order into free slots, each decided before it is handed on.
  void readFrames(dv::DvFrameInfo& info) {
    for (int64_t i = 0;; ++i) {
      {
        std::unique_lock lock(mutex_);
        writable_.wait(lock, [&] { return quit_ || i - written_ < static_cast<int64_t>(slots_.size()); });
        if (quit_) return;
      }
      FrameSlot& cur = slotOf(i);
      current_ = &cur;
      currentIndex_ = i;
      cur.gap.clear();
      cur.lines.clear();
      cur.index = static_cast<int>(i);
      cur.invalidBefore = decider_.invalidDate + decider_.invalidTime;
      cur.noDateTimeBefore = decider_.noDateTime;
      cur.unstampableBefore = decider_.unstampable;
      gapFailed_ = false;
      ReadOutcome rc = reader_.readFrame(info, &capture_, cur.buffer.get(), cur.length, cur.index, &readLog_);
      capture_.flush();
      if (gapQuit_) return;
      if (gapFailed_) rc = ReadOutcome::WriteFailed;
      takeLines(cur);
      if (rc != ReadOutcome::Frame) {
        {
          std::lock_guard lock(mutex_);
          cur.end = true;
          cur.rc = rc;
          readerDone_ = true;
          read_ = i + 1;
        }
        finished_.notify_all();
        published_.notify_all();
        return;
      }
      const size_t offset = reader_.frameOffset();
      const auto decision = decider_.decide(info, cur.buffer.get() + offset,
                                            cur.length > offset ? cur.length - offset : 0, cur.index, cur.weights);
      takeLines(cur);
      cur.stamp = decision == FrameDecision::Stamp;
      if (cur.stamp) cur.info = info;
      if (decision != FrameDecision::Skipped) FrameDecider::remember(info);
      {
        std::lock_guard lock(mutex_);
        cur.end = false;
        cur.done = !cur.stamp;
        read_ = i + 1;
      }
      if (cur.stamp) {
        published_.notify_all();
      } else {
        finished_.notify_all();
      }
    }
  }

  // A worker: claims the next run of frames and stamps those that are to be stamped, in order.
  void stampFrames() {
    pipeline::FrameStamper stamper;
    int64_t previous = -2;  // the frame this stamper stamped last
    std::unique_lock lock(mutex_);
    for (;;) {
      const int64_t first = nextRun_++ * kRunFrames;
      for (int64_t i = first; i < first + kRunFrames; ++i) {
        published_.wait(lock, [&] { return quit_ || readerDone_ || i < read_; });
        if (quit_ || i >= read_) return;  // stopped, or the frames ended before this one
        if (i < written_) continue;      // written already: nothing to stamp, and the slot is reused
        FrameSlot& slot = slotOf(i);
        if (!slot.stamp || slot.end) continue;
        lock.unlock();
        // What this stamper holds belongs to an earlier frame than the one before: draw both texts
        // afresh and test every segment, which gives what the one-thread pass holds at this frame.
        if (i != previous + 1) {
          slot.info.dateDrawnBefore = 0;
          slot.info.timeDrawnBefore = 0;
        }
        previous = i;
        stamper.stampFrame(slot.info, settings_, slot.weights, slot.buffer.get() + reader_.frameOffset(),
                           pipeline::PipelineMode::Stamp);
        lock.lock();
        slot.done = true;
        finished_.notify_all();
      }
    }
  }

  std::unique_ptr<container::WriteLayer> makeGapLayer() {
    auto layer = std::make_unique<GapLayer>();
    layer->sink = [this](const void* data, size_t count) { holdGap(data, count); };
    return layer;
  }

  void takeLines(FrameSlot& slot) {
    if (readLog_.size() == taken_) return;
    std::vector<std::string> lines = readLog_.lines();
    for (size_t k = taken_; k < lines.size(); ++k) slot.lines.push_back(std::move(lines[k]));
    taken_ = lines.size();
  }

  // On the reading thread, while it reads frame currentIndex_.
  void holdGap(const void* data, size_t count) {
    if (gapQuit_ || gapFailed_) return;
    FrameSlot& cur = *current_;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (cur.gap.size() + count <= kGapHoldBytes) {
      cur.gap.insert(cur.gap.end(), bytes, bytes + count);
      return;
    }
    // Every frame before this one written, the writer waits for this frame and leaves the output
    // to this thread; the mutex orders the writes.
    {
      std::unique_lock lock(mutex_);
      writable_.wait(lock, [&] { return quit_ || written_ == currentIndex_; });
      if (quit_) {
        gapQuit_ = true;
        return;
      }
    }
    if (!cur.gap.empty() && writer_.write(cur.gap.data(), cur.gap.size()) < 0) return failGap();
    cur.gap.clear();
    if (writer_.write(bytes, count) < 0) return failGap();
  }

  // Writing the gap failed while the reader was still scanning: the reader would have logged
  // it and ended the read there.
  void failGap() {
    gapFailed_ = true;
    current_->gap.clear();
    readLog_.add(kMsgWriteFailed);
  }

  const JobContext& context_;
  const settings::StampSettings& settings_;
  DvSource& reader_;
  StampedFileWriter& writer_;
  RunLog& log_;
  std::vector<FrameSlot> slots_;
  const int workers_;
  int lastShown_ = 0;  // the writer's

  // The reading thread's.
  RunLog readLog_;  // lines of reading and deciding, shown when their frame is written
  size_t taken_ = 0;
  FrameSlot* current_ = nullptr;
  int64_t currentIndex_ = 0;
  bool gapFailed_ = false, gapQuit_ = false;
  StampedFileWriter capture_;
  FrameDecider decider_;

  std::mutex mutex_;
  std::condition_variable writable_;   // a slot was written, or quit
  std::condition_variable published_;  // a frame to stamp was read, reading ended, or quit
  std::condition_variable finished_;   // a frame is ready to be written, or reading ended
  int64_t read_ = 0;                   // slots filled by the reading thread (frames, then the end)
  int64_t written_ = 0;                // frames written
  int64_t nextRun_ = 0;                // the run the next idle worker takes
  bool readerDone_ = false, quit_ = false;
  std::vector<std::thread> threads_;   // last member: joined before the slots go
};
}  // namespace


int stampWorkers(int requested, int lastFrameIndex) {
  if (requested > 0) return std::min(requested, kMaxWorkers);
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores <= 1 || lastFrameIndex + 1 < kParallelMinFrames) return 1;
  return std::min(static_cast<int>(cores), kMaxWorkers);
}

JobOutcome runStampJob(const JobContext& context, const std::string& input, std::string& output) {
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
    return JobOutcome::Failed;
  };
  // Without a face or fallback that can draw the texts the run would stamp nothing. The check
  // (mostly the font library's start) runs on its own thread while the input and the output are
  // opened and the header is checked; what those steps log is held back until its answer, so that
  // a file whose codes cannot be drawn fails with that message alone, as if nothing had run beside.
  std::future<std::optional<render::UndrawableCode>> fontCheck =
      std::async(std::launch::async, [&s] { return render::findUndrawableCode(s); });
  RunLog held;
  auto fontsUsable = [&] {
    if (const auto undrawable = fontCheck.get()) {
      failBox(render::undrawableCodeMessage(*undrawable), true);
      return false;
    }
    for (std::string& line : held.lines()) log.add(std::move(line));
    return true;
  };

  std::unique_ptr<DvSource> source;
  int openError = 0;
  const container::OpenOutcome opened = container::openDvSource(input, source, openError);
  if (opened == container::OpenOutcome::NotRegularFile || opened == container::OpenOutcome::UnknownContainer) {
    log.add(formatMessage("加码前检查录像文件 %s ...", input.c_str()));
    log.add(container::openFailureMessage(opened, input, openError));
    return JobOutcome::Failed;
  }
  if (opened != container::OpenOutcome::Opened) {
    // The reason went to the error stream; the run log says which file and what became of it.
    log.add(formatMessage("打不开 %s，没法加码。", input.c_str()));
    return JobOutcome::Failed;
  }
  DvSource& reader = *source;
  MarkerList markers;
  markers.load(markerPathFor(input));

  if ((settings::usesMarkers(dc) || settings::usesMarkers(tc)) && markers.count() == 0)
    return failBox(formatMessage("%s 没有任何开始/结束标记，跳过去。", input.c_str()), true);
  if (tc.intervalMode == IntervalMode::BetweenMarkersZeroTime) {
    const int f = tc.formatIndex;
    if (!render::timeFormatTraits(f).zeroTimeCapture)
      return failBox("加码区间选项与时间码格式选项不相容，请参考帮助文件。", true);
  }
  // From here until the font check's answer every way out asks for it first.
  auto failAfterCheck = [&](const std::string& text) { return fontsUsable() ? failBox(text, true) : JobOutcome::Failed; };
  // Without renaming the output keeps the input's name: one there already, another file's output
  // or the user's, is left alone rather than stamped over.
  if (!s.renameOutput && platform::pathExists(output) && !container::isSpecialFile(output)) {
    if (!fontsUsable()) return JobOutcome::Failed;
    log.add(formatMessage(kMsgOutputExists, output.c_str()));
    return JobOutcome::Refused;
  }
  uint64_t available = 0;
  if (platform::freeBytes(platform::folderOf(output), available) == 0 &&
      available < static_cast<uint64_t>(reader.fileSize()))
    return failAfterCheck(formatMessage("错误: 硬盘剩余的空间不足以存储加码后的录像文件： %s.", output.c_str()));

  // Opening a FIFO or a device for writing could block, and a folder is no output file.
  if (container::isSpecialFile(output)) return failAfterCheck(formatMessage(container::kMsgNotRegularFile, output.c_str()));
  StampedFileWriter writer(context.makeWriteLayer ? context.makeWriteLayer() : container::makeFileWriteLayer());
  std::string temporary;
  switch (openTemporaryOutput(writer, output, s.renameOutput, temporary)) {
    case OutputOpen::Opened: break;
    case OutputOpen::InUse: return failAfterCheck(formatMessage("其它软件正在用 %s，没法加码。", output.c_str()));
    case OutputOpen::Failed: return failAfterCheck(formatMessage("打不开 %s，没法加码。", output.c_str()));
  }
  // Every way out before the output has its final name removes what was written.
  struct Discard {
    StampedFileWriter& writer;
    const std::string& path;
    bool keep = false;
    ~Discard() {
      if (!keep) discardTemporaryOutput(writer, path);
    }
  } discard{writer, temporary};

  held.add(formatMessage("加码前检查录像文件 %s ...", input.c_str()));
  const container::HeaderOutcome header = reader.validateHeader(&writer, &held);
  if (!fontsUsable() || header != container::HeaderOutcome::Valid) return JobOutcome::Failed;

  dv::DvFrameInfo info;
  info.previousSecondsOfDay = -1;
  info.previousDateKey = -1;
  log.add("开始加码 ...");
  context.observer.progress(0, "0.0%");

  const int workers = stampWorkers(context.workers, reader.lastFrameIndex());
  std::vector<uint8_t> buffer;
  std::optional<FrameDecider> serialDecider;
  std::optional<ParallelLoop> parallel;
  FrameDecider* decider = nullptr;
  LoopEnd end;
  if (workers <= 1) {
    serialDecider.emplace(s, markers, reader.lastFrameIndex(), &log, lookAheadOf(reader));
    decider = &*serialDecider;
    pipeline::FrameStamper stamper;
    pipeline::CodeWeights weights;
    buffer.resize(kFrameBufferBytes);
    size_t length = 0;
    const size_t offset = reader.frameOffset();
    ReadOutcome rc = reader.readFrame(info, &writer, buffer.data(), length, 0, &log);
    int i = 0;
    int lastShown = 0;
    while (rc == ReadOutcome::Frame) {
      uint8_t* frame = buffer.data() + offset;
      const auto decision = decider->decide(info, frame, length > offset ? length - offset : 0, i, weights);
      if (decision == FrameDecision::Stamp) stamper.stampFrame(info, s, weights, frame, pipeline::PipelineMode::Stamp);
      if (decision != FrameDecision::Skipped) FrameDecider::remember(info);
      reportProgress(context.observer, i, decider->lastFrameIndex(), lastShown);
      ++i;
      if (stopRequested(context.runState, log)) return JobOutcome::Failed;
      if (writer.write(buffer.data(), length) < 0) {
        log.add(kMsgWriteFailed);
        return JobOutcome::Failed;
      }
      rc = reader.readFrame(info, &writer, buffer.data(), length, i, &log);
    }
    end = LoopEnd{rc, buffer.data(), length, i};
  } else {
    parallel.emplace(context, s, reader, markers, writer, log, workers);
    decider = &parallel->decider();
    if (parallel->run(info, end) != -1) return JobOutcome::Failed;
  }

  if (reader.refusedKind() != dv::FrameKind::Stampable) {
    log.add(container::refusedVariantMessage(reader.refusedKind()));
    return JobOutcome::Failed;
  }
  // Frames the reader passed over count with those the decider could not stamp.
  decider->unstampable += reader.unreadableFrames();
  logTotals(log, end.frames, decider->invalidDate + decider->invalidTime, decider->noDateTime, decider->unstampable);
  if (context.stats) {
    JobStats& st = *context.stats;
    st.frames = end.frames;
    st.framesStamped = decider->stamped;
    st.framesWithoutDateTime = decider->invalidDate + decider->invalidTime + decider->noDateTime;
    st.hasRecorded = decider->first.tm_year != 0;
    st.firstRecorded = decider->first;
    st.lastRecorded = decider->last;
  }

  // A file that ends right behind its last frame is complete all the same; only a file without
  // any frame and nothing behind its header is not.
  if (end.rc != ReadOutcome::End || (end.length == 0 && end.frames == 0)) return JobOutcome::Failed;
  if (end.length > 0 && writer.write(end.buffer, end.length) < 0) {
    log.add(kMsgWriteFailed);
    return JobOutcome::Failed;
  }
  const container::CopyOutcome copied = reader.copyRemainder(writer);
  if (copied == container::CopyOutcome::ReadFailed) {
    log.add(kMsgReadFailed);
    return JobOutcome::Failed;
  }
  if (copied != container::CopyOutcome::Copied) {
    log.add(kMsgWriteFailed);
    return JobOutcome::Failed;
  }

  const std::tm first = decider->first;
  const std::tm last = decider->last;
  FileTimeOptions times;
  times.creationFromFirst = s.creationTimeFromFirstTimecode;
  times.modificationFromLast = s.modificationTimeFromLastTimecode;
  if (setFileTimes(writer, first, last, times) == -2) {
    log.add(kMsgWriteFailed);
    return JobOutcome::Failed;
  }

  // A file with frames copied unstamped is not counted as stamped, whatever its name.
  const bool partly = decider->unstampable > 0;
  const FinalName named = giveFinalName(writer, temporary, input, output, s.renameOutput,
                                        settings::textOf(s.outputNamePattern), first, last);
  switch (named.outcome) {
    case RenameOutcome::NotCompleted:
      log.add(kMsgWriteFailed);
      return JobOutcome::Failed;
    case RenameOutcome::Taken:
      discard.keep = true;  // already removed: the name may be another pass's by now
      log.add(formatMessage(kMsgOutputExists, output.c_str()));
      return JobOutcome::Failed;
    case RenameOutcome::Failed:
      discard.keep = true;
      log.add(formatMessage("加码文件 %s 已生成。", temporary.c_str()));
      log.add(formatMessage("*** 没法给 %s 改名，加码后的录像保留这个名字。", temporary.c_str()));
      return partly ? JobOutcome::PartlyStamped : JobOutcome::StampedUnrenamed;
    case RenameOutcome::RenamedOtherwise:
      discard.keep = true;
      log.add(formatMessage("加码文件 %s 已生成。", output.c_str()));
      log.add(formatMessage("*** 没法给 %s 改名，加码后的录像改用 %s 这个名字。", temporary.c_str(),
                            platform::fileNameOf(output).c_str()));
      return partly ? JobOutcome::PartlyStamped : JobOutcome::StampedUnrenamed;
    case RenameOutcome::Renamed: break;
  }
  discard.keep = true;
  if (named.shortened) log.add(formatMessage("*** 文件名太长，缩短为 %s。", platform::fileNameOf(output).c_str()));
  log.add(formatMessage("加码文件 %s 已生成。", output.c_str()));
  return partly ? JobOutcome::PartlyStamped : JobOutcome::Stamped;
}

}  // namespace kelo::engine

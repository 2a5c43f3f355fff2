#include "engine/BatchDriver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "engine/OutputNaming.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelo::engine {

namespace {

std::string format1(const char* pattern, const std::string& arg) {
  const int n = std::snprintf(nullptr, 0, pattern, arg.c_str());
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  std::snprintf(out.data(), out.size() + 1, pattern, arg.c_str());
  return out;
}

std::string heading() { return "========== " + runLogTime(std::time(nullptr)) + " =========="; }

bool sameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  platform::FileIdentity ia, ib;
  return platform::fileIdentity(a, ia) == 0 && platform::fileIdentity(b, ib) == 0 && ia == ib;
}

// Buffers the lines of one file while several files run at once, so that the run log still
// holds each file's lines together and in list order.
class FileLines final : public RunObserver {
 public:
  void logLine(const std::string& line) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }
  void progress(int perMille, const std::string&) override { perMille_.store(perMille); }
  void selectListItem(int) override {}
  void setRunning(bool) override {}
  std::vector<std::string> take() {
    std::lock_guard lock(mutex_);
    return std::move(lines_);
  }
  int perMille() const { return perMille_.load(); }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::atomic<int> perMille_{0};
};

}  // namespace

std::string runLogTime(std::time_t when) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm t{};
  localtime_r(&when, &t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %d", kDays[t.tm_wday % 7], kMonths[t.tm_mon % 12],
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return buf;
}

OutputPlan planOutputs(const std::vector<std::string>& inputs, const std::string& outputFolder,
                       bool renameOutput) {
  OutputPlan plan;
  for (size_t k = 0; k < inputs.size(); ++k) {
    const std::string output = platform::joinPath(outputFolder, outputName(inputs[k], renameOutput));
    Refusal refusal = Refusal::None;
    // By identity as well as by name: links, case variants and "./" forms of the same file
    // would otherwise be truncated when the output is opened.
    if (sameFile(inputs[k], output)) {
      refusal = Refusal::OutputIsInput;
    } else if (!renameOutput) {
      for (size_t j = 0; j < inputs.size() && refusal == Refusal::None; ++j)
        if (j != k && sameFile(inputs[j], output)) refusal = Refusal::OverwritesListedInput;
      for (size_t j = 0; j < k && refusal == Refusal::None; ++j)
        if (!plan.outputs[j].empty() && sameFile(plan.outputs[j], output)) refusal = Refusal::SameOutputAsEarlier;
    }
    plan.outputs.push_back(refusal == Refusal::None ? output : std::string());
    plan.refusal.push_back(refusal);
  }
  return plan;
}

BatchDriver::BatchDriver(const settings::StampSettings& settings, RunObserver& observer, Prompter& prompter,
                         PowerOff& powerOff)
    : settings_(settings), observer_(observer), prompter_(prompter), powerOff_(powerOff), fileJob_(runStampJob) {}

BatchDriver::~BatchDriver() { wait(); }

void BatchDriver::wait() {
  if (worker_.joinable()) worker_.join();
}

const char* BatchDriver::stampButtonCaption() const {
  switch (runState_.load()) {
    case kRunRunning: return "暂停";
    case kRunPaused: return "继续";
    default: return "加码";
  }
}

bool BatchDriver::onStamp(const BatchRequest& request) {
  switch (runState_.load()) {
    case kRunRunning: runState_.store(kRunPaused); return false;
    case kRunPaused: runState_.store(kRunRunning); return false;
    case kRunStopRequested: return false;
    default: break;
  }
  if (request.saveChangedMarkers) request.saveChangedMarkers();
  if (request.inputs.empty()) {
    prompter_.message(MessageKind::Plain, "没有录像需要加码");
    return false;
  }
  if (!settings_.dateCode.enabled && !settings_.timeCode.enabled) {
    prompter_.message(MessageKind::Plain, "不知道要加什么码");
    return false;
  }
  if (request.outputFolder.empty()) {
    prompter_.message(MessageKind::Error, "加码的录像存放到哪个文件夹？");
    return false;
  }
  wait();  // a finished earlier run
  request_ = request;
  if (request_.jobs < 1) request_.jobs = 1;
  summary_ = BatchSummary{};
  observer_.setRunning(true);
  runState_.store(kRunRunning);
  try {
    worker_ = std::thread([this] { workerMain(); });
  } catch (const std::system_error&) {
    runState_.store(kRunIdle);
    observer_.setRunning(false);
    prompter_.message(MessageKind::Error, "CreateThread 出错");
    return false;
  }
  return true;
}

void BatchDriver::onStop() {
  if (runState_.load() != kRunIdle) runState_.store(kRunStopRequested);
}

void BatchDriver::workerMain() {
  const std::vector<std::string>& inputs = request_.inputs;
  const int count = static_cast<int>(inputs.size());
  summary_.fileCount = count;
  summary_.files.assign(inputs.size(), FileResult{});
  observer_.logLine(heading());

  const OutputPlan plan = planOutputs(inputs, request_.outputFolder, settings_.renameOutput);
  auto stopRequested = [this] { return runState_.load() == kRunStopRequested; };

  // Runs file k, reporting to `out`; returns the lines that follow the job (the driver's own).
  auto runFile = [&](int k, RunObserver& out) {
    out.logLine(format1("需加码录像:  %s", inputs[k]));
    FileResult& result = summary_.files[static_cast<size_t>(k)];
    result.refusal = plan.refusal[k];
    const std::string refusedOutput = platform::joinPath(request_.outputFolder, platform::fileNameOf(inputs[k]));
    switch (plan.refusal[k]) {
      case Refusal::OutputIsInput:
        prompter_.message(MessageKind::Warning,
                          "加码前和加码后的录像不能用同一个文件，另选一个文件夹来保存加码后的录像。");
        break;
      case Refusal::OverwritesListedInput:
        out.logLine(format1("*** 加码后的录像 %s 会覆盖要加码的另一个录像，跳过去。", refusedOutput));
        break;
      case Refusal::SameOutputAsEarlier:
        out.logLine(format1("*** 加码后的录像 %s 会覆盖前面已加码的录像，跳过去。", refusedOutput));
        break;
      case Refusal::None: {
        std::string output = plan.outputs[k];
        JobContext context{settings_, out, prompter_, runState_, request_.makeWriteLayer};
        // Files stamped side by side share the cores instead of each taking all of them.
        if (request_.jobs > 1 && count > 1) {
          const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
          context.workers = std::max(1, cores / std::min(request_.jobs, count));
        }
        result.outcome = fileJob_(context, inputs[k], output);
        if (result.outcome == JobOutcome::Stamped || result.outcome == JobOutcome::StampedUnrenamed)
          result.output = output;
        break;
      }
    }
    if (result.refusal != Refusal::None) result.outcome = JobOutcome::Refused;
    // What became of the file: its stamped output, or the input that was not stamped.
    if (!stopRequested()) {
      out.logLine(result.output.empty() ? format1("未加码的录像:  %s", inputs[k])
                                        : format1("加码的录像:  %s", result.output));
    }
    out.logLine(heading());
  };

  if (request_.jobs <= 1 || count <= 1) {
    for (int k = 0; k < count; ++k) {
      observer_.selectListItem(k);
      runFile(k, observer_);
      if (stopRequested()) break;
    }
  } else {
    // Several files at once; lines are buffered per file and handed on in list order.
    std::vector<FileLines> lines(inputs.size());
    std::vector<char> done(inputs.size(), 0);
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<int> next{0};
    auto pool = [&] {
      for (;;) {
        const int k = next.fetch_add(1);
        if (k >= count) return;
        if (!stopRequested()) runFile(k, lines[k]);
        std::lock_guard lock(mutex);
        done[k] = 1;
        changed.notify_all();
      }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < std::min(request_.jobs, count); ++t) threads.emplace_back(pool);
    int lastShown = -1;
    for (int k = 0; k < count; ++k) {
      for (;;) {
        std::unique_lock lock(mutex);
        if (changed.wait_for(lock, std::chrono::milliseconds(50), [&] { return done[k] != 0; })) break;
        lock.unlock();
        int sum = 0;
        for (int j = 0; j < count; ++j) sum += done[j] ? 1000 : lines[j].perMille();
        const int p = sum / count;
        if (p > lastShown) {
          char text[32];
          std::snprintf(text, sizeof text, "%.1f%%", p * 0.1);
          observer_.progress(p, text);
          lastShown = p;
        }
      }
      observer_.selectListItem(k);
      for (const std::string& line : lines[k].take()) observer_.logLine(line);
    }
    for (std::thread& t : threads) t.join();
  }

  for (const FileResult& r : summary_.files)
    if (r.outcome == JobOutcome::Stamped) ++summary_.stamped;
  summary_.stopped = stopRequested();

  if (request_.autoShutdown) {
    if (request_.writeLogFile) request_.writeLogFile();
    powerOff_.powerOff();
  }
  observer_.setRunning(false);
  observer_.selectListItem(request_.selectionBefore);
  if (summary_.stopped) {
    prompter_.message(MessageKind::Warning, "加码进程给打断！");
    workerResult_ = 1;
  } else {
    if (summary_.stamped == count) {
      prompter_.message(MessageKind::Information, "所有录像都已加码");
    } else {
      char text[256];
      std::snprintf(text, sizeof text, "%d段录像已加码（总共%d段），详细见运行记录。", summary_.stamped, count);
      prompter_.message(MessageKind::Information, text);
    }
    workerResult_ = 0;
  }
  runState_.store(kRunIdle);
}

}  // namespace kelo::engine

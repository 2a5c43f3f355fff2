// kelo-cli stamp: a batch run over the given files. The run log goes to standard output (and to
// the log file with --log), a progress bar to standard error when it is a terminal, and with
// --report one JSON line per file as it finishes; the exit status is 0 only when every file was
// stamped.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/Commands.h"
#include "cli/Common.h"
#include "container/DvSource.h"
#include "engine/BatchDriver.h"
#include "engine/RunLog.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelo::cli {

namespace {

std::atomic<bool> interrupted{false};

std::string recordedText(const std::tm& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

const char* statusOf(engine::JobOutcome outcome) {
  switch (outcome) {
    case engine::JobOutcome::Stamped: return "stamped";
    case engine::JobOutcome::Refused: return "skipped";
    default: return "failed";
  }
}

// The container the file's first bytes name; null when it cannot be opened or holds no DV.
nlohmann::json containerOf(const std::string& path) {
  std::unique_ptr<container::DvSource> source;
  int error = 0;
  if (container::openDvSource(path, source, error) != container::OpenOutcome::Opened) return nullptr;
  return container::containerName(source->kind());
}

// One line of the report: a file that ran, or an input line that never could.
nlohmann::json reportEntry(const engine::FileReport& r) {
  const engine::JobStats& st = r.stats;
  nlohmann::json j;
  j["input"] = r.input;
  j["output"] = r.output.empty() ? nlohmann::json(nullptr) : nlohmann::json(r.output);
  j["container"] = containerOf(r.input);
  j["status"] = statusOf(r.result);
  j["reason"] = r.reason;
  j["frames"] = st.frames;
  j["framesStamped"] = st.framesStamped;
  j["framesWithoutDateTime"] = st.framesWithoutDateTime;
  j["firstRecorded"] = st.hasRecorded ? nlohmann::json(recordedText(st.firstRecorded)) : nlohmann::json(nullptr);
  j["lastRecorded"] = st.hasRecorded ? nlohmann::json(recordedText(st.lastRecorded)) : nlohmann::json(nullptr);
  j["seconds"] = static_cast<double>(static_cast<int64_t>(r.seconds * 1000 + 0.5)) / 1000;
  return j;
}

// The report file: one JSON object per line, each written and flushed as its file finishes, so a
// run that is killed still leaves the lines of the files it finished.
class Report {
 public:
  bool open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
  }
  ~Report() {
    if (file_) std::fclose(file_);
  }
  bool isOpen() const { return file_ != nullptr; }
  void add(const engine::FileReport& r) {
    std::lock_guard lock(mutex_);
    if (r.index >= 0) {
      if (static_cast<size_t>(r.index) >= reported_.size()) reported_.resize(static_cast<size_t>(r.index) + 1, 0);
      reported_[static_cast<size_t>(r.index)] = 1;
    }
    if (!file_) return;
    // File names need not be UTF-8; invalid bytes become U+FFFD rather than losing the line.
    const std::string line = reportEntry(r).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (std::fputs(line.c_str(), file_) == EOF || std::fflush(file_) != 0) failed_ = true;
  }
  bool reported(int index) {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(index) < reported_.size() && reported_[static_cast<size_t>(index)] != 0;
  }
  // False when a line could not be written.
  bool close() {
    std::lock_guard lock(mutex_);
    if (file_ && std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
  }

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::vector<char> reported_;
  bool failed_ = false;
};

// One entry of the input list: a file name, or a line that names no file.
struct InputLine {
  std::string path;
  std::string problem;  // not empty: the line is reported as failed and never run
};

// Reads the names of --files-from, one per line, exactly as written (spaces are part of a name);
// only a Windows line end is dropped. False when the list cannot be read.
bool readFileList(const std::string& list, std::vector<InputLine>& lines) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (list != "-") {
    file.open(list);
    if (!file) return false;
    in = &file;
  }
  std::string line;
  for (int number = 1; std::getline(*in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) {
      lines.push_back({"", "blank line " + std::to_string(number) + " in " + (list == "-" ? "standard input" : list)});
    } else {
      lines.push_back({line, ""});
    }
  }
  return !in->bad();
}

class TerminalReporter final : public engine::RunObserver, public engine::Prompter, public engine::PowerOff {
 public:
  TerminalReporter(engine::RunLog& log, Report& report)
      : log_(log), report_(report), bar_(isatty(STDERR_FILENO) != 0) {}
  void logLine(const std::string& line) override {
    std::lock_guard lock(mutex_);
    clearBar();
    std::cout << line << "\n" << std::flush;
    log_.add(line);
  }
  void progress(int perMille, const std::string& text) override {
    if (!bar_) return;
    std::lock_guard lock(mutex_);
    const int filled = perMille * 40 / 1000;
    std::fprintf(stderr, "\r[%s%s] %s ", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(40 - filled), ' ').c_str(), text.c_str());
    std::fflush(stderr);
    shown_ = true;
  }
  void selectListItem(int) override {}
  void setRunning(bool) override {}
  void fileFinished(const engine::FileReport& result) override {
    engine::FileReport r = result;
    if (r.index >= 0 && static_cast<size_t>(r.index) < indexes_.size()) r.index = indexes_[static_cast<size_t>(r.index)];
    // The reader says nothing when it cannot open an input; the report still needs the reason.
    if (r.result != engine::JobOutcome::Stamped && r.reason.empty()) {
      r.reason = ::access(r.input.c_str(), R_OK) == 0 ? "not stamped" : "cannot open " + r.input + ": " + std::strerror(errno);
    }
    report_.add(r);
  }
  // Run index → position in the input list (blank lines of the list are not run).
  void setIndexes(std::vector<int> indexes) { indexes_ = std::move(indexes); }
  void message(engine::MessageKind kind, const std::string& text) override {
    std::lock_guard lock(mutex_);
    clearBar();
    std::cerr << engine::captionOf(kind) << ": " << text << "\n";
  }
  bool askYesNo(engine::MessageKind kind, const std::string& text) override {
    message(kind, text + " (no)");
    return false;
  }
  int powerOff() override { return 0; }  // never from the command line

 private:
  void clearBar() {
    if (shown_) std::fprintf(stderr, "\r%60s\r", ""), shown_ = false;
  }
  engine::RunLog& log_;
  Report& report_;
  std::vector<int> indexes_;
  std::mutex mutex_;
  bool bar_;
  bool shown_ = false;
};

struct StampOptions {
  std::string project;
  std::string output;
  int jobs = 1;
  bool log = false;
  std::string report;
  std::string filesFrom;
  std::vector<std::string> files;
};

int runStamp(const StampOptions& o) {
  settings::StampSettings s;
  if (!loadSettings(o.project, s)) return kExitUsage;
  if (!platform::isFolder(o.output)) return fail("output folder does not exist: " + o.output, kExitUsage);
  std::vector<InputLine> lines;
  for (const std::string& f : o.files) lines.push_back({f, f.empty() ? "empty file name" : ""});
  if (!o.filesFrom.empty() && !readFileList(o.filesFrom, lines))
    return fail("cannot read the file list " + o.filesFrom, kExitUsage);
  if (lines.empty()) return fail("no input files", kExitUsage);
  // Opening the report truncates it: never when it names one of the inputs or the list.
  platform::FileIdentity reportId, other;
  if (!o.report.empty() && platform::fileIdentity(o.report, reportId) == 0) {
    for (const InputLine& line : lines)
      if (platform::fileIdentity(line.path, other) == 0 && other == reportId)
        return fail("the report " + o.report + " is an input file", kExitUsage);
    if (o.filesFrom != "-" && platform::fileIdentity(o.filesFrom, other) == 0 && other == reportId)
      return fail("the report " + o.report + " is the file list", kExitUsage);
  }
  Report report;
  if (!o.report.empty() && !report.open(o.report))
    return fail("cannot write the report " + o.report + ": " + std::strerror(errno), kExitUsage);

  engine::RunLog log;
  TerminalReporter reporter(log, report);
  engine::BatchRequest request;
  std::vector<int> indexes;
  for (size_t k = 0; k < lines.size(); ++k) {
    if (!lines[k].problem.empty()) continue;
    request.inputs.push_back(lines[k].path);
    indexes.push_back(static_cast<int>(k));
  }
  reporter.setIndexes(indexes);
  request.outputFolder = o.output;
  request.jobs = o.jobs;
  engine::BatchDriver driver(s, reporter, reporter, reporter);
  bool stopped = false;
  if (!request.inputs.empty()) {
    interrupted = false;
    auto previous = std::signal(SIGINT, [](int) { interrupted = true; });
    if (!driver.onStamp(request)) {
      std::signal(SIGINT, previous);
      return kExitUsage;  // the run did not start: the driver said why
    }
    // Looks for Ctrl+C and the end of the run often: every wait here is added to the run's time.
    while (driver.state() != engine::kRunIdle) {
      if (interrupted) driver.onStop();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    driver.wait();
    std::signal(SIGINT, previous);
    stopped = driver.summary().stopped;
  }
  // Every input line has its report entry, in list order for the lines that never ran.
  for (size_t k = 0; k < lines.size(); ++k) {
    if (report.reported(static_cast<int>(k))) continue;
    engine::FileReport r;
    r.index = static_cast<int>(k);
    r.input = lines[k].path;
    r.result = engine::JobOutcome::Failed;
    r.reason = lines[k].problem.empty() ? "the run was stopped before this file" : lines[k].problem;
    report.add(r);
  }
  int status = !stopped && driver.summary().stamped == static_cast<int>(lines.size()) ? kExitOk : kExitFailed;
  if (o.log && log.writeFile() != 0) std::cerr << "kelo-cli stamp: cannot write " << engine::runLogPath() << "\n";
  if (report.isOpen() && !report.close()) status = fail("cannot write the report " + o.report);
  return status;
}

}  // namespace

void addStampCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("stamp", "stamp the recording date and time into DV files (AVI, raw DV, QuickTime)");
  auto o = std::make_shared<StampOptions>();
  cmd->add_option("--project", o->project, "project file (.zev) with the settings; default settings without");
  cmd->add_option("--output", o->output, "folder for the stamped files")->required();
  cmd->add_option("--jobs", o->jobs, "files stamped at once")->check(CLI::Range(1, 64));
  cmd->add_flag("--log", o->log, "also write the run log file Kelo.log in the temporary folder");
  cmd->add_option("--report", o->report, "write one JSON object per input to this file (JSON lines) as each finishes");
  cmd->add_option("--files-from", o->filesFrom, "read input names from this file, one per line (- for standard input)");
  cmd->add_option("FILE", o->files, "DV files: AVI, raw DV or QuickTime");
  cmd->callback([o, &exitCode] {
    if (o->files.empty() && o->filesFrom.empty()) {
      exitCode = fail("stamp needs FILE... or --files-from LIST", kExitUsage);
      return;
    }
    exitCode = runStamp(*o);
  });
}

}  // namespace kelo::cli

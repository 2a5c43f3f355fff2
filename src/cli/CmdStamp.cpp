// kelo-cli stamp: a batch run over the given files. The run log goes to standard output (and to
// the log file with --log), a progress bar to standard error when it is a terminal; the exit
// status is 0 only when every file was stamped.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/Commands.h"
#include "engine/BatchDriver.h"
#include "engine/RunLog.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "settings/ProjectFile.h"

namespace kelo::cli {

namespace {

std::atomic<bool> interrupted{false};

class TerminalReporter final : public engine::RunObserver, public engine::Prompter, public engine::PowerOff {
 public:
  explicit TerminalReporter(engine::RunLog& log) : log_(log), bar_(isatty(STDERR_FILENO) != 0) {}
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
  std::mutex mutex_;
  bool bar_;
  bool shown_ = false;
};

}  // namespace

void addStampCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("stamp", "stamp the recording date and time into DV files (AVI, raw DV, QuickTime)");
  struct Options {
    std::string project;
    std::string output;
    int jobs = 1;
    bool log = false;
    std::vector<std::string> files;
  };
  auto o = std::make_shared<Options>();
  cmd->add_option("--project", o->project, "project file (.zev) with the settings; default settings without");
  cmd->add_option("--output", o->output, "folder for the stamped files")->required();
  cmd->add_option("--jobs", o->jobs, "files stamped at once")->check(CLI::Range(1, 64));
  cmd->add_flag("--log", o->log, "also write the run log file Kelo.log in the temporary folder");
  cmd->add_option("FILE", o->files, "DV files")->required();
  cmd->callback([o, &exitCode] {
    settings::StampSettings s;
    if (!o->project.empty()) {
      std::u16string message;
      if (settings::loadProjectFile(o->project, s, message) != settings::LoadOutcome::Loaded) {
        std::cerr << "kelo-cli stamp: " << platform::toUtf8(message) << "\n";
        exitCode = 1;
        return;
      }
    }
    if (!platform::isFolder(o->output)) {
      std::cerr << "kelo-cli stamp: output folder does not exist: " << o->output << "\n";
      exitCode = 1;
      return;
    }
    engine::RunLog log;
    TerminalReporter reporter(log);
    engine::BatchDriver driver(s, reporter, reporter, reporter);
    engine::BatchRequest request;
    request.inputs = o->files;
    request.outputFolder = o->output;
    request.jobs = o->jobs;
    interrupted = false;
    auto previous = std::signal(SIGINT, [](int) { interrupted = true; });
    if (!driver.onStamp(request)) {
      std::signal(SIGINT, previous);
      exitCode = 1;
      return;
    }
    while (driver.state() != engine::kRunIdle) {
      if (interrupted) driver.onStop();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    driver.wait();
    std::signal(SIGINT, previous);
    if (o->log && log.writeFile() != 0) std::cerr << "kelo-cli stamp: cannot write " << engine::runLogPath() << "\n";
    const engine::BatchSummary& summary = driver.summary();
    exitCode = !summary.stopped && summary.stamped == summary.fileCount ? 0 : 1;
  });
}

}  // namespace kelo::cli

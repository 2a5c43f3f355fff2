#pragma once
// The engine's run observer for the desktop program. The batch worker calls it on its own thread;
// every call is carried into the GUI thread and blocks until the window has handled it, so log
// lines arrive in order and the worker sees the list selection it asked for. The GUI thread never
// waits for the worker.
#include <QObject>
#include <QString>

#include "engine/RunObserver.h"

namespace kelo::ui {

// What the window shows of a run.
class RunView {
 public:
  virtual ~RunView() = default;
  virtual void appendLogLine(const QString& line) = 0;
  virtual void showProgress(int perMille, const QString& text) = 0;
  virtual void selectFile(int index) = 0;
  virtual void setRunning(bool running) = 0;
};

class QtRunObserver : public QObject, public engine::RunObserver {
  Q_OBJECT

 public:
  // Lives on the GUI thread, as does `view`.
  explicit QtRunObserver(RunView& view, QObject* parent = nullptr);

  void logLine(const std::string& line) override;
  void progress(int perMille, const std::string& text) override;
  void selectListItem(int index) override;
  void setRunning(bool running) override;

 private:
  template <typename F>
  void inGuiThread(F&& f);

  RunView& view_;
};

}  // namespace kelo::ui

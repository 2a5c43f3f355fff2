#include "ui/QtRunObserver.h"

#include <QThread>

namespace kelo::ui {

QtRunObserver::QtRunObserver(RunView& view, QObject* parent) : QObject(parent), view_(view) {}

template <typename F>
void QtRunObserver::inGuiThread(F&& f) {
  if (QThread::currentThread() == thread())
    f();
  else
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

void QtRunObserver::logLine(const std::string& line) {
  const QString text = QString::fromStdString(line);
  inGuiThread([this, &text] { view_.appendLogLine(text); });
}

void QtRunObserver::progress(int perMille, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  inGuiThread([this, perMille, &shown] { view_.showProgress(perMille, shown); });
}

void QtRunObserver::selectListItem(int index) {
  inGuiThread([this, index] { view_.selectFile(index); });
}

void QtRunObserver::setRunning(bool running) {
  inGuiThread([this, running] { view_.setRunning(running); });
}

}  // namespace kelo::ui

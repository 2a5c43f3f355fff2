#include "ui/QtPrompter.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QThread>
#include <utility>

namespace kelo::ui {

QtPrompter::QtPrompter(QWidget* parent) : parent_(parent) {}

QtPrompter::Answer QtPrompter::ask(engine::MessageKind kind, const QString& text, Buttons buttons) {
  Prompt prompt{kind, QString::fromUtf8(engine::captionOf(kind)), text, buttons};
  if (QThread::currentThread() == thread()) return show(prompt);
  // From the worker: the GUI thread shows the box; the worker waits for the answer. The GUI
  // thread never waits for the worker, so this cannot deadlock.
  Answer answer = Answer::Cancel;
  QMetaObject::invokeMethod(
      this, [this, &prompt, &answer] { answer = show(prompt); }, Qt::BlockingQueuedConnection);
  return answer;
}

void QtPrompter::message(engine::MessageKind kind, const std::string& text) {
  ask(kind, QString::fromStdString(text), Buttons::Ok);
}

bool QtPrompter::askYesNo(engine::MessageKind kind, const std::string& text) {
  return ask(kind, QString::fromStdString(text), Buttons::YesNo) == Answer::Yes;
}

QtPrompter::Answer QtPrompter::show(const Prompt& prompt) {
  history_.push_back(prompt);
  if (script_) return script_(prompt);

  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (prompt.kind) {
    case engine::MessageKind::Error: icon = QMessageBox::Critical; break;
    case engine::MessageKind::Warning: icon = QMessageBox::Warning; break;
    case engine::MessageKind::Information: icon = QMessageBox::Information; break;
    case engine::MessageKind::Plain: break;
  }
  QMessageBox::StandardButtons standard = QMessageBox::Ok;
  QMessageBox::StandardButton escape = QMessageBox::Ok;
  switch (prompt.buttons) {
    case Buttons::Ok: break;
    case Buttons::OkCancel: standard = QMessageBox::Ok | QMessageBox::Cancel; escape = QMessageBox::Cancel; break;
    case Buttons::YesNo: standard = QMessageBox::Yes | QMessageBox::No; escape = QMessageBox::No; break;
    case Buttons::YesNoCancel:
      standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      escape = QMessageBox::Cancel;
      break;
  }
  QMessageBox box(icon, prompt.caption, prompt.text, standard, parent_);
  box.setEscapeButton(escape);
  const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
      {QMessageBox::Ok, "确定"}, {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是"}, {QMessageBox::No, "否"}};
  for (const auto& [button, caption] : captions)
    if (QAbstractButton* b = box.button(button)) b->setText(QString::fromUtf8(caption));
  switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
  }
}

}  // namespace kelo::ui

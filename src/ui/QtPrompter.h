#pragma once
// Every message box and question of the desktop program goes through one QtPrompter, so that
// tests can script the answers instead of clicking. It also serves the engine's questions, which
// arrive on the worker thread: those calls block until the GUI thread has shown the box.
#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "engine/RunObserver.h"

class QWidget;

namespace kelo::ui {

class QtPrompter : public QObject, public engine::Prompter {
  Q_OBJECT

 public:
  enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
  enum class Answer { Ok, Cancel, Yes, No };

  struct Prompt {
    engine::MessageKind kind = engine::MessageKind::Information;
    QString caption;  // "错误", "警告" or "信息"
    QString text;
    Buttons buttons = Buttons::Ok;
  };
  // Answers a prompt instead of showing it (tests).
  using Script = std::function<Answer(const Prompt&)>;

  // Boxes are shown over `parent` (may be null). Lives on the GUI thread.
  explicit QtPrompter(QWidget* parent = nullptr);

  void setParentWidget(QWidget* parent) { parent_ = parent; }
  void setScript(Script script) { script_ = std::move(script); }
  // Every prompt shown (or scripted) so far, oldest first.
  const std::vector<Prompt>& history() const { return history_; }
  void clearHistory() { history_.clear(); }

  // Any thread. Blocks until the box is dismissed.
  Answer ask(engine::MessageKind kind, const QString& text, Buttons buttons);
  void warn(const QString& text) { ask(engine::MessageKind::Warning, text, Buttons::Ok); }

  // engine::Prompter
  void message(engine::MessageKind kind, const std::string& text) override;
  bool askYesNo(engine::MessageKind kind, const std::string& text) override;

 private:
  Answer show(const Prompt& prompt);

  QWidget* parent_;
  Script script_;
  std::vector<Prompt> history_;
};

}  // namespace kelo::ui

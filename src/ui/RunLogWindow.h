#pragma once
// The run log window: a modeless dialog with the log lines in their order and a "关闭" button that
// hides it. Built hidden with the main window; its lines survive across runs.
#include <QDialog>
#include <QString>
#include <QStringList>

class QListWidget;

namespace kelo::ui {

class RunLogWindow : public QDialog {
  Q_OBJECT

 public:
  explicit RunLogWindow(QWidget* parent = nullptr);

  // Appends one line (GUI thread only; the run's observer forwards lines here).
  void appendLine(const QString& line);
  void appendLines(const QStringList& lines);
  void clearLines();
  QStringList lines() const;
  QListWidget* listBox() const { return list_; }

 private:
  QListWidget* list_ = nullptr;
};

}  // namespace kelo::ui

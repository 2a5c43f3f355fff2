#pragma once
// What the option dialogs share: their title, size and font, the OK / Cancel / Help buttons
// ("确认", "取消", "帮助"; Help asks for the dialog's help context), and the check of a number
// field as the user leaves it. Leaving a field for Cancel, or because the dialog closes, checks
// nothing: those values are being thrown away.
#include <QDialog>
#include <QSize>

class QLineEdit;
class QPushButton;

namespace kelo::ui {

class OptionDialog : public QDialog {
  Q_OBJECT

 public:
  int helpContext() const { return helpContext_; }

  void reject() override;

 signals:
  void helpRequested(int context);

 protected:
  // `size` in dialog units.
  OptionDialog(const QString& title, int helpContext, QSize size, QWidget* parent);

  // The three buttons on one row at these x positions (dialog units).
  void addButtons(int y, int okX, int cancelX, int helpX, int helpWidth = 50);
  // `edit` is checked (fieldLeft) whenever it loses the focus.
  void checkOnLeave(QLineEdit* edit);
  // Runs the check of `edit` now (OK checks the field that still has the focus).
  void checkNow(QLineEdit* edit);
  // The check of one field; it may correct the field and show a message.
  virtual void fieldLeft(QLineEdit*) {}

  bool eventFilter(QObject* watched, QEvent* event) override;

  QPushButton* okButton() const { return ok_; }

 private:
  int helpContext_;
  bool checking_ = false;  // a message box taking the focus must not run the check again
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace kelo::ui

#pragma once
// A push button that repeats its action while the left mouse button holds it down: once at the
// press, then every 250 ms with a growing step (1, 1, 1, 3, 3, 3, 6, 6, 6, 10, 10, ...). Used for
// the nudge and frame-stepping buttons of the main window, which connect `action`.
#include <QPushButton>
#include <QTimer>

namespace kelo::ui {

class RepeatButton : public QPushButton {
  Q_OBJECT

 public:
  // `controlId` is passed back with every action so one slot can serve all buttons.
  RepeatButton(int controlId, const QString& text, QWidget* parent = nullptr);

  int controlId() const { return controlId_; }
  // Repeat period; 250 ms unless a test shortens it.
  void setRepeatInterval(int milliseconds);
  int repeatInterval() const;
  bool isRepeating() const { return timer_.isActive(); }

  // Step of the n-th repeat state (0..9): 1, 1, 1, 3, 3, 3, 6, 6, 6, 10.
  static int stepAt(int counter);

 signals:
  // Perform the button's action once, moving by `step` where the action moves something.
  void action(int controlId, int step);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void tick();
  void stopRepeat();

  int controlId_;
  QTimer timer_;
  int counter_ = 0;
  int step_ = 1;
};

}  // namespace kelo::ui

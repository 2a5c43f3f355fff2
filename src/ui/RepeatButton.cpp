#include "ui/RepeatButton.h"

#include <QMouseEvent>

#include "ui/DialogUnits.h"

namespace kelo::ui {

namespace {
constexpr int kDefaultRepeatMs = 250;
constexpr int kSteps[10] = {1, 1, 1, 3, 3, 3, 6, 6, 6, 10};
}  // namespace

int RepeatButton::stepAt(int counter) {
  if (counter < 0) counter = 0;
  if (counter > 9) counter = 9;
  return kSteps[counter];
}

RepeatButton::RepeatButton(int controlId, const QString& text, QWidget* parent)
    : QPushButton(text, parent), controlId_(controlId) {
  setFont(dialogFont());
  timer_.setInterval(kDefaultRepeatMs);
  connect(&timer_, &QTimer::timeout, this, &RepeatButton::tick);
  // The keyboard (space) still clicks the button the usual way: one action with the unit step.
  connect(this, &QPushButton::clicked, this, [this] {
    if (!timer_.isActive()) emit action(controlId_, 1);
  });
}

void RepeatButton::setRepeatInterval(int milliseconds) { timer_.setInterval(milliseconds); }

int RepeatButton::repeatInterval() const { return timer_.interval(); }

void RepeatButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QPushButton::mousePressEvent(event);
    return;
  }
  // Not passed on: the press is the action, so the button must not also report a click.
  setDown(true);
  timer_.stop();
  counter_ = 0;
  step_ = 1;
  emit action(controlId_, step_);
  timer_.start();
  event->accept();
}

void RepeatButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QPushButton::mouseReleaseEvent(event);
    return;
  }
  stopRepeat();
  event->accept();
}

void RepeatButton::tick() {
  emit action(controlId_, step_);
  if (counter_ < 9) {
    ++counter_;
    step_ = stepAt(counter_);
  }
}

void RepeatButton::stopRepeat() {
  timer_.stop();
  counter_ = 0;
  step_ = 1;
  setDown(false);
}

// A button that is disabled or hidden while held never sees the release: stop repeating then,
// so a nudge cannot run away.
void RepeatButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) stopRepeat();
  QPushButton::changeEvent(event);
}

void RepeatButton::hideEvent(QHideEvent* event) {
  stopRepeat();
  QPushButton::hideEvent(event);
}

void RepeatButton::focusOutEvent(QFocusEvent* event) {
  // A modal box opened by the action takes the mouse away; the release then goes elsewhere.
  if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
    stopRepeat();
  QPushButton::focusOutEvent(event);
}

}  // namespace kelo::ui

#include "ui/OptionDialog.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>

#include "ui/DialogUnits.h"

namespace kelo::ui {

OptionDialog::OptionDialog(const QString& title, int helpContext, QSize size, QWidget* parent)
    : QDialog(parent), helpContext_(helpContext) {
  setWindowTitle(title);
  setFont(dialogFont());
  setFixedSize(dluX(size.width()), dluY(size.height()));
}

void OptionDialog::addButtons(int y, int okX, int cancelX, int helpX, int helpWidth) {
  ok_ = placeControl(new QPushButton(QStringLiteral("确认"), this), "ok", okX, y, 50, 14);
  cancel_ = placeControl(new QPushButton(QStringLiteral("取消"), this), "cancel", cancelX, y, 50, 14);
  auto* help = placeControl(new QPushButton(QStringLiteral("帮助"), this), "help", helpX, y, helpWidth, 14);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &OptionDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &OptionDialog::reject);
  connect(help, &QPushButton::clicked, this, [this] { emit helpRequested(helpContext_); });
}

void OptionDialog::checkOnLeave(QLineEdit* edit) { edit->installEventFilter(this); }

void OptionDialog::checkNow(QLineEdit* edit) {
  const bool was = checking_;
  checking_ = true;
  fieldLeft(edit);
  checking_ = was;
}

bool OptionDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && !checking_ && isVisible() && QApplication::focusWidget() != cancel_) {
    if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && edit->isEnabled()) checkNow(edit);
  }
  return QDialog::eventFilter(watched, event);
}

void OptionDialog::reject() {
  checking_ = true;
  QDialog::reject();
  checking_ = false;
}

}  // namespace kelo::ui

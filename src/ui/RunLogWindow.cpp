#include "ui/RunLogWindow.h"

#include <QListWidget>
#include <QPushButton>

#include "ui/DialogUnits.h"

namespace kelo::ui {

RunLogWindow::RunLogWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Kelo 运行记录"));
  setFont(dialogFont());
  setModal(false);
  setFixedSize(dluX(284), dluY(318));

  list_ = placeControl(new QListWidget(this), "lines", 7, 7, 270, 284);
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->setSortingEnabled(false);
  list_->setWordWrap(false);
  // Long lines stay reachable: the horizontal range follows the widest line as measured in the
  // list's own font.
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

  auto* close = placeControl(new QPushButton(QStringLiteral("关闭"), this), "close", 117, 297, 50, 14);
  close->setDefault(true);
  // Closing only hides the window; the lines stay for the next look.
  connect(close, &QPushButton::clicked, this, &QDialog::hide);
}

void RunLogWindow::appendLine(const QString& line) { list_->addItem(line); }

void RunLogWindow::appendLines(const QStringList& lines) { list_->addItems(lines); }

void RunLogWindow::clearLines() { list_->clear(); }

QStringList RunLogWindow::lines() const {
  QStringList out;
  out.reserve(list_->count());
  for (int i = 0; i < list_->count(); ++i) out.append(list_->item(i)->text());
  return out;
}

}  // namespace kelo::ui

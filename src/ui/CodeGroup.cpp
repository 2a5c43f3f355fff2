#include "ui/CodeGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "settings/SettingsFields.h"
#include "ui/RepeatButton.h"
#include "ui/DateFormatCombo.h"

namespace kelo::ui {

using settings::CornerPreset;

namespace {

bool isTop(CornerPreset c) { return c == CornerPreset::TopLeft || c == CornerPreset::TopCentre || c == CornerPreset::TopRight; }
bool isRight(CornerPreset c) { return c == CornerPreset::TopRight || c == CornerPreset::BottomRight; }
bool isCentre(CornerPreset c) { return c == CornerPreset::TopCentre || c == CornerPreset::BottomCentre; }

// Towards the bound: only while below it (unsigned, so a negative value never grows).
int increase(int v, int step, int bound) {
  return static_cast<unsigned>(v) < static_cast<unsigned>(bound) ? v + step : v;
}
// Towards 0: only while above it, and never below it.
int decrease(int v, int step) {
  if (static_cast<unsigned>(v) == 0) return v;
  return static_cast<unsigned>(v) > static_cast<unsigned>(step) ? v - step : 0;
}

// The fifteen items of the time combo: samples of the built-in time formats.
constexpr const char* kTimeItems[settings::kTimeFormatListLength] = {
    "自定义格式", "21:50:38", "21:50", "9:50:38pm", "9:50pm", "09:50:38", "09:50", "09:50:38am",
    "09:50am", "9:50:38:02", "09:50:38:02", "9:50:38.200", "09:50:38.200", "00:00:00:00", "00:00:00",
};
constexpr const char* kCornerItems[] = {"左上角", "中上", "右上角", "左下角", "中下", "右下角"};

int editValue(const QLineEdit* edit) {
  bool ok = false;
  const int v = edit->text().toInt(&ok);
  return ok ? v : 0;
}

}  // namespace

Position nudgePosition(CornerPreset corner, Nudge direction, Position p, int step, int frameWidth,
                       int frameHeight) {
  switch (direction) {
    case Nudge::Up: p.y = isTop(corner) ? decrease(p.y, step) : increase(p.y, step, frameHeight); break;
    case Nudge::Down: p.y = isTop(corner) ? increase(p.y, step, frameHeight) : decrease(p.y, step); break;
    case Nudge::Left: p.x = isRight(corner) ? increase(p.x, step, frameWidth) : decrease(p.x, step); break;
    case Nudge::Right: p.x = isRight(corner) ? decrease(p.x, step) : increase(p.x, step, frameWidth); break;
  }
  return p;
}

int xAfterCornerChange(CornerPreset from, CornerPreset to, int x, int previewWidth) {
  if (from == to) return x;
  if (isCentre(to)) return previewWidth / 2;
  if (isCentre(from)) return 64;
  return x;
}

int mulDivRound(int a, int b, int c) {
  if (c <= 0) return a;
  const long long n = static_cast<long long>(a) * b;
  return static_cast<int>((2 * n + c) / (2LL * c));
}

Position toFramePixels(Position preview, QSize previewSize, int frameHeight) {
  if (frameHeight <= 0 || previewSize.width() <= 0 || previewSize.height() <= 0) return preview;
  // A position shown past the picture's edge is stored at the frame's edge.
  return clampToPicture({mulDivRound(kFrameWidth, preview.x, previewSize.width()),
                         mulDivRound(preview.y, frameHeight, previewSize.height())},
                        QSize(kFrameWidth, frameHeight));
}

Position clampToPicture(Position p, QSize picture) {
  if (picture.width() > 0) p.x = std::clamp(p.x, 0, picture.width());
  if (picture.height() > 0) p.y = std::clamp(p.y, 0, picture.height());
  return p;
}

Position clampToFieldLimits(Position frame) {
  static const settings::FieldInfo* const x = settings::findField("dateCode.x");
  static const settings::FieldInfo* const y = settings::findField("dateCode.y");
  if (x) frame.x = std::clamp(frame.x, x->min, x->max);
  if (y) frame.y = std::clamp(frame.y, y->min, y->max);
  return frame;
}

Position toPreviewPixels(Position frame, QSize previewSize, int frameHeight) {
  if (frameHeight <= 0 || previewSize.width() <= 0 || previewSize.height() <= 0) return frame;
  return {mulDivRound(previewSize.width(), frame.x, kFrameWidth),
          mulDivRound(frame.y, previewSize.height(), frameHeight)};
}

CodeGroup::CodeGroup(bool isDateCode, const settings::StampSettings& settings, QWidget* parent)
    : QObject(parent), isDate_(isDateCode), ids_(isDateCode ? kDateGroupIds : kTimeGroupIds) {
  group_ = new QGroupBox(isDate_ ? QStringLiteral("日期码") : QStringLiteral("时间码"), parent);
  enable_ = new QCheckBox(parent);
  xLabel_ = new QLabel(QStringLiteral("x"), parent);
  yLabel_ = new QLabel(QStringLiteral("y"), parent);
  x_ = new QLineEdit(parent);
  y_ = new QLineEdit(parent);
  for (QLineEdit* e : {x_, y_}) {
    e->setValidator(new QIntValidator(0, 99999, e));  // digits only, as the platform's number edits
    e->installEventFilter(this);
  }
  corner_ = new QComboBox(parent);
  for (const char* item : kCornerItems) corner_->addItem(QString::fromUtf8(item));
  if (isDate_) {
    format_ = new DateFormatCombo(settings, parent);
    fillDateFormats(settings.language);
  } else {
    format_ = new QComboBox(parent);
    for (const char* item : kTimeItems) format_->addItem(QString::fromUtf8(item));
  }
  format_->setMaxVisibleItems(settings::kTimeFormatListLength);
  up_ = new RepeatButton(ids_.up, QStringLiteral("^"), parent);
  down_ = new RepeatButton(ids_.down, QStringLiteral("v"), parent);
  left_ = new RepeatButton(ids_.left, QStringLiteral("<"), parent);
  right_ = new RepeatButton(ids_.right, QStringLiteral(">"), parent);
  font_ = new QPushButton(QStringLiteral("字体"), parent);
  interval_ = new QPushButton(QStringLiteral("区间"), parent);
  group_->lower();  // the frame stays behind the controls it encloses

  connect(enable_, &QCheckBox::clicked, this, &CodeGroup::enableClicked);
  connect(format_, &QComboBox::activated, this, &CodeGroup::formatActivated);
  connect(corner_, &QComboBox::activated, this, &CodeGroup::cornerActivated);
  for (RepeatButton* b : {up_, down_, left_, right_})
    connect(b, &RepeatButton::action, this, &CodeGroup::nudgeAction);
  connect(font_, &QPushButton::clicked, this, &CodeGroup::fontClicked);
  connect(interval_, &QPushButton::clicked, this, &CodeGroup::intervalClicked);
}

void CodeGroup::collectControls(std::map<int, QWidget*>& c) const {
  c[ids_.group] = group_;
  c[ids_.enable] = enable_;
  c[ids_.xLabel] = xLabel_;
  c[ids_.xEdit] = x_;
  c[ids_.yLabel] = yLabel_;
  c[ids_.yEdit] = y_;
  c[ids_.corner] = corner_;
  c[ids_.format] = format_;
  c[ids_.up] = up_;
  c[ids_.down] = down_;
  c[ids_.left] = left_;
  c[ids_.right] = right_;
  c[ids_.font] = font_;
  c[ids_.interval] = interval_;
}

void CodeGroup::show() {
  enable_->setChecked(enabled);
  format_->setCurrentIndex(formatIndex >= 0 && formatIndex < format_->count() ? formatIndex : -1);
  corner_->setCurrentIndex(static_cast<int>(corner));
  x_->setText(QString::number(preview.x));
  y_->setText(QString::number(preview.y));
}

void CodeGroup::read() {
  enabled = enable_->isChecked();
  if (format_->currentIndex() >= 0) formatIndex = format_->currentIndex();
  if (corner_->currentIndex() >= 0) corner = static_cast<CornerPreset>(corner_->currentIndex());
  preview = {editValue(x_), editValue(y_)};
}

void CodeGroup::applyEnabling(bool idle) {
  enable_->setEnabled(idle);
  const bool on = idle && enable_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{format_, x_, y_, corner_, up_, down_, left_, right_, font_, interval_})
    w->setEnabled(on);
}

void CodeGroup::fillDateFormats(int language) {
  if (!isDate_) return;
  const int keep = format_->currentIndex();
  format_->clear();
  const int n = settings::dateFormatListLength(language);
  for (int i = 0; i < n; ++i) format_->addItem(QString::number(i));
  if (keep >= 0 && keep < n) format_->setCurrentIndex(keep);
}

RepeatButton* CodeGroup::nudgeButton(Nudge n) const {
  switch (n) {
    case Nudge::Up: return up_;
    case Nudge::Down: return down_;
    case Nudge::Left: return left_;
    case Nudge::Right: return right_;
  }
  return up_;
}

bool CodeGroup::nudgeOf(int id, Nudge& out) const {
  if (id == ids_.up) out = Nudge::Up;
  else if (id == ids_.down) out = Nudge::Down;
  else if (id == ids_.left) out = Nudge::Left;
  else if (id == ids_.right) out = Nudge::Right;
  else return false;
  return true;
}

bool CodeGroup::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    if (watched == x_) emit xLeft();
    else if (watched == y_) emit yLeft();
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace kelo::ui

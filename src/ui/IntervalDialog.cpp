#include "ui/IntervalDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <algorithm>

#include "settings/SettingsFields.h"
#include "ui/DialogUnits.h"

namespace kelo::ui {

namespace {

using settings::IntervalMode;

// Digits only, no sign; six digits keep every duration within the settings' limit.
QLineEdit* makeNumberEdit(QWidget* parent, int id, int x, int y) {
  auto* edit = placeControl(new QLineEdit(parent), id, x, y, 24, 12);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), edit));
  edit->setAlignment(Qt::AlignRight);
  return edit;
}

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, int w) {
  return placeControl(new QLabel(text, parent), 0, x, y + 2, w, 8);
}

// Unreadable text counts as 0, which the checks then correct.
unsigned readNumber(const QLineEdit* edit) {
  bool ok = false;
  const unsigned value = edit->text().toUInt(&ok);
  return ok ? value : 0u;
}

// Stored values that a file left negative show as 0 rather than as a number the edit cannot hold.
unsigned fromStored(int32_t value) { return value < 0 ? 0u : static_cast<unsigned>(value); }
int32_t toStored(unsigned value) {
  return static_cast<int32_t>(value > static_cast<unsigned>(settings::kMaxSeconds) ? settings::kMaxSeconds : value);
}

bool modeHasFadeAndDelay(int mode) { return mode >= 1 && mode <= 5; }

}  // namespace

IntervalDialog::IntervalDialog(settings::StampSettings& settings, settings::StampCodeSettings& code,
                             engine::Prompter& prompter, QWidget* parent)
    : QDialog(parent), settings_(settings), code_(code), prompter_(prompter) {
  setWindowTitle(QStringLiteral("Kelo 加码区间"));
  setFont(dialogFont());
  setFixedSize(dluX(262), dluY(184));

  const QString modeTexts[7] = {
      QStringLiteral("每幅图像都加码"),
      QStringLiteral("当场景变化时，加码"),
      QStringLiteral("当日期变化时，加码"),
      QStringLiteral("每"),
      QStringLiteral("每逢开始标记加码"),
      QStringLiteral("在开始标记和结束标记之间加码"),
      QStringLiteral("在开始标记和结束标记之间加码，在开始标记处时间设零。"),
  };
  const int modeWidths[7] = {120, 86, 86, 22, 78, 140, 240};
  for (int i = 0; i < 7; ++i) {
    modeButtons_[static_cast<std::size_t>(i)] =
        placeControl(new QRadioButton(modeTexts[i], this), 1037 + i, 7, 7 + 14 * i, modeWidths[i], 12);
  }
  // Mode 1: scene change.
  sceneEdit_ = makeNumberEdit(this, 1029, 94, 21);
  makeLabel(this, QStringLiteral("秒钟。间断"), 121, 21, 44);
  sceneGapEdit_ = makeNumberEdit(this, 1035, 166, 21);
  makeLabel(this, QStringLiteral("秒以上为变化。"), 193, 21, 62);
  // Mode 2: date change.
  dateEdit_ = makeNumberEdit(this, 1025, 94, 35);
  makeLabel(this, QStringLiteral("秒钟。"), 121, 35, 30);
  // Mode 3: periodic.
  periodEdit_ = makeNumberEdit(this, 1032, 31, 49);
  makeLabel(this, QStringLiteral("秒钟加码"), 58, 49, 36);
  periodLengthEdit_ = makeNumberEdit(this, 1031, 94, 49);
  makeLabel(this, QStringLiteral("秒钟。"), 121, 49, 30);
  // Mode 4: start markers.
  markerEdit_ = makeNumberEdit(this, 1033, 94, 63);
  makeLabel(this, QStringLiteral("秒钟。"), 121, 63, 30);

  placeControl(new QGroupBox(QStringLiteral("淡入/淡出"), this), 0, 7, 108, 122, 46);
  fadeBox_ = placeControl(new QCheckBox(QStringLiteral("运用"), this), 1017, 13, 122, 50, 10);
  makeLabel(this, QStringLiteral("用"), 13, 136, 10);
  fadeEdit_ = makeNumberEdit(this, 1028, 24, 136);
  makeLabel(this, QStringLiteral("秒钟淡入/淡出"), 51, 136, 70);

  placeControl(new QGroupBox(QStringLiteral("延时加码"), this), 0, 135, 108, 120, 46);
  delayBox_ = placeControl(new QCheckBox(QStringLiteral("运用"), this), 1018, 141, 122, 50, 10);
  makeLabel(this, QStringLiteral("延迟"), 141, 136, 18);
  delayEdit_ = makeNumberEdit(this, 1034, 160, 136);
  makeLabel(this, QStringLiteral("秒钟再开始加码"), 187, 136, 64);

  auto* ok = placeControl(new QPushButton(QStringLiteral("确认"), this), 1, 7, 163, 50, 14);
  auto* cancel = placeControl(new QPushButton(QStringLiteral("取消"), this), 2, 65, 163, 50, 14);
  cancelButton_ = cancel;
  auto* help = placeControl(new QPushButton(QStringLiteral("帮助"), this), 9, 205, 163, 50, 14);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &IntervalDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &IntervalDialog::reject);
  connect(help, &QPushButton::clicked, this, [this] { emit helpRequested(kHelpContext); });

  // Working copies of the eleven fields.
  mode_ = static_cast<int>(code_.intervalMode);
  sceneSeconds_ = fromStored(code_.sceneSeconds);
  sceneGapSeconds_ = fromStored(code_.sceneGapSeconds);
  dateChangeSeconds_ = fromStored(code_.dateChangeSeconds);
  periodLengthSeconds_ = fromStored(code_.periodLengthSeconds);
  periodSeconds_ = fromStored(code_.periodSeconds);
  markerSeconds_ = fromStored(code_.markerSeconds);
  fadeOn_ = code_.fadeOn;
  fadeSeconds_ = fromStored(code_.fadeSeconds);
  delayOn_ = code_.delayOn;
  delaySeconds_ = fromStored(code_.delaySeconds);

  // The date code never resets the time to zero at a start marker.
  modeButtons_[6]->setEnabled(!code_.isDateCode);
  showValues();
  applyEnabling();

  for (QRadioButton* button : modeButtons_)
    connect(button, &QRadioButton::clicked, this, [this] {
      readControls();
      applyEnabling();
    });
  for (QCheckBox* box : {fadeBox_, delayBox_})
    connect(box, &QCheckBox::clicked, this, [this] {
      readControls();
      applyEnabling();
    });
  for (QLineEdit* edit : {sceneEdit_, sceneGapEdit_, dateEdit_, periodEdit_, periodLengthEdit_, markerEdit_,
                          fadeEdit_, delayEdit_})
    edit->installEventFilter(this);
}

void IntervalDialog::showValues() {
  for (int i = 0; i < 7; ++i) modeButtons_[static_cast<std::size_t>(i)]->setChecked(i == mode_);
  sceneEdit_->setText(QString::number(sceneSeconds_));
  sceneGapEdit_->setText(QString::number(sceneGapSeconds_));
  dateEdit_->setText(QString::number(dateChangeSeconds_));
  periodEdit_->setText(QString::number(periodSeconds_));
  periodLengthEdit_->setText(QString::number(periodLengthSeconds_));
  markerEdit_->setText(QString::number(markerSeconds_));
  fadeBox_->setChecked(fadeOn_);
  fadeEdit_->setText(QString::number(fadeSeconds_));
  delayBox_->setChecked(delayOn_);
  delayEdit_->setText(QString::number(delaySeconds_));
}

void IntervalDialog::readControls() {
  for (int i = 0; i < 7; ++i)
    if (modeButtons_[static_cast<std::size_t>(i)]->isChecked()) mode_ = i;
  sceneSeconds_ = readNumber(sceneEdit_);
  sceneGapSeconds_ = readNumber(sceneGapEdit_);
  dateChangeSeconds_ = readNumber(dateEdit_);
  periodSeconds_ = readNumber(periodEdit_);
  periodLengthSeconds_ = readNumber(periodLengthEdit_);
  markerSeconds_ = readNumber(markerEdit_);
  fadeOn_ = fadeBox_->isChecked();
  fadeSeconds_ = readNumber(fadeEdit_);
  delayOn_ = delayBox_->isChecked();
  delaySeconds_ = readNumber(delayEdit_);
}

void IntervalDialog::applyEnabling() {
  const auto mode = static_cast<IntervalMode>(mode_);
  sceneEdit_->setEnabled(mode == IntervalMode::OnSceneChange);
  sceneGapEdit_->setEnabled(mode == IntervalMode::OnSceneChange);
  dateEdit_->setEnabled(mode == IntervalMode::OnDateChange);
  periodEdit_->setEnabled(mode == IntervalMode::Periodic);
  periodLengthEdit_->setEnabled(mode == IntervalMode::Periodic);
  markerEdit_->setEnabled(mode == IntervalMode::AtStartMarkers);
  const bool fadeAndDelay = modeHasFadeAndDelay(mode_);
  fadeBox_->setEnabled(fadeAndDelay);
  delayBox_->setEnabled(fadeAndDelay);
  fadeEdit_->setEnabled(fadeAndDelay && fadeBox_->isChecked());
  delayEdit_->setEnabled(fadeAndDelay && delayBox_->isChecked());
}

int IntervalDialog::stampedSeconds() const {
  switch (static_cast<IntervalMode>(mode_)) {
    case IntervalMode::OnSceneChange: return static_cast<int>(sceneSeconds_);
    case IntervalMode::OnDateChange: return static_cast<int>(dateChangeSeconds_);
    case IntervalMode::Periodic: return static_cast<int>(periodLengthSeconds_);
    case IntervalMode::AtStartMarkers: return static_cast<int>(markerSeconds_);
    default: return -1;  // no fixed stamped interval
  }
}

bool IntervalDialog::validateField(int id) {
  readControls();
  applyEnabling();
  bool corrected = false;
  auto warn = [&](const QString& text) {
    prompter_.message(engine::MessageKind::Warning, text.toStdString());
    corrected = true;
  };
  const QString zeroInterval = QStringLiteral("区间长度无效(0 秒)!");
  switch (id) {
    case 1029:
      if (sceneSeconds_ == 0) {
        warn(zeroInterval);
        sceneSeconds_ = 8;
      }
      break;
    case 1025:
      if (dateChangeSeconds_ == 0) {
        warn(zeroInterval);
        dateChangeSeconds_ = 7;
      }
      break;
    case 1031:
    case 1032:
      if (periodLengthSeconds_ == 0) {
        warn(QStringLiteral("加码区间长度无效(0 秒)!"));
        periodLengthSeconds_ = 6;
      }
      // Checked after the first correction too, so a period of 0 or 1 cannot stay behind it.
      if (periodLengthSeconds_ >= periodSeconds_) {
        warn(QStringLiteral("加码区间长度(%1 秒)必须小于周期长度(%2 秒)").arg(periodLengthSeconds_).arg(periodSeconds_));
        periodSeconds_ = 60;
        periodLengthSeconds_ = 6;
      }
      break;
    case 1033:
      if (markerSeconds_ == 0) {
        warn(zeroInterval);
        markerSeconds_ = 8;
      }
      break;
    case 1028: {
      if (fadeSeconds_ == 0) {
        warn(QStringLiteral("淡入/淡出长度无效(0 秒)!"));
        fadeSeconds_ = 1;
      }
      const int stamped = stampedSeconds();
      if (stamped >= 0 && 2u * fadeSeconds_ > static_cast<unsigned>(stamped)) {
        warn(QStringLiteral("淡入/淡出长度(%1 秒)太长：淡入和淡出加起来不能超过加码区间长度(%2 秒)!")
                 .arg(fadeSeconds_)
                 .arg(stamped));
        // Never 0: a fade of no length is invalid in itself.
        fadeSeconds_ = std::max(1u, static_cast<unsigned>(stamped) / 2u);
      }
      break;
    }
    case 1034:
      if (delaySeconds_ == 0) {
        warn(QStringLiteral("延迟长度无效(0 秒)!"));
        delaySeconds_ = 1;
      }
      break;
    default: break;
  }
  if (corrected) {
    showValues();
    applyEnabling();
  }
  return corrected;
}

bool IntervalDialog::eventFilter(QObject* watched, QEvent* event) {
  // Leaving a field for Cancel, or because the dialog closes, discards the values: no check.
  if (event->type() == QEvent::FocusOut && !validating_ && isVisible() &&
      QApplication::focusWidget() != cancelButton_) {
    if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && edit->isEnabled()) {
      // A message box taking the focus must not run the check a second time.
      validating_ = true;
      validateField(edit->objectName().toInt());
      validating_ = false;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void IntervalDialog::reject() {
  validating_ = true;
  QDialog::reject();
  validating_ = false;
}

void IntervalDialog::accept() {
  // Enter in a number field closes the dialog without leaving the field: check every field the
  // user can edit, in the order of the template, so nothing out of range is stored.
  validating_ = true;
  for (QLineEdit* edit : {sceneEdit_, dateEdit_, periodEdit_, markerEdit_, fadeEdit_, delayEdit_})
    if (edit->isEnabled()) validateField(edit->objectName().toInt());
  validating_ = false;
  readControls();

  code_.intervalMode = static_cast<IntervalMode>(mode_);
  code_.sceneSeconds = toStored(sceneSeconds_);
  code_.sceneGapSeconds = toStored(sceneGapSeconds_);
  code_.dateChangeSeconds = toStored(dateChangeSeconds_);
  code_.periodLengthSeconds = toStored(periodLengthSeconds_);
  code_.periodSeconds = toStored(periodSeconds_);
  code_.markerSeconds = toStored(markerSeconds_);
  code_.fadeOn = fadeOn_;
  code_.fadeSeconds = toStored(fadeSeconds_);
  code_.delayOn = delayOn_;
  code_.delaySeconds = toStored(delaySeconds_);
  settings_.projectModified = true;
  QDialog::accept();
}

}  // namespace kelo::ui

#include "ui/IntervalDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "settings/SettingsFields.h"
#include "ui/DialogUnits.h"

namespace kelo::ui {

namespace {

using settings::IntervalField;
using settings::IntervalMode;
using settings::StampCodeSettings;

// Digits only, no sign; six digits keep every duration within the settings' limit.
QLineEdit* makeNumberEdit(QWidget* parent, const char* name, int x, int y) {
  auto* edit = placeControl(new QLineEdit(parent), name, x, y, 24, 12);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), edit));
  edit->setAlignment(Qt::AlignRight);
  return edit;
}

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, int w) {
  return placeControl(new QLabel(text, parent), "", x, y + 2, w, 8);
}

// Unreadable text counts as 0, which the checks then correct.
int32_t readNumber(const QLineEdit* edit) {
  bool ok = false;
  const int value = edit->text().toInt(&ok);
  return ok ? std::min(value, settings::kMaxSeconds) : 0;
}

// The radio buttons, in mode order.
constexpr struct {
  const char* name;
  const char* text;
  int width;
} kModes[7] = {
    {"everyFrame", "每幅图像都加码", 120},
    {"onSceneChange", "当场景变化时，加码", 86},
    {"onDateChange", "当日期变化时，加码", 86},
    {"periodic", "每", 22},
    {"atStartMarkers", "每逢开始标记加码", 78},
    {"betweenMarkers", "在开始标记和结束标记之间加码", 140},
    {"betweenMarkersZeroTime", "在开始标记和结束标记之间加码，在开始标记处时间设零。", 240},
};

}  // namespace

IntervalDialog::IntervalDialog(settings::StampSettings& settings, StampCodeSettings& code,
                               engine::Prompter& prompter, QWidget* parent)
    : OptionDialog(QStringLiteral("Kelo 加码区间"), kHelpContext, QSize(262, 184), parent),
      settings_(settings),
      code_(code),
      prompter_(prompter),
      work_(code) {
  for (int i = 0; i < 7; ++i)
    modeButtons_[static_cast<std::size_t>(i)] = placeControl(new QRadioButton(QString::fromUtf8(kModes[i].text), this),
                                                             kModes[i].name, 7, 7 + 14 * i, kModes[i].width, 12);
  // Mode 1: scene change.
  QLineEdit* scene = makeNumberEdit(this, "sceneSeconds", 94, 21);
  makeLabel(this, QStringLiteral("秒钟。间断"), 121, 21, 44);
  QLineEdit* sceneGap = makeNumberEdit(this, "sceneGapSeconds", 166, 21);
  makeLabel(this, QStringLiteral("秒以上为变化。"), 193, 21, 62);
  // Mode 2: date change.
  QLineEdit* date = makeNumberEdit(this, "dateChangeSeconds", 94, 35);
  makeLabel(this, QStringLiteral("秒钟。"), 121, 35, 30);
  // Mode 3: periodic.
  QLineEdit* period = makeNumberEdit(this, "periodSeconds", 31, 49);
  makeLabel(this, QStringLiteral("秒钟加码"), 58, 49, 36);
  QLineEdit* periodLength = makeNumberEdit(this, "periodLengthSeconds", 94, 49);
  makeLabel(this, QStringLiteral("秒钟。"), 121, 49, 30);
  // Mode 4: start markers.
  QLineEdit* marker = makeNumberEdit(this, "markerSeconds", 94, 63);
  makeLabel(this, QStringLiteral("秒钟。"), 121, 63, 30);

  placeControl(new QGroupBox(QStringLiteral("淡入/淡出"), this), "", 7, 108, 122, 46);
  fadeEnabled_ = placeControl(new QCheckBox(QStringLiteral("运用"), this), "fadeEnabled", 13, 122, 50, 10);
  makeLabel(this, QStringLiteral("用"), 13, 136, 10);
  QLineEdit* fade = makeNumberEdit(this, "fadeSeconds", 24, 136);
  makeLabel(this, QStringLiteral("秒钟淡入/淡出"), 51, 136, 70);

  placeControl(new QGroupBox(QStringLiteral("延时加码"), this), "", 135, 108, 120, 46);
  delayEnabled_ = placeControl(new QCheckBox(QStringLiteral("运用"), this), "delayEnabled", 141, 122, 50, 10);
  makeLabel(this, QStringLiteral("延迟"), 141, 136, 18);
  QLineEdit* delay = makeNumberEdit(this, "delaySeconds", 160, 136);
  makeLabel(this, QStringLiteral("秒钟再开始加码"), 187, 136, 64);

  addButtons(163, 7, 65, 205);

  // In the order of the template, which is the order OK checks them in.
  numbers_ = {{
      {scene, &StampCodeSettings::sceneSeconds, IntervalField::SceneSeconds},
      {sceneGap, &StampCodeSettings::sceneGapSeconds, IntervalField::SceneGapSeconds},
      {date, &StampCodeSettings::dateChangeSeconds, IntervalField::DateChangeSeconds},
      {period, &StampCodeSettings::periodSeconds, IntervalField::PeriodSeconds},
      {periodLength, &StampCodeSettings::periodLengthSeconds, IntervalField::PeriodLengthSeconds},
      {marker, &StampCodeSettings::markerSeconds, IntervalField::MarkerSeconds},
      {fade, &StampCodeSettings::fadeSeconds, IntervalField::FadeSeconds},
      {delay, &StampCodeSettings::delaySeconds, IntervalField::DelaySeconds},
  }};
  // Values a file left negative show as 0 rather than as a number the edit cannot hold.
  for (const NumberField& n : numbers_) work_.*n.member = std::max(0, work_.*n.member);

  // The date code never resets the time to zero at a start marker.
  modeButtons_[6]->setEnabled(!code_.isDateCode);
  showValues();
  applyEnabling();

  for (QRadioButton* button : modeButtons_)
    connect(button, &QRadioButton::clicked, this, [this] {
      readControls();
      applyEnabling();
    });
  for (QCheckBox* box : {fadeEnabled_, delayEnabled_})
    connect(box, &QCheckBox::clicked, this, [this] {
      readControls();
      applyEnabling();
    });
  for (const NumberField& n : numbers_) checkOnLeave(n.edit);
}

void IntervalDialog::showValues() {
  const int mode = static_cast<int>(work_.intervalMode);
  for (int i = 0; i < 7; ++i) modeButtons_[static_cast<std::size_t>(i)]->setChecked(i == mode);
  for (const NumberField& n : numbers_) n.edit->setText(QString::number(work_.*n.member));
  fadeEnabled_->setChecked(work_.fadeOn);
  delayEnabled_->setChecked(work_.delayOn);
}

void IntervalDialog::readControls() {
  for (int i = 0; i < 7; ++i)
    if (modeButtons_[static_cast<std::size_t>(i)]->isChecked()) work_.intervalMode = static_cast<IntervalMode>(i);
  for (const NumberField& n : numbers_) work_.*n.member = readNumber(n.edit);
  work_.fadeOn = fadeEnabled_->isChecked();
  work_.delayOn = delayEnabled_->isChecked();
}

void IntervalDialog::applyEnabling() {
  const IntervalMode mode = work_.intervalMode;
  const bool fadeAndDelay = settings::modeHasFadeAndDelay(mode);
  for (const NumberField& n : numbers_) {
    bool on = false;
    switch (n.field) {
      case IntervalField::SceneSeconds:
      case IntervalField::SceneGapSeconds: on = mode == IntervalMode::OnSceneChange; break;
      case IntervalField::DateChangeSeconds: on = mode == IntervalMode::OnDateChange; break;
      case IntervalField::PeriodSeconds:
      case IntervalField::PeriodLengthSeconds: on = mode == IntervalMode::Periodic; break;
      case IntervalField::MarkerSeconds: on = mode == IntervalMode::AtStartMarkers; break;
      case IntervalField::FadeSeconds: on = fadeAndDelay && fadeEnabled_->isChecked(); break;
      case IntervalField::DelaySeconds: on = fadeAndDelay && delayEnabled_->isChecked(); break;
    }
    n.edit->setEnabled(on);
  }
  fadeEnabled_->setEnabled(fadeAndDelay);
  delayEnabled_->setEnabled(fadeAndDelay);
}

void IntervalDialog::fieldLeft(QLineEdit* edit) {
  readControls();
  applyEnabling();
  for (const NumberField& n : numbers_) {
    if (n.edit != edit) continue;
    const std::vector<std::u16string> warnings = settings::correctIntervalField(work_, n.field);
    for (const std::u16string& w : warnings)
      prompter_.message(engine::MessageKind::Warning, QString::fromStdU16String(w).toStdString());
    if (!warnings.empty()) {
      showValues();
      applyEnabling();
    }
  }
}

void IntervalDialog::accept() {
  // Enter in a number field closes the dialog without leaving the field: check every field the
  // user can edit, so nothing out of range is stored.
  for (const NumberField& n : numbers_)
    if (n.edit->isEnabled()) checkNow(n.edit);
  readControls();
  code_ = work_;
  settings_.projectModified = true;
  QDialog::accept();
}

}  // namespace kelo::ui

#include "ui/PreferencesDialog.h"

#include <QCheckBox>
#include <QComboBox>
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

// The correction fields in the order of their controls, with their settings fields.
struct AdjustField {
  const char* label;
  const char* field;
  int32_t settings::StampSettings::*member;
};
constexpr AdjustField kAdjustFields[6] = {
    {"年", "adjustYears", &settings::StampSettings::adjustYears},
    {"月", "adjustMonths", &settings::StampSettings::adjustMonths},
    {"日", "adjustDays", &settings::StampSettings::adjustDays},
    {"时", "adjustHours", &settings::StampSettings::adjustHours},
    {"分", "adjustMinutes", &settings::StampSettings::adjustMinutes},
    {"秒", "adjustSeconds", &settings::StampSettings::adjustSeconds},
};

constexpr qsizetype kMaxPatternLength = 99;

constexpr const char* kSizeNames[4] = {"previewFrameSize", "preview720x540", "preview640x480", "preview720x405"};

}  // namespace

PreferencesDialog::PreferencesDialog(settings::StampSettings& settings, engine::Prompter& prompter, QWidget* parent)
    : OptionDialog(QStringLiteral("Kelo 个性化设置"), kHelpContext, QSize(300, 244), parent),
      settings_(settings),
      prompter_(prompter) {

  placeControl(new QGroupBox(QStringLiteral("语言"), this), "", 7, 7, 80, 62);
  languageBox_ = placeControl(new QComboBox(this), "language", 14, 22, 66, 14);
  languageBox_->addItem(QStringLiteral("数字"));
  languageBox_->addItem(QStringLiteral("中文"));

  placeControl(new QGroupBox(QStringLiteral("预览区大小"), this), "", 93, 7, 200, 62);
  const QString sizeTexts[4] = {
      QStringLiteral("原始尺寸 (PAL: 720x576, NTSC: 720x480)"),
      QStringLiteral("720x540 (宽高比: 4:3)"),
      QStringLiteral("640x480  (宽高比: 4:3)"),
      QStringLiteral("720x405  (宽高比: 16:9)"),
  };
  for (int i = 0; i < 4; ++i)
    sizeButtons_[static_cast<std::size_t>(i)] =
        placeControl(new QRadioButton(sizeTexts[i], this), kSizeNames[i], 100, 19 + 12 * i, 188, 11);

  placeControl(new QGroupBox(QStringLiteral("时间调整"), this), "", 7, 74, 286, 30);
  for (int i = 0; i < 6; ++i) {
    const AdjustField& f = kAdjustFields[i];
    auto* edit = placeControl(new QLineEdit(this), f.field, 14 + 47 * i, 86, 28, 12);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,4}")), edit));
    edit->setAlignment(Qt::AlignRight);
    checkOnLeave(edit);
    adjustEdits_[static_cast<std::size_t>(i)] = edit;
    placeControl(new QLabel(QString::fromUtf8(f.label), this), "", 45 + 47 * i, 88, 12, 8);
  }

  creationBox_ = placeControl(new QCheckBox(QStringLiteral("用录像的第一个时间码作为加码录像的创建时间。"), this),
                              "creationTimeFromFirstTimecode", 7, 110, 286, 10);
  modificationBox_ = placeControl(
      new QCheckBox(QStringLiteral("用录像的最后一个时间码作为加码录像的修改时间。"), this),
      "modificationTimeFromLastTimecode", 7, 124, 286, 10);
  renameBox_ = placeControl(new QCheckBox(QStringLiteral("加码录像文件名改成"), this), "renameOutput", 7, 140, 88, 10);
  patternEdit_ = placeControl(new QLineEdit(this), "outputNamePattern", 98, 139, 195, 12);

  placeControl(new QGroupBox(QStringLiteral("标记文件"), this), "", 7, 156, 286, 28);
  markersBox_ =
      placeControl(new QCheckBox(QStringLiteral("保存所有开始/结束标记到一个文件。"), this), "markersInOneFile", 14, 170, 272, 10);
  placeControl(new QGroupBox(QStringLiteral("TCB (Time Code Burn)"), this), "", 7, 188, 286, 28);
  tcbBox_ = placeControl(new QCheckBox(QStringLiteral("如果可能的话，用磁带上的时间码作为TCB码。"), this), "tapeTimecodeAsTcb",
                         14, 202, 272, 10);

  addButtons(224, 7, 65, 243);

  // Show the stored values. A language or preview size the dialog does not offer (from a stored
  // file) shows as no choice and is kept unless the user picks one.
  languageBox_->setCurrentIndex(settings_.language == 0 || settings_.language == 1 ? settings_.language : -1);
  const int size = static_cast<int>(settings_.previewSize);
  for (int i = 0; i < 4; ++i) sizeButtons_[static_cast<std::size_t>(i)]->setChecked(i == size);
  for (int i = 0; i < 6; ++i)
    adjustEdits_[static_cast<std::size_t>(i)]->setText(QString::number(settings_.*kAdjustFields[i].member));
  for (int i = 0; i < 6; ++i) clampField(i);
  creationBox_->setChecked(settings_.creationTimeFromFirstTimecode);
  modificationBox_->setChecked(settings_.modificationTimeFromLastTimecode);
  renameBox_->setChecked(settings_.renameOutput);
  patternEdit_->setText(QString::fromStdU16String(settings::textOf(settings_.outputNamePattern)));
  markersBox_->setChecked(settings_.markersInOneFile);
  tcbBox_->setChecked(settings_.tapeTimecodeAsTcb);
  readControls();

  for (QRadioButton* button : sizeButtons_) connect(button, &QRadioButton::clicked, this, &PreferencesDialog::readControls);
  for (QCheckBox* box : {creationBox_, modificationBox_, renameBox_, markersBox_, tcbBox_})
    connect(box, &QCheckBox::clicked, this, &PreferencesDialog::readControls);
  connect(patternEdit_, &QLineEdit::textEdited, this, &PreferencesDialog::readControls);
}

// The controls hold the working values; the one rule between them is the pattern's enabling.
void PreferencesDialog::readControls() { patternEdit_->setEnabled(renameBox_->isChecked()); }

void PreferencesDialog::clampField(int index) {
  const AdjustField& f = kAdjustFields[index];
  QLineEdit* edit = adjustEdits_[static_cast<std::size_t>(index)];
  const settings::FieldInfo* info = settings::findField(f.field);
  const int32_t min = info ? info->min : 0;
  const int32_t max = info ? info->max : 0;
  bool ok = false;
  const int value = edit->text().toInt(&ok);
  const int clamped = std::clamp(ok ? value : 0, min, max);
  const QString shown = QString::number(clamped);
  if (edit->text() != shown) edit->setText(shown);
}

void PreferencesDialog::fieldLeft(QLineEdit* edit) {
  for (int i = 0; i < 6; ++i)
    if (edit == adjustEdits_[static_cast<std::size_t>(i)]) clampField(i);
}

void PreferencesDialog::accept() {
  // Enter may close the dialog while a correction field still has the focus.
  for (int i = 0; i < 6; ++i) clampField(i);
  readControls();

  const QString pattern = patternEdit_->text();
  if (pattern.size() > kMaxPatternLength) {
    prompter_.message(engine::MessageKind::Warning, "格式太长，尾巴切掉了一些。");
    patternEdit_->setText(pattern.left(kMaxPatternLength));
  }

  const int32_t oldLanguage = settings_.language;
  // A date entry the new language's list does not have falls back to the first built-in one.
  if (languageBox_->currentIndex() >= 0 && languageBox_->currentIndex() != oldLanguage)
    settings::changeLanguage(settings_, languageBox_->currentIndex());
  for (int i = 0; i < 4; ++i)
    if (sizeButtons_[static_cast<std::size_t>(i)]->isChecked())
      settings_.previewSize = static_cast<settings::PreviewSize>(i);
  for (int i = 0; i < 6; ++i)
    settings_.*kAdjustFields[i].member = adjustEdits_[static_cast<std::size_t>(i)]->text().toInt();
  settings_.creationTimeFromFirstTimecode = creationBox_->isChecked();
  settings_.modificationTimeFromLastTimecode = modificationBox_->isChecked();
  settings_.renameOutput = renameBox_->isChecked();
  settings::setText(settings_.outputNamePattern, pattern.toStdU16String());
  settings_.markersInOneFile = markersBox_->isChecked();
  settings_.tapeTimecodeAsTcb = tcbBox_->isChecked();

  languageChanged_ = settings_.language != oldLanguage;
  settings_.projectModified = true;
  QDialog::accept();
}

}  // namespace kelo::ui

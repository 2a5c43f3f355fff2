#pragma once
// The interval dialog of one code: when it is stamped (seven modes), fade in/out and delay.
// Number fields are checked as the user leaves them and corrected with a warning (the rules of
// settings/IntervalRules.h); OK writes the values into the code (and marks the project
// modified), Cancel writes nothing.
#include <array>

#include "engine/RunObserver.h"
#include "settings/IntervalRules.h"
#include "settings/StampSettings.h"
#include "ui/OptionDialog.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace kelo::ui {

class IntervalDialog : public OptionDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 0x200A1;

  // `code` is the date code or the time code block of `settings`; warnings go to `prompter`.
  IntervalDialog(settings::StampSettings& settings, settings::StampCodeSettings& code,
                 engine::Prompter& prompter, QWidget* parent = nullptr);

  void accept() override;

 protected:
  void fieldLeft(QLineEdit* edit) override;

 private:
  // One number edit and the field it holds.
  struct NumberField {
    QLineEdit* edit;
    int32_t settings::StampCodeSettings::*member;
    settings::IntervalField field;
  };

  void readControls();
  void showValues();
  void applyEnabling();

  settings::StampSettings& settings_;
  settings::StampCodeSettings& code_;
  engine::Prompter& prompter_;
  settings::StampCodeSettings work_;  // what the dialog shows

  std::array<QRadioButton*, 7> modeButtons_{};
  std::array<NumberField, 8> numbers_{};
  QCheckBox* fadeEnabled_ = nullptr;
  QCheckBox* delayEnabled_ = nullptr;
};

}  // namespace kelo::ui

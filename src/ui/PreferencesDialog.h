#pragma once
// The preferences dialog: stamp language, preview size, date/time correction, file-time rules,
// output renaming, the marker file rule and the TCB rule. Correction fields are clamped to their
// ranges as the user leaves them. OK writes everything into the settings (and marks the project
// modified); Cancel writes nothing. After OK the main window checks `languageChanged()` to refill
// its date format combo.
#include <array>

#include "engine/RunObserver.h"
#include "settings/StampSettings.h"
#include "ui/OptionDialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace kelo::ui {

class PreferencesDialog : public OptionDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 0x2009D;

  PreferencesDialog(settings::StampSettings& settings, engine::Prompter& prompter,
              QWidget* parent = nullptr);

  // After OK: the stamp language differs from the one the dialog opened with.
  bool languageChanged() const { return languageChanged_; }

  void accept() override;

 protected:
  void fieldLeft(QLineEdit* edit) override;

 private:
  void readControls();
  void clampField(int index);

  settings::StampSettings& settings_;
  engine::Prompter& prompter_;
  bool languageChanged_ = false;

  QComboBox* languageBox_ = nullptr;                 
  std::array<QRadioButton*, 4> sizeButtons_{};       
  std::array<QLineEdit*, 6> adjustEdits_{};          
  QCheckBox* creationBox_ = nullptr;                 
  QCheckBox* modificationBox_ = nullptr;             
  QCheckBox* renameBox_ = nullptr;                   
  QLineEdit* patternEdit_ = nullptr;                 
  QCheckBox* markersBox_ = nullptr;                  
  QCheckBox* tcbBox_ = nullptr;                      
};

}  // namespace kelo::ui

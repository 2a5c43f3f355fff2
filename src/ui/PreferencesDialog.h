#pragma once
// The preferences dialog: stamp language, preview size, date/time correction, file-time rules,
// output renaming, the marker file rule and the TCB rule. Correction fields are clamped to their
// ranges as the user leaves them. OK writes everything into the settings (and marks the project
// modified); Cancel writes nothing. After OK the main window checks `languageChanged()` to refill
// its date format combo.
#include <QDialog>
#include <array>

#include "engine/RunObserver.h"
#include "settings/StampSettings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace kelo::ui {

class PreferencesDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 0x2009D;

  PreferencesDialog(settings::StampSettings& settings, engine::Prompter& prompter,
              QWidget* parent = nullptr);

  // After OK: the stamp language differs from the one the dialog opened with.
  bool languageChanged() const { return languageChanged_; }

  void accept() override;

 signals:
  void helpRequested(int context);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void readControls();
  void clampField(int index);

  settings::StampSettings& settings_;
  engine::Prompter& prompter_;
  bool languageChanged_ = false;

  QComboBox* languageBox_ = nullptr;                 // 1039
  std::array<QRadioButton*, 4> sizeButtons_{};       // 1067..1070
  std::array<QLineEdit*, 6> adjustEdits_{};          // 1048, 1049, 1040, 1041, 1042, 1043
  QCheckBox* creationBox_ = nullptr;                 // 1044
  QCheckBox* modificationBox_ = nullptr;             // 1045
  QCheckBox* renameBox_ = nullptr;                   // 1075
  QLineEdit* patternEdit_ = nullptr;                 // 1076
  QCheckBox* markersBox_ = nullptr;                  // 1046
  QCheckBox* tcbBox_ = nullptr;                      // 1047
};

}  // namespace kelo::ui

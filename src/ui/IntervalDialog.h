#pragma once
// The interval dialog of one code: when it is stamped (seven modes), fade in/out and delay.
// Number fields are checked as the user leaves them and corrected with a warning; OK writes the
// values into the code (and marks the project modified), Cancel writes nothing.
#include <QDialog>
#include <array>

#include "engine/RunObserver.h"
#include "settings/StampSettings.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace kelo::ui {

class IntervalDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 0x200A1;

  // `code` is the date code or the time code block of `settings`; warnings go to `prompter`.
  IntervalDialog(settings::StampSettings& settings, settings::StampCodeSettings& code,
                engine::Prompter& prompter, QWidget* parent = nullptr);

  void accept() override;
  void reject() override;

 signals:
  void helpRequested(int context);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void readControls();
  void showValues();
  void applyEnabling();
  // Checks the field with control id `id` after it lost the focus; true when it was corrected.
  bool validateField(int id);
  int stampedSeconds() const;

  settings::StampSettings& settings_;
  settings::StampCodeSettings& code_;
  engine::Prompter& prompter_;
  bool validating_ = false;
  QWidget* cancelButton_ = nullptr;

  // Working copies of intervalMode ... delaySeconds.
  int mode_ = 0;
  unsigned sceneSeconds_ = 0;
  unsigned sceneGapSeconds_ = 0;
  unsigned dateChangeSeconds_ = 0;
  unsigned periodLengthSeconds_ = 0;
  unsigned periodSeconds_ = 0;
  unsigned markerSeconds_ = 0;
  bool fadeOn_ = false;
  unsigned fadeSeconds_ = 0;
  bool delayOn_ = false;
  unsigned delaySeconds_ = 0;

  std::array<QRadioButton*, 7> modeButtons_{};
  QLineEdit* sceneEdit_ = nullptr;        // 1029
  QLineEdit* sceneGapEdit_ = nullptr;     // 1035
  QLineEdit* dateEdit_ = nullptr;         // 1025
  QLineEdit* periodEdit_ = nullptr;       // 1032
  QLineEdit* periodLengthEdit_ = nullptr; // 1031
  QLineEdit* markerEdit_ = nullptr;       // 1033
  QCheckBox* fadeBox_ = nullptr;          // 1017
  QLineEdit* fadeEdit_ = nullptr;         // 1028
  QCheckBox* delayBox_ = nullptr;         // 1018
  QLineEdit* delayEdit_ = nullptr;        // 1034
};

}  // namespace kelo::ui

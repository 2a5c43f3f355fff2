#pragma once
// The custom format dialog of one code: edits the code's `customFormat` and previews what it
// gives for 21:26:38 on 22 June 2003 in the current stamp language.
#include <QString>

#include "engine/RunObserver.h"
#include "settings/StampSettings.h"
#include "ui/OptionDialog.h"

class QLineEdit;

namespace kelo::ui {

class CustomFormatDialog : public OptionDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 0x200A3;

  // `code` is the date code or the time code block of `settings`; messages go to `prompter`.
  CustomFormatDialog(settings::StampSettings& settings, settings::StampCodeSettings& code,
              engine::Prompter& prompter, QWidget* parent = nullptr);

  // The preview of `definition` as the dialog shows it (empty when the definition is too long).
  static QString previewText(const QString& definition, int language, bool uppercase);

  void accept() override;

 public slots:
  void preview();


 private:
  settings::StampSettings& settings_;
  settings::StampCodeSettings& code_;
  engine::Prompter& prompter_;
  QLineEdit* definition_ = nullptr;
  QLineEdit* previewField_ = nullptr;
};

}  // namespace kelo::ui

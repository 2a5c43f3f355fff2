#pragma once
// The font and brightness dialog of one code: font, upper case, outline, the two brightness
// sliders and transparency. Works on copies; OK writes them into the code (and marks the project
// modified), Cancel writes nothing.
#include <QFont>
#include <functional>
#include <optional>
#include <utility>

#include "settings/StampSettings.h"
#include "ui/OptionDialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;

namespace kelo::ui {

class AppearanceDialog : public OptionDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 0x200A0;

  // `code` is the date code or the time code block of `settings`.
  AppearanceDialog(settings::StampSettings& settings, settings::StampCodeSettings& code,
                  QWidget* parent = nullptr);

  // The font chooser; by default the platform's QFontDialog. Returns the chosen font, or nothing
  // when the user cancels. Tests replace it.
  using FontChooser = std::function<std::optional<QFont>(const QFont& initial, QWidget* parent)>;
  void setFontChooser(FontChooser chooser) { chooseFont_ = std::move(chooser); }

  // Percentage shown beside a brightness slider: (value + 255) * 100 / 510.
  static int brightnessPercent(int value) { return (value + 255) * 100 / 510; }

  // Conversions between the stored font and Qt's.
  static QFont toQFont(const settings::LogFont& font, int pointSizeTenths);
  static void fromQFont(const QFont& font, settings::LogFont& out, int& pointSizeTenths);

  void accept() override;

 private:
  void readControls();
  void showPercentages();
  void chooseFont();

  settings::StampSettings& settings_;
  settings::StampCodeSettings& code_;
  FontChooser chooseFont_;
  bool modified_ = false;

  // Working copies.
  settings::LogFont font_;
  int pointSizeTenths_ = 0;
  bool uppercase_ = false;
  int fontBrightness_ = 0;
  bool outline_ = false;
  int outlineBrightness_ = 0;
  int transparency_ = 0;

  QPushButton* fontButton_ = nullptr;
  QCheckBox* uppercaseBox_ = nullptr;
  QCheckBox* outlineBox_ = nullptr;
  QSlider* fontSlider_ = nullptr;
  QSlider* outlineSlider_ = nullptr;
  QSlider* transparencySlider_ = nullptr;
  QLineEdit* fontPercent_ = nullptr;
  QLineEdit* outlinePercent_ = nullptr;
  QLineEdit* transparencyPercent_ = nullptr;

  friend class DialogsTest;
};

}  // namespace kelo::ui

#include "ui/AppearanceDialog.h"

#include <QCheckBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <cmath>

#include "ui/DialogUnits.h"
#include "ui/FontFace.h"

namespace kelo::ui {

namespace {

constexpr int kScreenDpi = 96;

// Font height in pixels for a size in tenths of a point: -(tenths * dpi / 720), rounded.
int32_t heightForTenths(int tenths) {
  return -static_cast<int32_t>(std::lround(tenths * static_cast<double>(kScreenDpi) / 720.0));
}

std::optional<QFont> platformFontChooser(const QFont& initial, QWidget* parent) {
  QFontDialog dialog(initial, parent);
  dialog.setWindowTitle(QStringLiteral("字体"));
  dialog.setOptions(QFontDialog::ScalableFonts | QFontDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.selectedFont();
}

QSlider* makeSlider(QWidget* parent, const char* name, int x, int y, int min, int max) {
  auto* slider = placeControl(new QSlider(Qt::Horizontal, parent), name, x, y, 160, 15);
  slider->setRange(min, max);
  slider->setPageStep(16);
  return slider;
}

QLineEdit* makePercentField(QWidget* parent, const char* name, int x, int y) {
  auto* field = placeControl(new QLineEdit(parent), name, x, y, 30, 12);
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::NoFocus);
  field->setAlignment(Qt::AlignRight);
  return field;
}

}  // namespace

QFont AppearanceDialog::toQFont(const settings::LogFont& font, int pointSizeTenths) {
  QFont q;
  q.setFamilies(QStringList{QString::fromStdU16String(settings::textOf(font.lfFaceName))});
  if (pointSizeTenths > 0) {
    q.setPointSizeF(pointSizeTenths / 10.0);
  } else if (font.lfHeight != 0) {
    q.setPixelSize(std::abs(font.lfHeight));
  }
  // LOGFONT weights and Qt 6 weights share the 1..1000 scale; 0 means "any", i.e. normal.
  q.setWeight(static_cast<QFont::Weight>(font.lfWeight > 0 ? std::clamp(font.lfWeight, 1, 1000) : 400));
  q.setItalic(font.lfItalic != 0);
  q.setUnderline(font.lfUnderline != 0);
  q.setStrikeOut(font.lfStrikeOut != 0);
  return q;
}

void AppearanceDialog::fromQFont(const QFont& font, settings::LogFont& out, int& pointSizeTenths) {
  int tenths = 0;
  if (font.pointSizeF() > 0) {
    tenths = static_cast<int>(std::lround(font.pointSizeF() * 10.0));
  } else if (font.pixelSize() > 0) {
    tenths = static_cast<int>(std::lround(font.pixelSize() * 720.0 / kScreenDpi));
  }
  if (tenths <= 0) return;  // a font without a size is no choice at all
  pointSizeTenths = tenths;
  out.lfHeight = heightForTenths(tenths);
  out.lfWidth = 0;
  out.lfWeight = font.weight();
  out.lfItalic = font.italic() ? 1 : 0;
  // The rasteriser draws underline and strike-out, so the chooser's boxes set them.
  out.lfUnderline = font.underline() ? 1 : 0;
  out.lfStrikeOut = font.strikeOut() ? 1 : 0;
  settings::setText(out.lfFaceName, font.family().toStdU16String());
}

AppearanceDialog::AppearanceDialog(settings::StampSettings& settings, settings::StampCodeSettings& code,
                                 QWidget* parent)
    : OptionDialog(QStringLiteral("Kelo 日期码字体和亮度"), kHelpContext, QSize(220, 160), parent),
      settings_(settings),
      code_(code),
      chooseFont_(platformFontChooser) {

  fontButton_ = placeControl(new QPushButton(QStringLiteral("字体"), this), "chooseFont", 7, 7, 50, 14);
  uppercaseBox_ = placeControl(new QCheckBox(QStringLiteral("大写"), this), "uppercase", 70, 9, 50, 10);
  outlineBox_ = placeControl(new QCheckBox(QStringLiteral("轮廓"), this), "outline", 130, 9, 50, 10);

  placeControl(new QGroupBox(QStringLiteral("字体亮度"), this), "", 7, 28, 206, 34);
  fontSlider_ = makeSlider(this, "fontBrightness", 13, 41, -255, 255);
  fontPercent_ = makePercentField(this, "fontBrightnessPercent", 177, 42);
  placeControl(new QGroupBox(QStringLiteral("轮廓亮度"), this), "", 7, 66, 206, 34);
  outlineSlider_ = makeSlider(this, "outlineBrightness", 13, 79, -255, 255);
  outlinePercent_ = makePercentField(this, "outlineBrightnessPercent", 177, 80);
  placeControl(new QGroupBox(QStringLiteral("透明度"), this), "", 7, 104, 206, 34);
  transparencySlider_ = makeSlider(this, "transparency", 13, 117, 0, 90);
  transparencySlider_->setPageStep(10);
  transparencyPercent_ = makePercentField(this, "transparencyPercent", 177, 118);

  addButtons(142, 7, 85, 163);

  // Working copies.
  font_ = code_.font;
  pointSizeTenths_ = code_.pointSizeTenths;
  uppercase_ = code_.uppercase;
  fontBrightness_ = std::clamp(code_.fontBrightness, -255, 255);
  outline_ = code_.outline;
  outlineBrightness_ = std::clamp(code_.outlineBrightness, -255, 255);
  transparency_ = std::clamp(code_.transparency, 0, 90);

  uppercaseBox_->setChecked(uppercase_);
  outlineBox_->setChecked(outline_);
  fontSlider_->setValue(fontBrightness_);
  outlineSlider_->setValue(outlineBrightness_);
  transparencySlider_->setValue(transparency_);
  outlineSlider_->setEnabled(outline_);
  showPercentages();
  modified_ = false;

  // Any slider movement (mouse or keyboard) counts as a change; connected after the initial values.
  for (QSlider* slider : {fontSlider_, outlineSlider_, transparencySlider_})
    connect(slider, &QSlider::valueChanged, this, [this] {
      modified_ = true;
      readControls();
      showPercentages();
    });
  for (QCheckBox* box : {uppercaseBox_, outlineBox_})
    connect(box, &QCheckBox::toggled, this, [this] {
      modified_ = true;
      readControls();
    });
  connect(fontButton_, &QPushButton::clicked, this, &AppearanceDialog::chooseFont);
}

void AppearanceDialog::readControls() {
  uppercase_ = uppercaseBox_->isChecked();
  outline_ = outlineBox_->isChecked();
  fontBrightness_ = fontSlider_->value();
  outlineBrightness_ = outlineSlider_->value();
  transparency_ = transparencySlider_->value();
  outlineSlider_->setEnabled(outline_);
}

void AppearanceDialog::showPercentages() {
  fontPercent_->setText(QStringLiteral("%1%").arg(brightnessPercent(fontSlider_->value())));
  outlinePercent_->setText(QStringLiteral("%1%").arg(brightnessPercent(outlineSlider_->value())));
  transparencyPercent_->setText(QStringLiteral("%1%").arg(transparencySlider_->value()));
}

void AppearanceDialog::chooseFont() {
  if (chooseFont_) {
    // The chooser starts on the face that is really drawn ("Liberation Sans" standing in for a
    // missing "Arial"), so it shows the stored weight and style rather than some unrelated face.
    QFont initial = toQFont(font_, pointSizeTenths_);
    const QString drawn = drawnFamily(initial.family(), font_.lfWeight, font_.lfItalic != 0);
    initial.setFamilies(QStringList{drawn});
    if (std::optional<QFont> chosen = chooseFont_(initial, this)) {
      // Vertical faces ("@" names on Windows) would lay the stamp on its side.
      if (!chosen->family().startsWith(QLatin1Char('@'))) {
        const settings::LogFont stored = font_;
        fromQFont(*chosen, font_, pointSizeTenths_);
        // Keeping the drawn face keeps the stored name, so the project still asks for "Arial".
        if (chosen->family() == drawn)
          std::copy(std::begin(stored.lfFaceName), std::end(stored.lfFaceName), std::begin(font_.lfFaceName));
      }
    }
  }
  // Cancelled or not, the dialog counts as modified: OK then writes the unchanged values back.
  modified_ = true;
  readControls();
  showPercentages();
}

void AppearanceDialog::accept() {
  if (modified_) {
    code_.font = font_;
    code_.pointSizeTenths = pointSizeTenths_;
    code_.uppercase = uppercase_;
    code_.fontBrightness = fontBrightness_;
    code_.outline = outline_;
    code_.outlineBrightness = outlineBrightness_;
    code_.transparency = transparency_;
  }
  settings_.projectModified = true;
  QDialog::accept();
}

}  // namespace kelo::ui

#include "ui/CustomFormatDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <ctime>

#include "platform/Text.h"
#include "render/StampText.h"
#include "ui/DialogUnits.h"

namespace kelo::ui {

namespace {

constexpr qsizetype kMaxFormatLength = 99;

// 21:26:38 on Sunday 22 June 2003, the time the preview shows.
std::tm sampleTime() {
  std::tm t{};
  t.tm_year = 103;
  t.tm_mon = 5;
  t.tm_mday = 22;
  t.tm_hour = 21;
  t.tm_min = 26;
  t.tm_sec = 38;
  t.tm_wday = 0;
  return t;
}

void warn(engine::Prompter& prompter, const char* text) {
  prompter.message(engine::MessageKind::Warning, text);
}

}  // namespace

QString CustomFormatDialog::previewText(const QString& definition, int language, bool uppercase) {
  if (definition.size() > kMaxFormatLength) return {};
  std::u16string text = render::formatSample(definition.toStdU16String(), language, sampleTime());
  if (uppercase) {
    text = render::toUpperText(text);
  } else if (definition.contains(QStringLiteral("%p"))) {
    // Only the first indicator turns lower case, as the stamp itself does.
    std::size_t at = text.find(u"AM");
    if (at == std::u16string::npos) at = text.find(u"PM");
    if (at != std::u16string::npos) {
      text[at] = static_cast<char16_t>(text[at] - u'A' + u'a');
      text[at + 1] = u'm';
    }
  }
  return QString::fromStdU16String(text);
}

CustomFormatDialog::CustomFormatDialog(settings::StampSettings& settings, settings::StampCodeSettings& code,
                         engine::Prompter& prompter, QWidget* parent)
    : OptionDialog(QStringLiteral("Kelo 自定义格式"), kHelpContext, QSize(236, 68), parent),
      settings_(settings),
      code_(code),
      prompter_(prompter) {

  placeControl(new QLabel(QStringLiteral("格式定义"), this), "", 7, 9, 40, 8);
  definition_ = placeControl(new QLineEdit(this), "definition", 50, 7, 179, 12);
  placeControl(new QLabel(QStringLiteral("格式预览"), this), "", 7, 27, 40, 8);
  previewField_ = placeControl(new QLineEdit(this), "formatPreview", 50, 25, 179, 12);
  previewField_->setReadOnly(true);

  addButtons(47, 7, 65, 181, 48);
  auto* previewButton = placeControl(new QPushButton(QStringLiteral("预览"), this), "preview", 123, 47, 50, 14);
  connect(previewButton, &QPushButton::clicked, this, &CustomFormatDialog::preview);

  definition_->setText(QString::fromStdU16String(settings::textOf(code_.customFormat)));
  preview();
}

void CustomFormatDialog::preview() {
  const QString definition = definition_->text();
  if (definition.size() > kMaxFormatLength) {
    warn(prompter_, "格式太长了。");
    return;
  }
  previewField_->setText(previewText(definition, settings_.language, code_.uppercase));
}

void CustomFormatDialog::accept() {
  const QString definition = definition_->text();
  if (definition.size() > kMaxFormatLength) warn(prompter_, "格式太长，尾巴切掉了一些。");
  settings::setText(code_.customFormat, definition.toStdU16String());
  settings_.projectModified = true;
  QDialog::accept();
}

}  // namespace kelo::ui

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
    : QDialog(parent), settings_(settings), code_(code), prompter_(prompter) {
  setWindowTitle(QStringLiteral("Kelo 自定义格式"));
  setFont(dialogFont());
  setFixedSize(dluX(236), dluY(68));

  placeControl(new QLabel(QStringLiteral("格式定义"), this), 0, 7, 9, 40, 8);
  definition_ = placeControl(new QLineEdit(this), 1049, 50, 7, 179, 12);
  placeControl(new QLabel(QStringLiteral("格式预览"), this), 0, 7, 27, 40, 8);
  previewField_ = placeControl(new QLineEdit(this), 1050, 50, 25, 179, 12);
  previewField_->setReadOnly(true);

  auto* ok = placeControl(new QPushButton(QStringLiteral("确认"), this), 1, 7, 47, 50, 14);
  auto* cancel = placeControl(new QPushButton(QStringLiteral("取消"), this), 2, 65, 47, 50, 14);
  auto* previewButton = placeControl(new QPushButton(QStringLiteral("预览"), this), 3, 123, 47, 50, 14);
  auto* help = placeControl(new QPushButton(QStringLiteral("帮助"), this), 9, 181, 47, 48, 14);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CustomFormatDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &CustomFormatDialog::reject);
  connect(previewButton, &QPushButton::clicked, this, &CustomFormatDialog::preview);
  connect(help, &QPushButton::clicked, this, [this] { emit helpRequested(kHelpContext); });

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

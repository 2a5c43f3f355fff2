#include "ui/Help.h"

#include <QDesktopServices>
#include <QFileInfo>

#include "ui/QtPrompter.h"

namespace kelo::ui {

HelpOpener::HelpOpener(QtPrompter& prompter)
    : prompter_(prompter), open_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

QString HelpOpener::pagePath(int context) {
  return QStringLiteral(KELO_SHARE_DIR "/help/0x%1.html").arg(QString::number(context, 16).toUpper());
}

bool HelpOpener::show(int context) {
  const QString path = pagePath(context);
  if (!QFileInfo::exists(path)) {
    prompter_.warn(QStringLiteral("找不到帮助页：%1").arg(path));
    return false;
  }
  if (!open_(QUrl::fromLocalFile(path))) {
    prompter_.warn(QStringLiteral("没有可以打开帮助页的浏览器。帮助页在：%1").arg(path));
    return false;
  }
  return true;
}

}  // namespace kelo::ui

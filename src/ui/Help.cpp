#include "ui/Help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include "ui/QtPrompter.h"

namespace kelo::ui {

bool parseHelpContext(const QString& text, int& context) {
  bool ok = false;
  const int value = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive) ? text.mid(2).toInt(&ok, 16)
                                                                                : text.toInt(&ok, 10);
  if (!ok || value < 0) return false;
  context = value;
  return true;
}

HelpOpener::HelpOpener(QtPrompter& prompter)
    : prompter_(prompter), open_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

QString HelpOpener::pagePath(int context, const QString& programFolder) {
  const QString folder = programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder;
  const QString name = QStringLiteral("0x%1.html").arg(QString::number(context, 16).toUpper());
  // Installed beside the program first; the source tree only serves a program run from its build
  // tree, where nothing is installed.
  const QString candidates[] = {
      QDir(folder).filePath(QStringLiteral("../share/kelo/help/") + name),
      QStringLiteral(KELO_SOURCE_HELP_DIR "/") + name,
  };
  for (const QString& path : candidates)
    if (QFileInfo(path).isFile()) return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  return {};
}

bool HelpOpener::show(int context) {
  const QString path = pagePath(context);
  if (path.isEmpty()) {
    prompter_.warn(QString::fromUtf8(kHelpPageMissing));
    return false;
  }
  if (!open_(QUrl::fromLocalFile(path))) {
    prompter_.warn(QStringLiteral("没有可以打开帮助页的浏览器。帮助页在：%1").arg(path));
    return false;
  }
  return true;
}

}  // namespace kelo::ui

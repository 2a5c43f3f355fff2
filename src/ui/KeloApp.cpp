#include "ui/KeloApp.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QUrl>
#include <cstdio>

#include "kelo/Version.h"
#include "settings/StampSettings.h"
#include "ui/DialogUnits.h"
#include "ui/Help.h"
#include "ui/MainWindow.h"

namespace kelo::ui {

namespace {

void printLine(std::FILE* stream, const QString& line) {
  std::fputs(line.toUtf8().constData(), stream);
  std::fputc('\n', stream);
}

// `kelo --open-help CONTEXT`: the page the Help buttons would open, for scripts and the package
// test.
int openHelp(const QString& contextText) {
  int context = 0;
  const QString path = parseHelpContext(contextText, context) ? HelpOpener::pagePath(context) : QString();
  if (path.isEmpty()) {
    printLine(stderr, QString::fromUtf8(kHelpPageMissing));
    return 1;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  printLine(stdout, path);
  return 0;
}

}  // namespace

bool loadQtTranslations(QApplication& app) {
  auto* translator = new QTranslator(&app);
  if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

void configureApplication(QApplication& app) {
  QCoreApplication::setOrganizationName(QStringLiteral("Nuvar22"));
  QCoreApplication::setApplicationName(QStringLiteral("Kelo"));
  // The program speaks Chinese whatever the desktop's language: so do Qt's own dialogs.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  loadQtTranslations(app);
  app.setFont(dialogFont());
}

CommandLine parseCommandLine(const QStringList& arguments) {
  CommandLine line;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QStringLiteral("--version")) {
      line.action = CommandLine::Action::Version;
    } else if (a == QStringLiteral("--open-help")) {
      if (i + 1 >= arguments.size()) {
        line.action = CommandLine::Action::Error;
        line.error = QStringLiteral("--open-help 后面要有帮助页的编号");
        return line;
      }
      line.action = CommandLine::Action::OpenHelp;
      line.helpContext = arguments[++i];
    } else if (a == QStringLiteral("--")) {
      line.files += arguments.mid(i + 1);
      break;
    } else if (a.startsWith(QStringLiteral("--"))) {
      line.action = CommandLine::Action::Error;
      line.error = QStringLiteral("不认识的选项：%1").arg(a);
      return line;
    } else {
      line.files << a;
    }
  }
  return line;
}

QString versionLine() {
  QString line = QStringLiteral("kelo ") + QString::fromUtf8(kelo::kVersion);
  const QString revision = QString::fromUtf8(kelo::kGitRevision);
  if (!revision.isEmpty()) line += QStringLiteral(" (%1)").arg(revision);
  return line;
}

int runKelo(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const CommandLine line = parseCommandLine(arguments);
  // The version needs no display.
  if (line.action == CommandLine::Action::Version) {
    printLine(stdout, versionLine());
    return 0;
  }
  QApplication app(argc, argv);
  switch (line.action) {
    case CommandLine::Action::Version: break;
    case CommandLine::Action::OpenHelp: return openHelp(line.helpContext);
    case CommandLine::Action::Error: printLine(stderr, line.error); return 2;
    case CommandLine::Action::Run: break;
  }
  configureApplication(app);
  // The one settings record of the program; the window resets it to the defaults and then loads
  // the configuration file over them.
  settings::StampSettings settings;
  MainWindow window(settings);
  window.show();
  window.openFromCommandLine(line.files);
  return app.exec();
}

}  // namespace kelo::ui

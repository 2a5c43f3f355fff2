#pragma once
// Start-up of the desktop program: the application's identity (the recent-projects list lives
// under organisation "Nuvar22"), Qt's own dialogs in Chinese, a font that shows Chinese, the
// command line, the one settings record, and the main window run until it closes.
#include <QString>
#include <QStringList>

class QApplication;

namespace kelo::ui {

// Names the application for QSettings, loads Qt's Chinese translations and sets a CJK-capable
// default font. Tests call it too.
void configureApplication(QApplication& app);

// Loads Qt's own Chinese texts (standard buttons, file and font dialogs); false when they are not
// installed.
bool loadQtTranslations(QApplication& app);

// What `kelo` was asked on its command line.
struct CommandLine {
  enum class Action { Run, Version, OpenHelp, Error };
  Action action = Action::Run;
  QString helpContext;  // --open-help CONTEXT
  QStringList files;    // videos and a project to open
  QString error;        // for Action::Error
};
CommandLine parseCommandLine(const QStringList& arguments);

// "kelo 2.1.0 (abc1234)": the version line of `kelo --version`.
QString versionLine();

// The whole program; returns the exit status.
int runKelo(int argc, char** argv);

}  // namespace kelo::ui

#pragma once
// Start-up of the desktop program: the application's identity (the recent-projects list lives
// under organisation "Nuvar22"), a font that shows Chinese, the one settings record, and the main
// window run until it closes.
class QApplication;

namespace kelo::ui {

// Names the application for QSettings and sets a CJK-capable default font. Tests call it too.
void configureApplication(QApplication& app);

// The whole program; returns the exit status.
int runKelo(int argc, char** argv);

}  // namespace kelo::ui

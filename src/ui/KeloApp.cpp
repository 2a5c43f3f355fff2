#include "ui/KeloApp.h"

#include <QApplication>

#include "settings/StampSettings.h"
#include "ui/DialogUnits.h"
#include "ui/MainWindow.h"

namespace kelo::ui {

void configureApplication(QApplication& app) {
  QCoreApplication::setOrganizationName(QStringLiteral("Nuvar22"));
  QCoreApplication::setApplicationName(QStringLiteral("Kelo"));
  app.setFont(dialogFont());
}

int runKelo(int argc, char** argv) {
  QApplication app(argc, argv);
  configureApplication(app);
  // The one settings record of the program; the window resets it to the defaults and then loads
  // the configuration file over them.
  settings::StampSettings settings;
  MainWindow window(settings);
  window.show();
  return app.exec();
}

}  // namespace kelo::ui

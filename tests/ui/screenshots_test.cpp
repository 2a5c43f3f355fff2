// Renders the main window to PNG files in $KELO_SCREENS_DIR for a person to look at: without a
// video, and with a stamped sample frame at each preview size.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QSettings>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "settings/StampSettings.h"
#include "support/TestUtil.h"
#include "ui/AppearanceDialog.h"
#include "ui/KeloApp.h"
#include "ui/MainWindow.h"
#include "ui/PreviewPane.h"
#include "ui/QtPrompter.h"

using namespace kelo;

namespace {

using test::makeSampleAvi;

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void emptyWindow();
  void previewSizes();
  void qtDialogs();

 private:
  QString screens_;
  test::TempDir temp_;
  QString sample_;
};

void ScreenshotsTest::initTestCase() {
  ui::configureApplication(*qApp);
  screens_ = qEnvironmentVariable("KELO_SCREENS_DIR", QDir::tempPath() + "/kelo-screens");
  QDir().mkpath(screens_);
  qputenv("WINDIR", QByteArray::fromStdString(temp_.path()));
  qputenv("TEMP", QByteArray::fromStdString(temp_.path()));
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(temp_.path()));
  sample_ = QString::fromStdString(temp_.file("sample.avi"));
  sample_ = QString::fromStdString(makeSampleAvi(temp_.file("sample.avi"), "2005-03-07 21:50:38", true));
}

void ScreenshotsTest::emptyWindow() {
  settings::StampSettings settings;
  ui::MainWindow window(settings);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QVERIFY(window.grab().save(screens_ + "/main-empty.png"));
}

void ScreenshotsTest::previewSizes() {
  if (sample_.isEmpty()) QSKIP("no DV AVI sample that the engine reads (kelo-cli sample, FFmpeg)");
  const char* names[] = {"framesize", "720x540", "640x480", "720x405"};
  for (int size = 0; size < 4; ++size) {
    settings::StampSettings settings;
    ui::MainWindow window(settings);
    window.prompter().setScript([](const ui::QtPrompter::Prompt&) { return ui::QtPrompter::Answer::Ok; });
    settings.previewSize = static_cast<settings::PreviewSize>(size);
    settings.safeArea = true;
    window.settingsToWindow();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.addFilePaths({sample_});
    // Start and end marker ticks on the track bar.
    window.preview().goTo(20);
    window.preview().toggleMarker(0);
    window.preview().goTo(70);
    window.preview().toggleMarker(1);
    window.preview().goTo(60);
    QVERIFY(window.preview().videoPresent());
    QVERIFY(window.grab().save(screens_ + "/main-" + names[size] + ".png"));
  }
}

void ScreenshotsTest::qtDialogs() {
  // Qt's own dialogs as the program shows them: in Chinese.
  QFileDialog files(nullptr, QStringLiteral("选择需加码的录像"), QString::fromStdString(temp_.path()),
                    QStringLiteral("DV 文件 (*.avi *.dv *.dif *.mov)"));
  files.setOption(QFileDialog::DontUseNativeDialog);
  files.setFileMode(QFileDialog::ExistingFiles);
  files.show();
  QVERIFY(QTest::qWaitForWindowExposed(&files));
  QVERIFY(files.grab().save(screens_ + "/qt-file-dialog.png"));
  files.hide();

  settings::StampSettings settings;
  ui::AppearanceDialog appearance(settings, settings.dateCode);
  bool grabbed = false;
  QTimer::singleShot(0, [&] {
    if (QWidget* chooser = QApplication::activeModalWidget()) {
      if (!QTest::qWaitForWindowExposed(chooser)) qWarning("font chooser not exposed");
      grabbed = chooser->grab().save(screens_ + "/qt-font-dialog.png");
      QMetaObject::invokeMethod(chooser, "reject", Qt::QueuedConnection);
    }
  });
  appearance.findChild<QPushButton*>(QStringLiteral("chooseFont"))->click();
  QVERIFY(grabbed);
}

QTEST_MAIN(ScreenshotsTest)
#include "screenshots_test.moc"

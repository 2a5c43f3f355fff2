// A batch run started from the main window on a generated sample: the window stays responsive,
// the progress moves, the run ends with the summary, and the stamped output is accepted by
// `kelo-cli verify`. Also pause/continue and stop, and markers set in the preview reaching the
// marker file through the engine's own preview pass.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include "engine/RunObserver.h"
#include "settings/StampSettings.h"
#include "support/TestUtil.h"
#include "ui/RunLogWindow.h"
#include "ui/KeloApp.h"
#include "ui/MainWindow.h"
#include "ui/PreviewPane.h"
#include "ui/QtPrompter.h"

using namespace kelo;
using ui::QtPrompter;

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

using test::makeSampleAvi;

class CountingPowerOff : public engine::PowerOff {
 public:
  int calls = 0;
  int powerOff() override {
    ++calls;
    return 0;
  }
};

}  // namespace

class MainRunTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void runStampsTheListAndEndsWithSummary();
  void pauseContinueAndStop();
  void autoShutdownFollowsTheBoxAtTheEnd();
  void markersFromPreviewReachMarkerFile();
  void markersOutliveTheEnginesReader();

 private:
  std::unique_ptr<ui::MainWindow> makeWindow(settings::StampSettings& s);
  std::unique_ptr<test::TempDir> sampleDir_;
  std::string master_;
  std::unique_ptr<test::TempDir> temp_;
  std::string sample_;
  std::string outFolder_;
};

void MainRunTest::initTestCase() {
  ui::configureApplication(*qApp);
  // One short recording across midnight, made once for all the tests.
  sampleDir_ = std::make_unique<test::TempDir>();
  master_ = makeSampleAvi(sampleDir_->file("master.avi"), "2005-03-07 23:59:58", false);
}

void MainRunTest::init() {
  temp_ = std::make_unique<test::TempDir>();
  qputenv("WINDIR", QByteArray::fromStdString(temp_->path()));
  qputenv("TEMP", QByteArray::fromStdString(temp_->path()));
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qs(temp_->path()));
  sample_.clear();
  outFolder_ = temp_->file("out");
  QDir().mkpath(qs(outFolder_));
  if (!master_.empty() && QFile::copy(qs(master_), qs(temp_->file("sample.avi")))) sample_ = temp_->file("sample.avi");
}

std::unique_ptr<ui::MainWindow> MainRunTest::makeWindow(settings::StampSettings& s) {
  auto w = std::make_unique<ui::MainWindow>(s);
  w->prompter().setScript([](const QtPrompter::Prompt&) { return QtPrompter::Answer::Ok; });
  w->setFileChooser([this](const ui::FileRequest&) { return QStringList{qs(outFolder_)}; });
  w->browseOutputFolder();
  return w;
}

void MainRunTest::runStampsTheListAndEndsWithSummary() {
  if (sample_.empty()) QSKIP("no DV AVI sample that the engine reads (kelo-cli sample, FFmpeg)");
  settings::StampSettings s;
  auto w = makeWindow(s);
  CountingPowerOff powerOff;
  w->setPowerOff(&powerOff);
  w->addFilePaths({qs(sample_)});
  static_cast<QCheckBox*>(w->control(ui::ctl::kAutoShutdown))->setChecked(true);
  const std::string before = test::sha256File(sample_);

  w->onStamp();
  QVERIFY(w->isRunning());
  // While running: the settings controls are disabled, Stop is enabled, the menus are greyed.
  QVERIFY(!s.idle);
  QVERIFY(!w->dateGroup().xEdit()->isEnabled());
  QVERIFY(!w->control(ui::ctl::kAdd)->isEnabled());
  QVERIFY(w->control(ui::ctl::kStop)->isEnabled());
  QVERIFY(w->control(ui::ctl::kStamp)->isEnabled());
  QVERIFY(!w->saveAction()->isEnabled());
  QCOMPARE(static_cast<QPushButton*>(w->control(ui::ctl::kStamp))->text(), QStringLiteral("暂停"));

  QTRY_VERIFY_WITH_TIMEOUT(!w->isRunning(), 60000);
  QVERIFY(s.idle);
  QVERIFY(w->dateGroup().xEdit()->isEnabled());
  QVERIFY(!w->control(ui::ctl::kStop)->isEnabled());
  QCOMPARE(static_cast<QPushButton*>(w->control(ui::ctl::kStamp))->text(), QStringLiteral("加码"));
  QCOMPARE(w->prompter().history().back().text, QStringLiteral("所有录像都已加码"));
  QCOMPARE(static_cast<QProgressBar*>(w->control(ui::ctl::kProgress))->value(), 1000);
  QCOMPARE(static_cast<QLineEdit*>(w->control(ui::ctl::kPercent))->text(), QStringLiteral("100.0%"));
  QCOMPARE(powerOff.calls, 1);
  // The log file was written before the power-off; the log window holds the same lines.
  QVERIFY(QFile::exists(qs(temp_->file("Kelo.log"))));
  QCOMPARE(w->logWindow().lines(), w->runLogLines());
  QVERIFY(w->runLogLines().join('\n').contains(QStringLiteral("加码的录像:  ")));

  const std::string output = outFolder_ + "/sample.avi";
  QCOMPARE(test::sha256File(sample_), before);
  const test::CommandResult verify = test::runCommand(test::shellQuote(test::keloCli()) + " verify " +
                                                      test::shellQuote(sample_) + " " + test::shellQuote(output));
  QVERIFY2(verify.exitCode == 0, verify.output.c_str());
}

void MainRunTest::pauseContinueAndStop() {
  if (sample_.empty()) QSKIP("no DV AVI sample that the engine reads (kelo-cli sample, FFmpeg)");
  settings::StampSettings s;
  auto w = makeWindow(s);
  // Several names for the sample, so the run is still busy when the buttons are pressed (the
  // state changes at once; the worker follows at its next frame).
  QStringList many;
  for (int i = 0; i < 4; ++i) {
    const std::string link = temp_->file("copy" + std::to_string(i) + ".avi");
    QVERIFY(QFile::link(qs(sample_), qs(link)));
    many.append(qs(link));
  }
  w->addFilePaths(many);
  auto* stamp = static_cast<QPushButton*>(w->control(ui::ctl::kStamp));
  w->onStamp();
  QVERIFY(w->isRunning());
  w->onStamp();
  QCOMPARE(stamp->text(), QStringLiteral("继续"));
  QCOMPARE(w->isRunning(), true);
  w->onStamp();
  QCOMPARE(stamp->text(), QStringLiteral("暂停"));
  w->onStop();
  QVERIFY(!w->control(ui::ctl::kStop)->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!w->isRunning(), 60000);
  QCOMPARE(w->prompter().history().back().text, QStringLiteral("加码进程给打断！"));
  QCOMPARE(stamp->text(), QStringLiteral("加码"));
}

void MainRunTest::autoShutdownFollowsTheBoxAtTheEnd() {
  if (sample_.empty()) QSKIP("no DV AVI sample that the engine reads (kelo-cli sample, FFmpeg)");
  // The box changes while the run is paused; its state when the run ends decides.
  const struct {
    bool atStart, duringRun;
    int powerOffs;
  } cases[] = {{false, true, 1}, {true, false, 0}};
  for (const auto& c : cases) {
    QFile::remove(qs(temp_->file("Kelo.log")));
    settings::StampSettings s;
    auto w = makeWindow(s);
    CountingPowerOff powerOff;
    w->setPowerOff(&powerOff);
    w->addFilePaths({qs(sample_)});
    auto* box = static_cast<QCheckBox*>(w->control(ui::ctl::kAutoShutdown));
    box->setChecked(c.atStart);
    w->onStamp();
    w->onStamp();  // pause
    QVERIFY(box->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(box->isChecked(), c.duringRun);
    w->onStamp();  // continue
    QTRY_VERIFY_WITH_TIMEOUT(!w->isRunning(), 60000);
    QCOMPARE(powerOff.calls, c.powerOffs);
    QCOMPARE(QFile::exists(qs(temp_->file("Kelo.log"))), c.powerOffs == 1);
  }
}

void MainRunTest::markersFromPreviewReachMarkerFile() {
  if (sample_.empty()) QSKIP("no DV AVI sample that the engine reads (kelo-cli sample, FFmpeg)");
  settings::StampSettings s;
  auto w = makeWindow(s);
  w->addFilePaths({qs(sample_)});
  ui::PreviewPane& pane = w->preview();
  QVERIFY(pane.videoPresent());
  QVERIFY(pane.lastFrameIndex() > 75);
  QVERIFY(!pane.picture()->picture().isNull());
  pane.goTo(25);
  pane.toggleMarker(0);
  pane.goTo(75);
  pane.toggleMarker(1);
  QVERIFY(s.markersModified);
  // A run saves changed markers first (without asking: all markers go to one file).
  s.markersInOneFile = true;
  w->onStamp();
  QTRY_VERIFY_WITH_TIMEOUT(!w->isRunning(), 60000);
  QVERIFY(!s.markersModified);
  const std::vector<uint8_t> file = test::readFile(temp_->file("sample.mrk"));
  QCOMPARE(file.size(), size_t(16));
  QCOMPARE(int(file[0]), 25);
  QCOMPARE(int(file[4]), 0);
  QCOMPARE(int(file[8]), 75);
  QCOMPARE(int(file[12]), 1);
}

void MainRunTest::markersOutliveTheEnginesReader() {
  if (sample_.empty()) QSKIP("no DV AVI sample that the engine reads (kelo-cli sample, FFmpeg)");
  settings::StampSettings s;
  auto w = makeWindow(s);
  const std::string broken = temp_->file("broken.avi");
  QVERIFY(test::writeFile(broken, std::vector<uint8_t>(4096, 7)));
  w->addFilePaths({qs(sample_), qs(broken)});
  ui::PreviewPane& pane = w->preview();
  QVERIFY(pane.videoPresent());
  pane.goTo(10);
  pane.toggleMarker(0);
  // Choosing the broken file makes the engine drop the sample's reader, which owned the marker
  // list it handed out; the window saved its own copy first and keeps no reference to the old one.
  w->fileList()->setCurrentRow(1);
  QVERIFY(!pane.videoPresent());
  QCOMPARE(w->prompter().history().back().text, QStringLiteral("Kelo 出错，详细请看运行记录。"));
  QVERIFY(!w->control(ui::ctl::kStartMarker)->isEnabled());
  pane.toggleMarker(1);
  pane.nextMarker();
  QCOMPARE(test::readFile(temp_->file("sample.mrk")).size(), size_t(8));
  // Back on the sample: its markers come from the marker file.
  w->fileList()->setCurrentRow(0);
  QVERIFY(pane.videoPresent());
  QCOMPARE(pane.markers().count(), 1);
  QCOMPARE(pane.markers().markers()[0].frame, 10);
  QVERIFY(w->runLogLines().join('\n').contains(QStringLiteral("预览前检查录像文件")));
}

QTEST_MAIN(MainRunTest)
#include "mainrun_test.moc"

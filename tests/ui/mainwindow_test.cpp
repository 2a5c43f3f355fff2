// The main window: start-up with and without a configuration file, the project commands with
// their titles and messages, the exit sequence, the code controls, the file list and the preview
// pane's markers and layouts (with a stand-in preview source).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QWheelEvent>
#include <QTest>
#include <map>

#include "settings/ConfigFile.h"
#include "settings/ProjectFile.h"
#include "settings/SettingsFields.h"
#include "settings/StampSettings.h"
#include "support/TestUtil.h"
#include "ui/RepeatButton.h"
#include "ui/Help.h"
#include "ui/KeloApp.h"
#include "ui/MainWindow.h"
#include "ui/PreviewPane.h"
#include "ui/QtPrompter.h"
#include "ui/RecentProjects.h"

using namespace kelo;
using ui::QtPrompter;
using settings::CornerPreset;

namespace {

// Answers prompts from a queue (default when empty: `fallback`) and keeps what was asked.
struct Answers {
  std::vector<QtPrompter::Answer> queue;
  QtPrompter::Answer fallback = QtPrompter::Answer::Ok;
  void install(QtPrompter& p) {
    p.setScript([this](const QtPrompter::Prompt&) {
      if (queue.empty()) return fallback;
      const QtPrompter::Answer a = queue.front();
      queue.erase(queue.begin());
      return a;
    });
  }
};

// Pictures and markers without the engine: a grey frame per call, failures on request.
class FakeSource : public ui::PreviewSource {
 public:
  struct Video {
    int lastFrameIndex = 99;
    bool pal = false;
    std::vector<ui::MarkerTick> markers;
    bool fail = false;
  };
  std::map<std::string, Video>* videos = nullptr;
  std::string openPath;
  std::vector<std::pair<std::string, int>>* calls = nullptr;

  ui::PreviewFrame preview(const std::string& path, int frame) override {
    if (calls) calls->push_back({path, frame});
    ui::PreviewFrame f;
    const auto it = videos->find(path);
    if (it == videos->end() || it->second.fail) {
      openPath.clear();  // the engine forgets its reader on a failure
      return f;
    }
    f.status = 0;
    f.lastFrameIndex = it->second.lastFrameIndex;
    f.profile = &dv::profileOf(it->second.pal ? dv::VideoSystem::k625_50 : dv::VideoSystem::k525_60);
    f.picture = QImage(720, f.profile->height, QImage::Format_RGB888);
    f.picture.fill(QColor(90, 90, 90));
    f.newFile = openPath != path;
    if (f.newFile)
      for (const ui::MarkerTick& m : it->second.markers) f.markers.insert(m.frame, m.kind);
    openPath = path;
    return f;
  }
};

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();

  void startupWithoutConfiguration();
  void startupWithConfiguration();
  void exitQuestionsAndConfiguration();
  void exitUnnamedProjectCancelledSaveAsStillQuits();
  void escapeRunsExitSequenceEnterDoesNothing();
  void newAskOnlyForNamedModifiedProject();
  void openSaveAndSaveAs();
  void openRefusalsAndRecentList();
  void nudgeArithmetic();
  void nudgeAndCornerControls();
  void holdingNudgeButtonGrowsStep();
  void positionsConvertBetweenPreviewAndFrame();
  void fileListCommands();
  void markersToggleAndSaveOnSwitch();
  void markersSurviveFailedPreview();
  void layoutsFollowPreviewSizeAndSystem();
  void helpPagesOpenOrExplain();
  void helpPagesFoundBesideTheProgram();
  void markersKeptAtExitWithoutProjectChanges();
  void failedSaveStopsTheAction();
  void unwritableConfigurationIsReported();
  void trackBarWheelAndDragShowTheFrame();
  void destroyedWithFocusedEditAfterFailedPreview();
  void commandLineFilesAndProject();
  void positionsStayInsideTheFrame();

 private:
  std::unique_ptr<ui::MainWindow> makeWindow(settings::StampSettings& s);
  void useFakeSource(ui::MainWindow& w);

  std::unique_ptr<test::TempDir> temp_;
  Answers answers_;
  std::map<std::string, FakeSource::Video> videos_;
  std::vector<std::pair<std::string, int>> calls_;
  std::vector<ui::FileRequest> requests_;
  QStringList nextChoice_;
};

void MainWindowTest::initTestCase() { ui::configureApplication(*qApp); }

void MainWindowTest::init() {
  temp_ = std::make_unique<test::TempDir>();
  qputenv("WINDIR", QByteArray::fromStdString(temp_->path()));
  qputenv("TEMP", QByteArray::fromStdString(temp_->path()));
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qs(temp_->path()));
  QSettings().clear();
  answers_ = Answers{};
  videos_.clear();
  calls_.clear();
  requests_.clear();
  nextChoice_.clear();
}

std::unique_ptr<ui::MainWindow> MainWindowTest::makeWindow(settings::StampSettings& s) {
  auto w = std::make_unique<ui::MainWindow>(s);
  answers_.install(w->prompter());
  w->setFileChooser([this](const ui::FileRequest& r) {
    requests_.push_back(r);
    return nextChoice_;
  });
  return w;
}

void MainWindowTest::useFakeSource(ui::MainWindow& w) {
  auto source = std::make_unique<FakeSource>();
  source->videos = &videos_;
  source->calls = &calls_;
  w.preview().setSource(std::move(source));
}

// --- start-up --------------------------------------------------------------------------------

void MainWindowTest::startupWithoutConfiguration() {
  settings::StampSettings s;
  s.safeArea = true;  // whatever the record held before, the window starts from the defaults
  auto w = makeWindow(s);
  QCOMPARE(w->windowTitle(), QStringLiteral("Kelo 中文版"));
  QCOMPARE(s.safeArea, false);
  QCOMPARE(s.dateCode.corner, CornerPreset::BottomLeft);
  QCOMPARE(s.timeCode.corner, CornerPreset::BottomRight);
  QCOMPARE(s.projectModified, false);
  QVERIFY(!w->saveAction()->isEnabled());
  QVERIFY(!w->control(ui::ctl::kStop)->isEnabled());
  QCOMPARE(static_cast<QLineEdit*>(w->control(ui::ctl::kPercent))->text(), QStringLiteral("0.0%"));
  QCOMPARE(w->dateGroup().xEdit()->text(), QStringLiteral("64"));
  QCOMPARE(w->dateGroup().cornerCombo()->currentText(), QStringLiteral("左下角"));
  QCOMPARE(w->timeGroup().cornerCombo()->currentText(), QStringLiteral("右下角"));
  QCOMPARE(w->timeGroup().formatCombo()->count(), settings::kTimeFormatListLength);
  QCOMPARE(w->dateGroup().formatCombo()->count(), settings::dateFormatListLength(s.language));
  QVERIFY(answers_.queue.empty());
  QCOMPARE(w->prompter().history().size(), size_t(0));
  QCOMPARE(qs(w->configPath()), QDir(qs(temp_->path())).filePath("Kelo.cfg"));
}

void MainWindowTest::startupWithConfiguration() {
  settings::StampSettings stored;
  settings::resetToDefaults(stored);
  stored.language = 0;  // seven date formats instead of three
  stored.dateCode.formatIndex = 5;
  stored.dateCode.corner = CornerPreset::TopRight;
  stored.dateCode.x = 100;
  stored.timeCode.enabled = false;
  const QString project = qs(temp_->file("tape.zev"));
  settings::setText(stored.projectPath, project.toStdU16String());
  std::u16string message;
  QVERIFY(settings::saveConfigFile(settings::configFilePath(), stored, message) == settings::SaveOutcome::Saved);

  settings::StampSettings s;
  auto w = makeWindow(s);
  QCOMPARE(w->windowTitle(), QStringLiteral("Kelo 中文版 - ") + project);
  QCOMPARE(s.projectModified, false);
  QCOMPARE(w->dateGroup().formatCombo()->count(), 7);
  QCOMPARE(w->dateGroup().formatCombo()->currentIndex(), 5);
  QCOMPARE(w->dateGroup().cornerCombo()->currentIndex(), 2);
  QCOMPARE(w->dateGroup().xEdit()->text(), QStringLiteral("100"));
  QVERIFY(!w->timeGroup().enableBox()->isChecked());
  QVERIFY(!w->timeGroup().xEdit()->isEnabled());
  QVERIFY(w->timeGroup().enableBox()->isEnabled());

  // Save writes to the stored project without asking for a name.
  QVERIFY(w->saveProject());
  QVERIFY(requests_.empty());
  QCOMPARE(QFileInfo(project).size(), qint64(settings::kProjectFileSize));
}

void MainWindowTest::exitQuestionsAndConfiguration() {
  settings::StampSettings s;
  auto w = makeWindow(s);

  // Unchanged: one OK/Cancel question; Cancel keeps the window, the configuration is written.
  answers_.queue = {QtPrompter::Answer::Cancel};
  QVERIFY(!w->exitSequence());
  QCOMPARE(w->prompter().history().size(), size_t(1));
  QCOMPARE(w->prompter().history()[0].text, QStringLiteral("退出Kelo？"));
  QCOMPARE(w->prompter().history()[0].caption, QStringLiteral("警告"));
  QVERIFY(w->prompter().history()[0].buttons == QtPrompter::Buttons::OkCancel);
  QVERIFY(QFile::exists(qs(w->configPath())));

  // Changed: the save question with three answers; Cancel keeps the changes in the file anyway.
  w->control(ui::ctl::kSafeArea)->setFocus();
  QTest::mouseClick(static_cast<QCheckBox*>(w->control(ui::ctl::kSafeArea)), Qt::LeftButton);
  QVERIFY(s.projectModified);
  w->prompter().clearHistory();
  answers_.queue = {QtPrompter::Answer::Cancel};
  QVERIFY(!w->exitSequence());
  QCOMPARE(w->prompter().history()[0].text, QStringLiteral("退出前先保存当前项目？"));
  QVERIFY(w->prompter().history()[0].buttons == QtPrompter::Buttons::YesNoCancel);
  settings::StampSettings stored;
  std::u16string message;
  QVERIFY(settings::loadConfigFile(w->configPath(), stored, message) == settings::LoadOutcome::Loaded);
  QCOMPARE(stored.safeArea, true);

  // No: quits without saving; the run log file is written last.
  answers_.queue = {QtPrompter::Answer::No};
  QVERIFY(w->exitSequence());
  QVERIFY(QFile::exists(QDir(qs(temp_->path())).filePath("Kelo.log")));
}

void MainWindowTest::exitUnnamedProjectCancelledSaveAsStillQuits() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  w->markModified();
  answers_.queue = {QtPrompter::Answer::Yes};
  QVERIFY(w->exitSequence());
  QCOMPARE(requests_.size(), size_t(1));
  QCOMPARE(requests_[0].title, QStringLiteral("保存 Kelo 项目 ..."));
}

void MainWindowTest::escapeRunsExitSequenceEnterDoesNothing() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  w->show();
  QVERIFY(QTest::qWaitForWindowExposed(w.get()));
  QTest::keyClick(w.get(), Qt::Key_Return);
  QCOMPARE(w->prompter().history().size(), size_t(0));
  answers_.queue = {QtPrompter::Answer::Cancel};
  QTest::keyClick(w.get(), Qt::Key_Escape);
  QCOMPARE(w->prompter().history().size(), size_t(1));
  QVERIFY(w->isVisible());
  answers_.queue = {QtPrompter::Answer::Ok};
  QTest::keyClick(w.get(), Qt::Key_Escape);
  QVERIFY(!w->isVisible());
}

// --- project commands ------------------------------------------------------------------------

void MainWindowTest::newAskOnlyForNamedModifiedProject() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  // Unnamed and changed: no question, the changes are lost; the date group comes back enabled.
  QTest::mouseClick(w->dateGroup().enableBox(), Qt::LeftButton);
  QVERIFY(!s.dateCode.enabled);
  QVERIFY(!w->dateGroup().fontButton()->isEnabled());
  w->newProject();
  QCOMPARE(w->prompter().history().size(), size_t(0));
  QVERIFY(s.dateCode.enabled);
  QVERIFY(w->dateGroup().enableBox()->isChecked());
  QVERIFY(w->dateGroup().fontButton()->isEnabled());
  QCOMPARE(s.projectModified, false);

  // Named and changed: "保存当前项目?" with Yes/No; Yes writes the project.
  const QString project = qs(temp_->file("named.zev"));
  settings::setText(s.projectPath, project.toStdU16String());
  w->markModified();
  answers_.queue = {QtPrompter::Answer::Yes};
  w->newProject();
  QCOMPARE(w->prompter().history().size(), size_t(1));
  QCOMPARE(w->prompter().history()[0].text, QStringLiteral("保存当前项目?"));
  QVERIFY(w->prompter().history()[0].buttons == QtPrompter::Buttons::YesNo);
  QCOMPARE(QFileInfo(project).size(), qint64(settings::kProjectFileSize));
  QCOMPARE(w->windowTitle(), QStringLiteral("Kelo 中文版"));
  QVERIFY(settings::textOf(s.projectPath).empty());
}

void MainWindowTest::openSaveAndSaveAs() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  // Save of an unnamed project goes through Save As.
  const QString first = qs(temp_->file("first.zev"));
  w->dateGroup().cornerCombo()->setCurrentIndex(0);
  emit w->dateGroup().cornerCombo()->activated(0);
  nextChoice_ = {first};
  QVERIFY(w->saveProject());
  QCOMPARE(requests_.back().title, QStringLiteral("保存 Kelo 项目 ..."));
  QCOMPARE(requests_.back().filter, QStringLiteral("Kelo 项目文件 (*.zev)"));
  QCOMPARE(QFileInfo(first).size(), qint64(settings::kProjectFileSize));
  QCOMPARE(s.projectModified, false);
  QVERIFY(!w->saveAction()->isEnabled());
  QCOMPARE(w->windowTitle(), QStringLiteral("Kelo 中文版"));  // Save As leaves the title

  // Open it again in a fresh window: title, Save enabled, corner restored.
  settings::StampSettings s2;
  auto w2 = makeWindow(s2);
  nextChoice_ = {first};
  w2->openProject();
  QCOMPARE(requests_.back().title, QStringLiteral("选择一个 Kelo 项目 ..."));
  QCOMPARE(w2->windowTitle(), QStringLiteral("Kelo 中文版 - ") + first);
  QVERIFY(w2->saveAction()->isEnabled());
  QCOMPARE(s2.dateCode.corner, CornerPreset::TopLeft);
  QCOMPARE(w2->dateGroup().cornerCombo()->currentIndex(), 0);
  QCOMPARE(w2->recentProjects().entries().value(0), first);

  // Save As under a shorter name: the path is exactly the new one, the title still the old one.
  const QString shorter = qs(temp_->file("s.zev"));
  nextChoice_ = {shorter};
  QVERIFY(w2->saveProjectAs());
  QCOMPARE(requests_.back().proposedName, first);
  QCOMPARE(QString::fromStdU16String(settings::textOf(s2.projectPath)), shorter);
  QCOMPARE(w2->windowTitle(), QStringLiteral("Kelo 中文版 - ") + first);
  QCOMPARE(w2->recentProjects().entries().value(0), shorter);
}

void MainWindowTest::openRefusalsAndRecentList() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  const QString longPath = "/" + QString(300, 'a') + ".zev";
  nextChoice_ = {longPath};
  w->openProject();
  QCOMPARE(w->prompter().history().back().text, QStringLiteral("项目名字太长了：%1.").arg(longPath));
  QCOMPARE(w->prompter().history().back().caption, QStringLiteral("警告"));

  const QString garbage = qs(temp_->file("garbage.zev"));
  QFile f(garbage);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(3340, 'x'));
  f.close();
  s.safeArea = true;
  QVERIFY(!w->openProjectPath(garbage));
  QCOMPARE(w->prompter().history().back().text, QStringLiteral("打不开项目：%1.").arg(garbage));
  QCOMPARE(s.safeArea, true);  // unchanged
  QCOMPARE(w->windowTitle(), QStringLiteral("Kelo 中文版"));

  // The recent list keeps four, newest first, in the settings of organisation Nuvar22.
  ui::RecentProjects& recent = w->recentProjects();
  for (int i = 0; i < 6; ++i) recent.add(QStringLiteral("/p/%1.zev").arg(i));
  recent.add(QStringLiteral("/p/3.zev"));
  QCOMPARE(recent.entries(), (QStringList{"/p/3.zev", "/p/5.zev", "/p/4.zev", "/p/2.zev"}));
  QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Nuvar22"));
  ui::RecentProjects reloaded;
  QCOMPARE(reloaded.entries(), recent.entries());
  // An entry that cannot be opened is dropped.
  QVERIFY(!w->openProjectPath(QStringLiteral("/p/3.zev")));
  QVERIFY(!w->recentProjects().entries().contains(QStringLiteral("/p/3.zev")));
}

// --- code controls ---------------------------------------------------------------------------

void MainWindowTest::nudgeArithmetic() {
  using ui::Nudge;
  using ui::nudgePosition;
  const ui::Position p{10, 10};
  // Bottom presets: "^" moves up the picture, so y grows; right presets: "<" makes x grow.
  QCOMPARE(nudgePosition(CornerPreset::BottomRight, Nudge::Up, p, 3, 720, 480), (ui::Position{10, 13}));
  QCOMPARE(nudgePosition(CornerPreset::BottomRight, Nudge::Left, p, 3, 720, 480), (ui::Position{13, 10}));
  QCOMPARE(nudgePosition(CornerPreset::TopLeft, Nudge::Up, p, 3, 720, 480), (ui::Position{10, 7}));
  QCOMPARE(nudgePosition(CornerPreset::TopCentre, Nudge::Left, p, 3, 720, 480), (ui::Position{7, 10}));
  // Decreases stop at 0; increases test before adding, so they may pass the bound by a step.
  QCOMPARE(nudgePosition(CornerPreset::TopLeft, Nudge::Up, {10, 2}, 6, 720, 480), (ui::Position{10, 0}));
  QCOMPARE(nudgePosition(CornerPreset::TopLeft, Nudge::Down, {10, 478}, 6, 720, 480), (ui::Position{10, 484}));
  QCOMPARE(nudgePosition(CornerPreset::TopLeft, Nudge::Down, {10, 480}, 6, 720, 480), (ui::Position{10, 480}));
  // Before any video (bounds 0): "v" with a top preset does nothing, "^" still moves towards 0.
  QCOMPARE(nudgePosition(CornerPreset::TopLeft, Nudge::Down, p, 1, 0, 0), p);
  QCOMPARE(nudgePosition(CornerPreset::TopLeft, Nudge::Up, p, 1, 0, 0), (ui::Position{10, 9}));
  // Unsigned comparison: a negative value never grows.
  QCOMPARE(nudgePosition(CornerPreset::TopLeft, Nudge::Right, {-5, 0}, 1, 720, 480), (ui::Position{-5, 0}));

  QCOMPARE(ui::xAfterCornerChange(CornerPreset::TopCentre, CornerPreset::TopLeft, 360, 720), 64);
  QCOMPARE(ui::xAfterCornerChange(CornerPreset::TopLeft, CornerPreset::TopRight, 17, 720), 17);
  QCOMPARE(ui::xAfterCornerChange(CornerPreset::TopLeft, CornerPreset::BottomCentre, 17, 641), 320);
  QCOMPARE(ui::xAfterCornerChange(CornerPreset::TopLeft, CornerPreset::TopCentre, 17, 0), 0);
}

void MainWindowTest::nudgeAndCornerControls() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  ui::CodeGroup& time = w->timeGroup();
  // Before a video: "v" on the bottom-right time code moves y towards 0 and marks the project.
  emit time.nudgeButton(ui::Nudge::Down)->action(time.ids().down, 1);
  QCOMPARE(time.yEdit()->text(), QStringLiteral("63"));
  QCOMPARE(s.timeCode.y, 63);
  QVERIFY(s.projectModified);

  // x above 720 becomes 720 when the edit loses the focus.
  time.xEdit()->setFocus();
  time.xEdit()->setText(QStringLiteral("999"));
  w->dateGroup().yEdit()->setFocus();
  QCoreApplication::processEvents();
  if (time.xEdit()->text() != QStringLiteral("720")) {
    // The offscreen platform may not move the focus; deliver the focus-out ourselves.
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(time.xEdit(), &out);
  }
  QCOMPARE(time.xEdit()->text(), QStringLiteral("720"));
  QCOMPARE(s.timeCode.x, 720);

  // Corner: to a centre preset x = half the preview width (0 before any video), then back to a
  // side preset x = 64.
  time.cornerCombo()->setCurrentIndex(static_cast<int>(CornerPreset::TopCentre));
  emit time.cornerCombo()->activated(time.cornerCombo()->currentIndex());
  QCOMPARE(s.timeCode.corner, CornerPreset::TopCentre);
  QCOMPARE(s.timeCode.x, 0);
  time.cornerCombo()->setCurrentIndex(static_cast<int>(CornerPreset::TopLeft));
  emit time.cornerCombo()->activated(time.cornerCombo()->currentIndex());
  QCOMPARE(s.timeCode.x, 64);
}

void MainWindowTest::holdingNudgeButtonGrowsStep() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  videos_["/v/a.avi"] = {};
  w->addFilePaths({"/v/a.avi"});
  QVERIFY(w->preview().videoPresent());
  ui::CodeGroup& date = w->dateGroup();
  date.cornerCombo()->setCurrentIndex(0);
  emit date.cornerCombo()->activated(0);
  date.xEdit()->setText("0");
  w->markModified();
  // The press moves by 1, then the ticks by the growing steps of the button.
  ui::RepeatButton* right = date.nudgeButton(ui::Nudge::Right);
  emit right->action(date.ids().right, 1);
  int counter = 0;
  for (int tick = 0; tick < 12; ++tick) {
    emit right->action(date.ids().right, ui::RepeatButton::stepAt(counter));
    if (counter < 9) ++counter;
  }
  QCOMPARE(date.xEdit()->text(), QStringLiteral("61"));
  QCOMPARE(s.dateCode.x, 61);
}

void MainWindowTest::positionsConvertBetweenPreviewAndFrame() {
  using ui::toFramePixels;
  using ui::toPreviewPixels;
  // 640 wide: 57 preview pixels are 64.125 frame pixels; half up: 45 of 405 at 576 is 64.0.
  QCOMPARE(toFramePixels({57, 45}, QSize(640, 480), 480), (ui::Position{64, 45}));
  QCOMPARE(toPreviewPixels({64, 64}, QSize(640, 480), 480), (ui::Position{57, 64}));
  QCOMPARE(toPreviewPixels({64, 64}, QSize(720, 405), 576), (ui::Position{64, 45}));
  QCOMPARE(toFramePixels({1, 1}, QSize(640, 480), 480), (ui::Position{1, 1}));  // 1.125 → 1
  QCOMPARE(toFramePixels({4, 4}, QSize(640, 405), 576), (ui::Position{5, 6}));  // 4.5 → 5, 5.69 → 6
  QCOMPARE(ui::mulDivRound(1, 1, 2), 1);                                       // 0.5 rounds up
  // Before any video the values pass unchanged.
  QCOMPARE(toFramePixels({57, 45}, QSize(640, 480), 0), (ui::Position{57, 45}));

  // A project with frame positions shows them in preview pixels of the current size.
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  videos_["/v/pal.avi"] = {99, true, {}, false};
  s.previewSize = settings::PreviewSize::Size720x405;
  w->settingsToWindow();
  w->addFilePaths({"/v/pal.avi"});
  QCOMPARE(w->dateGroup().yEdit()->text(), QStringLiteral("45"));
  w->markModified();
  QCOMPARE(s.dateCode.y, 64);
}

// --- file list -------------------------------------------------------------------------------

void MainWindowTest::fileListCommands() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  videos_["/v/a.avi"] = {};
  videos_["/v/b.avi"] = {};

  // Deleting with no selection and clearing an empty list do nothing and ask nothing.
  w->deleteFile();
  w->clearFiles();
  QCOMPARE(w->prompter().history().size(), size_t(0));

  nextChoice_ = {"/v/a.avi", "/v/b.avi"};
  w->addFiles();
  QCOMPARE(requests_.back().title, QStringLiteral("选择需加码的录像"));
  for (const char* pattern : {"*.avi", "*.AVI", "*.dv", "*.dif", "*.mov"})
    QVERIFY(requests_.back().filter.contains(QLatin1String(pattern)));
  QCOMPARE(w->fileList()->count(), 2);
  QCOMPARE(w->fileList()->currentRow(), 0);
  QVERIFY(s.projectModified);
  QCOMPARE(QString::fromStdU16String(settings::textOf(s.addFilesFolder)), QStringLiteral("/v/a.avi"));
  QCOMPARE(w->preview().shownPath(), QStringLiteral("/v/a.avi"));
  nextChoice_ = {};
  w->addFiles();
  QCOMPARE(requests_.back().folder, QStringLiteral("/v"));
  QCOMPARE(requests_.back().proposedName, QStringLiteral("/v/a.avi"));

  // Selecting previews; deleting does not mark the project.
  w->fileList()->setCurrentRow(1);
  QCOMPARE(w->preview().shownPath(), QStringLiteral("/v/b.avi"));
  s.projectModified = false;
  w->deleteFile();
  QCOMPARE(w->fileList()->count(), 1);
  QVERIFY(!s.projectModified);

  answers_.queue = {QtPrompter::Answer::No};
  w->clearFiles();
  QCOMPARE(w->prompter().history().back().text, QStringLiteral("删掉所有录像?"));
  QCOMPARE(w->fileList()->count(), 1);
  answers_.queue = {QtPrompter::Answer::Yes};
  w->clearFiles();
  QCOMPARE(w->fileList()->count(), 0);

  // The output folder ends with a separator.
  nextChoice_ = {qs(temp_->path())};
  w->browseOutputFolder();
  QCOMPARE(requests_.back().title, QStringLiteral("选择存放加码录像的文件夹"));
  QCOMPARE(QString::fromStdU16String(settings::textOf(s.outputFolder)), qs(temp_->path()) + "/");
  QCOMPARE(static_cast<QLineEdit*>(w->control(ui::ctl::kOutputFolder))->text(), qs(temp_->path()) + "/");
  // A folder longer than the field would be cut: refused, the old one stays.
  nextChoice_ = {"/" + QString(200, 'f')};
  w->browseOutputFolder();
  QCOMPARE(QString::fromStdU16String(settings::textOf(s.outputFolder)), qs(temp_->path()) + "/");

  // Stamping with an empty list says so and starts nothing.
  w->onStamp();
  QCOMPARE(w->prompter().history().back().text, QStringLiteral("没有录像需要加码"));
  QVERIFY(!w->isRunning());
}

// --- preview pane ----------------------------------------------------------------------------

void MainWindowTest::markersToggleAndSaveOnSwitch() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  const std::string a = temp_->file("Tape.AVI");
  const std::string b = temp_->file("other.avi");
  videos_[a] = {200, false, {{150, 0}}, false};
  videos_[b] = {50, false, {}, false};
  w->addFilePaths({qs(a), qs(b)});
  ui::PreviewPane& pane = w->preview();
  QCOMPARE(pane.markers().count(), 1);

  // [ twice at the same frame: no marker there, but the markers count as changed.
  pane.goTo(40);
  pane.toggleMarker(0);
  pane.toggleMarker(0);
  QCOMPARE(pane.markers().count(), 1);
  QVERIFY(s.markersModified);
  // Start and end at one frame: the end marker comes first.
  pane.toggleMarker(0);
  pane.toggleMarker(1);
  QCOMPARE(pane.markers().markers()[0].kind, 1);
  QCOMPARE(pane.markers().markers()[1].kind, 0);
  QCOMPARE(pane.markers().markers()[2].frame, 150);
  pane.nextMarker();
  QCOMPARE(pane.position(), 150);
  pane.previousMarker();
  QCOMPARE(pane.position(), 40);

  // Clamping at both ends.
  pane.step(-100);
  QCOMPARE(pane.position(), 0);
  pane.goTo(190);
  pane.step(100);
  QCOMPARE(pane.position(), 200);
  QCOMPARE(pane.statusText(), QStringLiteral("帧数: 200 (100.0%) [0:00:06:20]"));

  // Switching videos saves the old video's markers (without asking: markers in one file) and
  // starts the new one at frame 0.
  s.markersInOneFile = true;
  w->fileList()->setCurrentRow(1);
  QCOMPARE(pane.shownPath(), qs(b));
  QCOMPARE(pane.position(), 0);
  QVERIFY(!s.markersModified);
  const std::vector<uint8_t> file = test::readFile(temp_->file("tape.mrk"));
  QCOMPARE(file.size(), size_t(24));
  QCOMPARE(int(file[0]), 40);
  QCOMPARE(int(file[4]), 1);
  QCOMPARE(int(file[12]), 0);
  QCOMPARE(int(file[16]), 150);
  QCOMPARE(w->prompter().history().size(), size_t(0));
}

void MainWindowTest::markersSurviveFailedPreview() {
  // The engine's reader owns the marker list it loaded and is destroyed when a read fails; the
  // window works on its own copy, keeps the edits, and lets no marker button act on a list that
  // belongs to no video.
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  const std::string a = temp_->file("a.avi");
  videos_[a] = {100, false, {{10, 0}}, false};
  w->addFilePaths({qs(a)});
  ui::PreviewPane& pane = w->preview();
  pane.goTo(20);
  pane.toggleMarker(1);
  QVERIFY(s.markersModified);

  videos_[a].fail = true;  // the next read fails: the engine drops its reader
  s.markersInOneFile = false;
  answers_.queue = {QtPrompter::Answer::Ok, QtPrompter::Answer::Yes};
  pane.goTo(30);
  QCOMPARE(w->prompter().history().size(), size_t(2));
  QCOMPARE(w->prompter().history()[0].text, QStringLiteral("Kelo 出错，详细请看运行记录。"));
  QCOMPARE(w->prompter().history()[1].text,
           QStringLiteral("保存开始/结束标记到 %1?").arg(qs(temp_->file("a.mrk"))));
  QVERIFY(!pane.videoPresent());
  QVERIFY(!s.markersModified);
  QCOMPARE(test::readFile(temp_->file("a.mrk")).size(), size_t(16));
  for (int id : {ui::ctl::kStartMarker, ui::ctl::kEndMarker, ui::ctl::kNextMarker, ui::ctl::kPreviousMarker})
    QVERIFY(!w->control(id)->isEnabled());
  pane.toggleMarker(0);  // a stray call changes nothing
  QVERIFY(!s.markersModified);
  QVERIFY(pane.markers().count() == 0);

  // When the file reads again, the markers come back from its marker file.
  videos_[a].fail = false;
  videos_[a].markers = {{10, 0}, {20, 1}};
  pane.goTo(0);
  QVERIFY(pane.videoPresent());
  QCOMPARE(pane.markers().count(), 2);
  QVERIFY(w->control(ui::ctl::kStartMarker)->isEnabled());
}

void MainWindowTest::layoutsFollowPreviewSizeAndSystem() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  videos_["/v/pal.avi"] = {99, true, {}, false};
  videos_["/v/ntsc.avi"] = {99, false, {}, false};
  int relayouts = 0;
  connect(&w->preview(), &ui::PreviewPane::layoutChanged, this, [&relayouts] { ++relayouts; });

  w->addFilePaths({"/v/pal.avi", "/v/ntsc.avi"});
  QCOMPARE(w->preview().currentLayout(), 3);
  QCOMPARE(w->control(ui::ctl::kPicture)->geometry(), QRect(5, 5, 724, 580));
  QCOMPARE(w->control(1001)->geometry(), QRect(8, 496 + 96, 718, 20));
  QCOMPARE(w->control(1047)->geometry(), QRect(745, 31, 195, 424 + 96));
  QCOMPARE(w->centralWidget()->size(), QSize(947, 629 + 96));
  w->fileList()->setCurrentRow(1);
  QCOMPARE(w->preview().currentLayout(), 0);
  QCOMPARE(relayouts, 2);

  s.previewSize = settings::PreviewSize::Size640x480;
  w->preview().requestRefresh();
  QCOMPARE(w->preview().currentLayout(), 2);
  QCOMPARE(relayouts, 3);
  const QRect before = w->control(ui::ctl::kStamp)->geometry();
  QCOMPARE(before, QRect(745 - 80, 601, 51, 20));
  w->preview().requestRefresh();
  QCOMPARE(relayouts, 3);
  QCOMPARE(w->control(ui::ctl::kStamp)->geometry(), before);

  // The safe area: both rectangles of the layout, in the picture's coordinates.
  const auto rects = ui::layout::safeAreaRects(2);
  QCOMPARE(rects[0], QRect(QPoint(35, 31), QPoint(618, 462)));
  QCOMPARE(rects[1], QRect(QPoint(64, 55), QPoint(589, 438)));
}

void MainWindowTest::helpPagesOpenOrExplain() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  QList<QUrl> opened;
  w->help().setUrlOpener([&opened](const QUrl& url) {
    opened.append(url);
    return true;
  });
  for (int context : {ui::kHelpQuickGuide, ui::kHelpContents, 0x200A0, 0x200A1, 0x200A3, 0x2009D})
    QVERIFY2(w->help().show(context), qPrintable(ui::HelpOpener::pagePath(context)));
  QCOMPARE(opened.size(), 6);
  // The build tree's copy of the pages or the source tree's, whichever the program finds.
  QVERIFY(opened[0].toLocalFile().endsWith("/help/0x200A4.html"));
  QCOMPARE(w->prompter().history().size(), size_t(0));

  // No browser: the user is told where the page is.
  w->help().setUrlOpener([](const QUrl&) { return false; });
  QVERIFY(!w->help().show(ui::kHelpContents));
  QVERIFY(w->prompter().history().back().text.contains("0x20066.html"));
}

void MainWindowTest::helpPagesFoundBesideTheProgram() {
  // An installed program finds its pages in ../share/kelo/help, wherever it was installed.
  const QString prefix = qs(temp_->file("prefix"));
  QVERIFY(QDir().mkpath(prefix + "/bin") && QDir().mkpath(prefix + "/share/kelo/help"));
  const QString page = prefix + "/share/kelo/help/0x20066.html";
  QVERIFY(QFile::copy(QStringLiteral(KELO_SOURCE_HELP_DIR "/0x20066.html"), page));
  QCOMPARE(ui::HelpOpener::pagePath(ui::kHelpContents, prefix + "/bin"), page);
  // A page it lacks comes from the source tree (a build tree); a context without a page has none.
  QVERIFY(ui::HelpOpener::pagePath(ui::kHelpQuickGuide, prefix + "/bin").endsWith("/share/help/0x200A4.html"));
  QVERIFY(ui::HelpOpener::pagePath(0x12345, prefix + "/bin").isEmpty());

  settings::StampSettings s;
  auto w = makeWindow(s);
  QVERIFY(!w->help().show(0x12345));
  QCOMPARE(w->prompter().history().back().text, QStringLiteral("找不到帮助页"));

  int context = 0;
  QVERIFY(ui::parseHelpContext("0x20066", context) && context == 0x20066);
  QVERIFY(ui::parseHelpContext("131174", context) && context == 0x20066);
  QVERIFY(!ui::parseHelpContext("help", context));
}

void MainWindowTest::markersKeptAtExitWithoutProjectChanges() {
  // Quitting with markers set but no project change writes the marker file (asking first).
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  const std::string a = temp_->file("a.avi");
  videos_[a] = {100, false, {}, false};
  w->addFilePaths({qs(a)});
  s.projectModified = false;
  s.markersInOneFile = false;
  w->preview().goTo(12);
  w->preview().toggleMarker(0);
  answers_.queue = {QtPrompter::Answer::Ok, QtPrompter::Answer::Yes};
  QVERIFY(w->exitSequence());
  QCOMPARE(w->prompter().history().back().text,
           QStringLiteral("保存开始/结束标记到 %1?").arg(qs(temp_->file("a.mrk"))));
  QCOMPARE(test::readFile(temp_->file("a.mrk")).size(), size_t(8));
  QVERIFY(!s.markersModified);
}

void MainWindowTest::failedSaveStopsTheAction() {
  // The project's file cannot be written (its folder is gone): New, Open by path and Exit stop
  // and the project stays changed.
  settings::StampSettings s;
  auto w = makeWindow(s);
  const QString folder = qs(temp_->file("gone"));
  QVERIFY(QDir().mkpath(folder));
  const QString project = folder + "/p.zev";
  nextChoice_ = {project};
  QVERIFY(w->saveProjectAs());
  QVERIFY(QDir(folder).removeRecursively());
  w->control(ui::ctl::kSafeArea)->setFocus();
  QTest::mouseClick(static_cast<QCheckBox*>(w->control(ui::ctl::kSafeArea)), Qt::LeftButton);
  QVERIFY(s.projectModified && s.safeArea);

  answers_.fallback = QtPrompter::Answer::Yes;
  w->newProject();
  QVERIFY(s.projectModified && s.safeArea);
  QCOMPARE(settings::textOf(s.projectPath), project.toStdU16String());
  QVERIFY(!w->openProjectPath(qs(temp_->file("other.zev"))));
  QVERIFY(s.projectModified && s.safeArea);
  QVERIFY(!w->exitSequence());
  QVERIFY(s.projectModified);
  const auto& history = w->prompter().history();
  QCOMPARE(history.back().caption, QStringLiteral("警告"));
  QCOMPARE(history[history.size() - 2].text, QStringLiteral("退出前先保存当前项目？"));
}

void MainWindowTest::unwritableConfigurationIsReported() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  // A folder where the configuration file should be: nothing can be written there.
  QVERIFY(QDir().mkpath(qs(w->configPath())));
  answers_.queue = {QtPrompter::Answer::Ok, QtPrompter::Answer::Cancel};
  QVERIFY(!w->exitSequence());
  QVERIFY(w->prompter().history().size() == 2);
  QVERIFY(w->prompter().history()[0].text.contains(qs(w->configPath())));
  QCOMPARE(w->prompter().history()[1].text, QStringLiteral("退出Kelo？"));
}

void MainWindowTest::trackBarWheelAndDragShowTheFrame() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  const std::string a = temp_->file("a.avi");
  videos_[a] = {300, false, {}, false};
  w->addFilePaths({qs(a)});
  ui::PreviewPane& pane = w->preview();
  QSlider* bar = pane.trackBar();

  calls_.clear();
  const QPointF at(bar->width() / 2.0, bar->height() / 2.0);
  QWheelEvent wheel(at, bar->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(bar, &wheel);
  QVERIFY(pane.position() > 0);
  QCOMPARE(bar->value(), pane.position());
  QCOMPARE(calls_.back().second, pane.position());

  bar->setSliderDown(true);
  bar->setSliderPosition(120);
  QVERIFY(pane.position() != 120);  // nothing while the thumb is held
  bar->setSliderDown(false);
  QCOMPARE(pane.position(), 120);
  QCOMPARE(calls_.back(), std::make_pair(a, 120));

  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  QCOMPARE(pane.position(), 300);
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  QCOMPARE(pane.position(), 299);
}

void MainWindowTest::destroyedWithFocusedEditAfterFailedPreview() {
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  const std::string a = temp_->file("a.avi");
  videos_[a] = {100, false, {}, true};
  w->show();
  QVERIFY(QTest::qWaitForWindowActive(w.get()));
  w->addFilePaths({qs(a)});
  QCOMPARE(w->prompter().history().back().text, QStringLiteral("Kelo 出错，详细请看运行记录。"));
  w->dateGroup().xEdit()->setFocus();
  QVERIFY(w->dateGroup().xEdit()->hasFocus());
  w.reset();  // the edit loses the focus while the window goes: nothing may reach its members
}

void MainWindowTest::commandLineFilesAndProject() {
  const ui::CommandLine line =
      ui::parseCommandLine({"kelo", "tape.avi", "--open-help", "0x20066", "p.zev"});
  QVERIFY(line.action == ui::CommandLine::Action::OpenHelp);
  QCOMPARE(line.helpContext, QStringLiteral("0x20066"));
  QCOMPARE(line.files, (QStringList{"tape.avi", "p.zev"}));
  QVERIFY(ui::parseCommandLine({"kelo", "--version"}).action == ui::CommandLine::Action::Version);
  QVERIFY(ui::parseCommandLine({"kelo", "--bogus"}).action == ui::CommandLine::Action::Error);
  QVERIFY(ui::versionLine().startsWith(QStringLiteral("kelo 2.")));

  // A project and two videos: the project opens, the videos join the list, the first is shown.
  settings::StampSettings stored;
  settings::resetToDefaults(stored);
  stored.safeArea = true;
  std::u16string message;
  const std::string project = temp_->file("p.zev");
  QVERIFY(settings::saveProjectFile(project, stored, message) == settings::SaveOutcome::Saved);
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  const std::string a = temp_->file("a.avi");
  const std::string b = temp_->file("b.AVI");
  videos_[a] = {100, false, {}, false};
  videos_[b] = {100, false, {}, false};
  w->openFromCommandLine({qs(a), qs(project), qs(b)});
  QCOMPARE(settings::textOf(s.projectPath), qs(project).toStdU16String());
  QVERIFY(s.safeArea);
  QCOMPARE(w->fileList()->count(), 2);
  QCOMPARE(w->fileList()->item(1)->text(), qs(b));
  QCOMPARE(w->preview().shownPath(), qs(a));
  QVERIFY(!s.projectModified);
}

void MainWindowTest::positionsStayInsideTheFrame() {
  // At 640x480 a code nudged or typed to the picture's right edge is stored at x 720, not past it,
  // so the configuration and the project still accept it.
  settings::StampSettings s;
  auto w = makeWindow(s);
  useFakeSource(*w);
  s.previewSize = settings::PreviewSize::Size640x480;
  const std::string a = temp_->file("a.avi");
  videos_[a] = {100, false, {}, false};
  w->addFilePaths({qs(a)});
  ui::CodeGroup& g = w->dateGroup();
  QCOMPARE(w->preview().previewSize(), QSize(640, 480));
  w->show();
  QVERIFY(QTest::qWaitForWindowActive(w.get()));

  g.xEdit()->setFocus();
  g.xEdit()->setText("700");
  g.yEdit()->setFocus();
  QCOMPARE(g.xEdit()->text(), QStringLiteral("640"));
  QCOMPARE(s.dateCode.x, 720);

  g.corner = CornerPreset::TopLeft;
  g.show();
  g.yEdit()->setText("478");
  g.xEdit()->setFocus();
  emit g.nudgeAction(g.ids().down, 10);
  QCOMPARE(s.dateCode.y, 480);
  QCOMPARE(g.yEdit()->text(), QStringLiteral("480"));
  std::u16string message;
  QCOMPARE(settings::validateSettings(s, message), 0);
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"

#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QThread>
#include <QVBoxLayout>

#include "engine/BatchDriver.h"
#include "engine/PowerOff.h"
#include "engine/RunLog.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "render/FontCheck.h"
#include "settings/ConfigFile.h"
#include "settings/ProjectFile.h"
#include "ui/AppearanceDialog.h"
#include "ui/IntervalDialog.h"
#include "ui/RunLogWindow.h"
#include "ui/PreferencesDialog.h"
#include "ui/FormatComboHandlers.h"
#include "ui/Help.h"
#include "ui/PreviewPane.h"
#include "ui/QtPrompter.h"
#include "ui/RecentProjects.h"

namespace kelo::ui {

using engine::MessageKind;
using settings::textOf;

namespace {

constexpr int kMaxPathLength = 256;  // project paths of this many characters or more are refused
const QString kProjectFilter = QStringLiteral("Kelo 项目文件 (*.zev)");
// Every container the engine reads; both cases, as file names on this system are case-sensitive.
const QString kVideoFilter =
    QStringLiteral("DV 文件 (*.avi *.AVI *.dv *.DV *.dif *.DIF *.mov *.MOV)");

QString fromU16(const std::u16string& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}
std::u16string toU16(const QString& s) { return s.toStdU16String(); }
std::string toPath(const QString& s) { return s.toStdString(); }
QString fromPath(const std::string& s) { return QString::fromStdString(s); }

// The program's icon: a stamp mark drawn at run time (no binary resources in the tree).
QIcon keloIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(192, 32, 32));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, size, size), size / 5.0, size / 5.0);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(size * 3 / 4);
    p.setFont(font);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("K"));
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

// Forwards the driver's power-off to the window's current one, but only when the window decided
// at the end of the run that the computer goes off.
class EndOfRunPowerOff final : public engine::PowerOff {
 public:
  EndOfRunPowerOff(engine::PowerOff*& target, const std::atomic<bool>& wanted) : target_(target), wanted_(wanted) {}
  int powerOff() override { return wanted_.load() ? target_->powerOff() : 0; }

 private:
  engine::PowerOff*& target_;
  const std::atomic<bool>& wanted_;
};

}  // namespace

MainWindow::MainWindow(settings::StampSettings& settings, QWidget* parent)
    : QMainWindow(parent), settings_(settings) {
  prompter_ = std::make_unique<QtPrompter>(this);
  help_ = std::make_unique<HelpOpener>(*prompter_);
  recent_ = std::make_unique<RecentProjects>();
  observer_ = std::make_unique<QtRunObserver>(static_cast<RunView&>(*this));
  runLog_ = std::make_unique<engine::RunLog>();
  systemPowerOff_ = std::make_unique<engine::SystemPowerOff>();
  powerOff_ = systemPowerOff_.get();
  endOfRunPowerOff_ = std::make_unique<EndOfRunPowerOff>(powerOff_, shutdownAtEnd_);
  driver_ = std::make_unique<engine::BatchDriver>(settings_, *observer_, *prompter_, *endOfRunPowerOff_);

  setWindowTitle(QString::fromUtf8(kCaption));
  setWindowIcon(keloIcon());
  settings::resetToDefaults(settings_);
  buildControls();
  buildMenu();
  initialise();
}

MainWindow::~MainWindow() {
  // The worker reaches this window through blocking calls: let it finish while serving them.
  stopRunAndWait();
  // The child widgets call back into the prompter, the observer and the log while they go (a
  // focused edit reports losing the focus): they go first, and without reaching the window.
  for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
  delete logWindow_;
  logWindow_ = nullptr;
  delete takeCentralWidget();
  client_ = nullptr;
}

void MainWindow::setPowerOff(engine::PowerOff* powerOff) {
  if (isRunning()) return;
  powerOff_ = powerOff ? powerOff : systemPowerOff_.get();
}

bool MainWindow::isRunning() const { return driver_->state() != engine::kRunIdle; }

QWidget* MainWindow::control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------------------------
// Construction

void MainWindow::buildControls() {
  client_ = new QWidget(this);
  setCentralWidget(client_);

  preview_ = new PreviewPane(settings_, *prompter_, client_);
  preview_->setSource(makeEnginePreviewSource(settings_, *observer_));
  preview_->collectControls(controls_);
  connect(preview_, &PreviewPane::layoutChanged, this, &MainWindow::applyLayout);
  connect(preview_, &PreviewPane::laidOut, this, &MainWindow::afterLayOut);

  safeAreaBox_ = new QCheckBox(QStringLiteral("安全加码区"), client_);
  controls_[ctl::kSafeArea] = safeAreaBox_;
  QFont small = safeAreaBox_->font();  // its 74-pixel place is cut for the 8-point template font
  small.setPixelSize(11);
  safeAreaBox_->setFont(small);
  connect(safeAreaBox_, &QCheckBox::clicked, this, [this] {
    markModified();
    preview_->requestRefresh();
  });

  dateGroup_ = new CodeGroup(true, settings_, client_);
  timeGroup_ = new CodeGroup(false, settings_, client_);
  for (CodeGroup* g : {dateGroup_, timeGroup_}) {
    g->collectControls(controls_);
    connectCodeGroup(*g);
  }

  auto* fileGroup = new QGroupBox(client_);
  controls_[ctl::kFileGroup] = fileGroup;
  controls_[ctl::kFileLabel] = new QLabel(QStringLiteral("需加码的录像"), client_);
  fileList_ = new QListWidget(client_);
  fileList_->setSelectionMode(QAbstractItemView::SingleSelection);
  fileList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  controls_[ctl::kFileList] = fileList_;
  connect(fileList_, &QListWidget::itemSelectionChanged, this, [this] {
    if (!selectingFromRun_) chooseVideoFromList();
  });
  addButton_ = new QPushButton(QStringLiteral("添加"), client_);
  deleteButton_ = new QPushButton(QStringLiteral("删除"), client_);
  clearButton_ = new QPushButton(QStringLiteral("清零"), client_);
  controls_[ctl::kAdd] = addButton_;
  controls_[ctl::kDelete] = deleteButton_;
  controls_[ctl::kClear] = clearButton_;
  connect(addButton_, &QPushButton::clicked, this, &MainWindow::addFiles);
  connect(deleteButton_, &QPushButton::clicked, this, &MainWindow::deleteFile);
  connect(clearButton_, &QPushButton::clicked, this, &MainWindow::clearFiles);
  controls_[ctl::kFolderLabel] = new QLabel(QStringLiteral("加码录像存放在"), client_);
  outputFolder_ = new QLineEdit(client_);
  outputFolder_->setReadOnly(true);
  controls_[ctl::kOutputFolder] = outputFolder_;
  browseButton_ = new QPushButton(QStringLiteral("浏览"), client_);
  controls_[ctl::kBrowse] = browseButton_;
  connect(browseButton_, &QPushButton::clicked, this, &MainWindow::browseOutputFolder);

  auto* runGroup = new QGroupBox(client_);
  controls_[ctl::kRunGroup] = runGroup;
  progress_ = new QProgressBar(client_);
  progress_->setTextVisible(false);
  controls_[ctl::kProgress] = progress_;
  autoShutdown_ = new QCheckBox(QStringLiteral("自动关机"), client_);
  controls_[ctl::kAutoShutdown] = autoShutdown_;
  connect(autoShutdown_, &QCheckBox::clicked, this, [this] { markModified(); });
  percent_ = new QLineEdit(client_);
  percent_->setReadOnly(true);
  percent_->setAlignment(Qt::AlignRight);
  controls_[ctl::kPercent] = percent_;
  stampButton_ = new QPushButton(QStringLiteral("加码"), client_);
  stopButton_ = new QPushButton(QStringLiteral("停止"), client_);
  logButton_ = new QPushButton(QStringLiteral("看记录"), client_);
  controls_[ctl::kStamp] = stampButton_;
  controls_[ctl::kStop] = stopButton_;
  controls_[ctl::kViewLog] = logButton_;
  connect(stampButton_, &QPushButton::clicked, this, &MainWindow::onStamp);
  connect(stopButton_, &QPushButton::clicked, this, &MainWindow::onStop);
  connect(logButton_, &QPushButton::clicked, this, [this] {
    logWindow_->show();
    logWindow_->raise();
  });
  fileGroup->lower();
  runGroup->lower();

  // The Enter key does nothing in the main window.
  for (QPushButton* b : client_->findChildren<QPushButton*>()) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }

  logWindow_ = new RunLogWindow(this);
  logWindow_->hide();
}

void MainWindow::connectCodeGroup(CodeGroup& g) {
  connect(&g, &CodeGroup::enableClicked, this, [this, &g] { onEnableClicked(g); });
  connect(&g, &CodeGroup::formatActivated, this, [this, &g] { onFormatActivated(g); });
  connect(&g, &CodeGroup::cornerActivated, this, [this, &g] { onCornerActivated(g); });
  connect(&g, &CodeGroup::xLeft, this, [this, &g] { onXLeft(g); });
  connect(&g, &CodeGroup::yLeft, this, [this, &g] { onYLeft(g); });
  connect(&g, &CodeGroup::nudgeAction, this, [this, &g](int id, int step) { onNudge(g, id, step); });
  connect(&g, &CodeGroup::fontClicked, this, [this, &g] { onFontClicked(g); });
  connect(&g, &CodeGroup::intervalClicked, this, [this, &g] { onIntervalClicked(g); });
}

void MainWindow::buildMenu() {
  projectMenu_ = menuBar()->addMenu(QStringLiteral("项目"));
  newAction_ = projectMenu_->addAction(QStringLiteral("新建"), this, &MainWindow::newProject);
  openAction_ = projectMenu_->addAction(QStringLiteral("打开 ..."), this, &MainWindow::openProject);
  saveAction_ = projectMenu_->addAction(QStringLiteral("保存"), this, [this] { saveProject(); });
  saveAsAction_ = projectMenu_->addAction(QStringLiteral("另存为 ..."), this, [this] { saveProjectAs(); });
  projectMenu_->addSeparator();
  recentPlaceholder_ = projectMenu_->addAction(QStringLiteral("近期项目"));
  recentPlaceholder_->setEnabled(false);
  recentSeparator_ = projectMenu_->addSeparator();
  exitAction_ = projectMenu_->addAction(QStringLiteral("退出"), this, [this] { close(); });
  connect(projectMenu_, &QMenu::aboutToShow, this, &MainWindow::updateMenus);

  QMenu* options = menuBar()->addMenu(QStringLiteral("设置"));
  preferencesAction_ = options->addAction(QStringLiteral("个性化设置 ..."), this, &MainWindow::showPreferences);

  QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("帮助"));
  helpMenu->addAction(QStringLiteral("速成指南"), this, [this] { help_->show(kHelpQuickGuide); });
  helpMenu->addAction(QStringLiteral("目录"), this, [this] { help_->show(kHelpContents); });
  helpMenu->addSeparator();
  helpMenu->addAction(QStringLiteral("相关信息"), this, &MainWindow::showAbout);
  refreshRecentMenu();
}

void MainWindow::refreshRecentMenu() {
  for (QAction* a : recentActions_) {
    projectMenu_->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  const QStringList& entries = recent_->entries();
  recentPlaceholder_->setVisible(entries.isEmpty());
  for (int i = 0; i < entries.size(); ++i) {
    auto* action = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(entries[i]), projectMenu_);
    const QString path = entries[i];
    connect(action, &QAction::triggered, this, [this, path] { openProjectPath(path); });
    projectMenu_->insertAction(recentSeparator_, action);
    recentActions_.append(action);
  }
  const bool idle = !isRunning();
  for (QAction* a : recentActions_) a->setEnabled(idle);
}

void MainWindow::initialise() {
  progress_->setRange(0, 1000);
  progress_->setValue(0);
  percent_->setText(QStringLiteral("0.0%"));
  stopButton_->setEnabled(false);
  saveEnabled_ = false;
  settings_.projectModified = false;
  preview_->create();
  applyLayout(layout::layoutFor(settings_.previewSize, false));
  settingsToWindow();
  setTitle(false);

  configPath_ = settings::configFilePath();
  std::u16string message;
  if (settings::loadConfigFile(configPath_, settings_, message) == settings::LoadOutcome::Loaded) {
    settingsToWindow();
    setTitle(true);
    settings_.projectModified = false;
  }
  updateMenus();
}

// ---------------------------------------------------------------------------------------------
// Layout

void MainWindow::applyLayout(int l) {
  for (int id : layout::controlIds())
    if (QWidget* w = control(id)) w->setGeometry(layout::controlRect(l, id));
  const QRect frame = layout::previewFrameRect(l);
  preview_->picture()->setGeometry(frame);
  if (QWidget* hint = control(ctl::kHint)) hint->setGeometry(frame.adjusted(60, frame.height() / 2 - 40, -60, -(frame.height() / 2 - 40)));
  const QSize client = layout::clientSize(l);
  client_->setFixedSize(client);
  setFixedSize(client.width(), client.height() + menuBar()->sizeHint().height());
  update();
}

void MainWindow::afterLayOut() {
  const int frameHeight = preview_->frameSize().height();
  dateGroup_->preview = toPreviewPixels(dateFrame_, preview_->previewSize(), frameHeight);
  timeGroup_->preview = toPreviewPixels(timeFrame_, preview_->previewSize(), frameHeight);
  dateGroup_->show();
  timeGroup_->show();
}

// ---------------------------------------------------------------------------------------------
// Settings exchange

settings::StampCodeSettings& MainWindow::codeOf(const CodeGroup& g) {
  return g.isDateCode() ? settings_.dateCode : settings_.timeCode;
}

Position& MainWindow::framePositionOf(const CodeGroup& g) { return g.isDateCode() ? dateFrame_ : timeFrame_; }

void MainWindow::readControls() {
  safeArea_ = safeAreaBox_->isChecked();
  dateGroup_->read();
  timeGroup_->read();
}

void MainWindow::showControls() {
  safeAreaBox_->setChecked(safeArea_);
  dateGroup_->show();
  timeGroup_->show();
  outputFolder_->setText(fromU16(textOf(settings_.outputFolder)));
}

void MainWindow::windowToSettings() {
  // The worker reads the settings during a run; nothing may change them then.
  if (!settings_.idle) return;
  readControls();
  settings_.safeArea = safeArea_;
  const int frameHeight = preview_->frameSize().height();
  for (CodeGroup* g : {dateGroup_, timeGroup_}) {
    settings::StampCodeSettings& code = codeOf(*g);
    code.enabled = g->enabled;
    code.formatIndex = g->formatIndex;
    code.corner = g->corner;
    Position& frame = framePositionOf(*g);
    frame = clampToFieldLimits(toFramePixels(g->preview, preview_->previewSize(), frameHeight));
    code.x = frame.x;
    code.y = frame.y;
  }
}

void MainWindow::settingsToWindow() {
  safeArea_ = settings_.safeArea;
  // The date list's length follows the language that was just loaded.
  dateGroup_->fillDateFormats(settings_.language);
  const int frameHeight = preview_->frameSize().height();
  for (CodeGroup* g : {dateGroup_, timeGroup_}) {
    const settings::StampCodeSettings& code = codeOf(*g);
    g->enabled = code.enabled;
    g->formatIndex = code.formatIndex;
    g->corner = code.corner;
    Position& frame = framePositionOf(*g);
    frame = {code.x, code.y};
    g->preview = toPreviewPixels(frame, preview_->previewSize(), frameHeight);
  }
  settings_.idle = true;
  if (!preview_->videoPresent()) {
    preview_->resetState();
    autoShutdown_->setChecked(false);
  }
  showControls();
  refreshCodeEnabling();
}

void MainWindow::markModified() {
  settings_.projectModified = true;
  windowToSettings();
}

void MainWindow::refreshCodeEnabling() {
  const bool idle = settings_.idle;
  dateGroup_->applyEnabling(idle);
  timeGroup_->applyEnabling(idle);
}

void MainWindow::setTitle(bool withPath) {
  const QString path = fromU16(textOf(settings_.projectPath));
  if (withPath)
    setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromUtf8(kCaption), path));
  else
    setWindowTitle(QString::fromUtf8(kCaption));
}

void MainWindow::updateMenus() {
  // While a run is in progress the menus keep the state setRunning gave them.
  if (isRunning()) return;
  const bool named = !textOf(settings_.projectPath).empty();
  saveAction_->setEnabled(saveEnabled_ || (settings_.projectModified && named));
}

void MainWindow::refreshPreview() { preview_->requestRefresh(); }

// ---------------------------------------------------------------------------------------------
// Project commands

QStringList MainWindow::chooseFiles(const FileRequest& request) {
  if (chooseFiles_) return chooseFiles_(request);
  QString start = request.folder;
  if (!request.proposedName.isEmpty()) start = request.proposedName;
  switch (request.kind) {
    case FileRequest::Kind::OpenProject: {
      const QString path = QFileDialog::getOpenFileName(this, request.title, start, request.filter);
      return path.isEmpty() ? QStringList() : QStringList{path};
    }
    case FileRequest::Kind::SaveProject: {
      QFileDialog dialog(this, request.title, request.folder, request.filter);
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setDefaultSuffix(request.defaultSuffix);
      if (!request.proposedName.isEmpty()) dialog.selectFile(request.proposedName);
      return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
    }
    case FileRequest::Kind::AddFiles:
      return QFileDialog::getOpenFileNames(this, request.title, start, request.filter);
    case FileRequest::Kind::ChooseFolder: {
      const QString folder = QFileDialog::getExistingDirectory(this, request.title, request.folder);
      return folder.isEmpty() ? QStringList() : QStringList{folder};
    }
  }
  return {};
}

bool MainWindow::askToSave() {
  if (!settings_.projectModified || textOf(settings_.projectPath).empty()) return true;
  if (prompter_->ask(MessageKind::Warning, QStringLiteral("保存当前项目?"), QtPrompter::Buttons::YesNo) !=
      QtPrompter::Answer::Yes)
    return true;
  windowToSettings();
  // Going on after a failed save would throw the changes away.
  return saveTo(fromU16(textOf(settings_.projectPath))) == SaveOutcome::Saved;
}

MainWindow::SaveOutcome MainWindow::saveTo(const QString& path) {
  std::u16string message;
  if (settings::saveProjectFile(toPath(path), settings_, message) != settings::SaveOutcome::Saved) {
    prompter_->warn(message.empty() ? QStringLiteral("保存不了项目：%1").arg(path) : fromU16(message));
    return SaveOutcome::Failed;
  }
  return SaveOutcome::Saved;
}

void MainWindow::saveChangedMarkers() {
  if (settings_.markersModified) preview_->saveShownMarkers();
}

void MainWindow::newProject() {
  if (isRunning() || !askToSave()) return;
  settings::resetToDefaults(settings_);
  settingsToWindow();
  setTitle(false);
  saveEnabled_ = false;
  settings_.projectModified = false;
  updateMenus();
  refreshPreview();
}

void MainWindow::openProject() {
  if (isRunning() || !askToSave()) return;
  const QString current = fromU16(textOf(settings_.projectPath));
  FileRequest request{FileRequest::Kind::OpenProject, QStringLiteral("选择一个 Kelo 项目 ..."),
                      current.isEmpty() ? QString() : fromPath(platform::folderOf(toPath(current))), current,
                      kProjectFilter, QStringLiteral("zev")};
  const QStringList chosen = chooseFiles(request);
  if (chosen.isEmpty()) return;
  loadProject(chosen.first());
}

bool MainWindow::openProjectPath(const QString& path) {
  if (isRunning() || !askToSave()) return false;
  const bool ok = loadProject(path);
  if (!ok) {
    // A project that cannot be opened does not stay in the recent list.
    recent_->remove(path);
    refreshRecentMenu();
  }
  return ok;
}

bool MainWindow::loadProject(const QString& path) {
  if (path.size() >= kMaxPathLength) {
    prompter_->warn(QStringLiteral("项目名字太长了：%1.").arg(path));
    return false;
  }
  std::u16string message;
  if (settings::loadProjectFile(toPath(path), settings_, message) != settings::LoadOutcome::Loaded) {
    prompter_->warn(message.empty() ? QStringLiteral("打不开项目：%1.").arg(path) : fromU16(message));
    return false;
  }
  settings::setText(settings_.projectPath, toU16(path));
  settingsToWindow();
  setTitle(true);
  recent_->add(path);
  refreshRecentMenu();
  saveEnabled_ = true;
  settings_.projectModified = false;
  updateMenus();
  refreshPreview();
  return true;
}

bool MainWindow::saveProject() {
  if (isRunning()) return false;
  const QString path = fromU16(textOf(settings_.projectPath));
  if (!path.isEmpty()) {
    windowToSettings();
    // A project that was not written must not look saved.
    if (saveTo(path) != SaveOutcome::Saved) return false;
  } else if (saveAs() != SaveOutcome::Saved) {
    return false;
  }
  saveEnabled_ = false;
  settings_.projectModified = false;
  updateMenus();
  return true;
}

bool MainWindow::saveProjectAs() { return saveAs() == SaveOutcome::Saved; }

MainWindow::SaveOutcome MainWindow::saveAs() {
  if (isRunning()) return SaveOutcome::Cancelled;
  const QString current = fromU16(textOf(settings_.projectPath));
  FileRequest request{FileRequest::Kind::SaveProject, QStringLiteral("保存 Kelo 项目 ..."),
                      current.isEmpty() ? QString() : fromPath(platform::folderOf(toPath(current))), current,
                      kProjectFilter, QStringLiteral("zev")};
  const QStringList chosen = chooseFiles(request);
  if (chosen.isEmpty()) return SaveOutcome::Cancelled;
  const QString path = chosen.first();
  if (path.size() >= kMaxPathLength) {
    prompter_->warn(QStringLiteral("项目名字太长了：%1.").arg(path));
    return SaveOutcome::Failed;
  }
  settings::setText(settings_.projectPath, toU16(path));
  windowToSettings();
  if (saveTo(path) != SaveOutcome::Saved) return SaveOutcome::Failed;
  recent_->add(path);
  refreshRecentMenu();
  saveEnabled_ = false;
  settings_.projectModified = false;
  updateMenus();
  return SaveOutcome::Saved;
}

void MainWindow::showPreferences() {
  if (isRunning()) return;
  const int language = settings_.language;
  PreferencesDialog dialog(settings_, *prompter_, this);
  connect(&dialog, &PreferencesDialog::helpRequested, this, [this](int context) { help_->show(context); });
  if (dialog.exec() != QDialog::Accepted) return;
  settings_.projectModified = true;
  if (settings_.language != language || dialog.languageChanged()) {
    if (settings_.dateCode.formatIndex >= settings::dateFormatListLength(settings_.language))
      settings_.dateCode.formatIndex = 1;
    dateGroup_->fillDateFormats(settings_.language);
    dateGroup_->formatIndex = settings_.dateCode.formatIndex;
    dateGroup_->show();
  }
  refreshPreview();
}

void MainWindow::showAbout() {
  QDialog about(this);
  about.setWindowTitle(QStringLiteral("Kelo 相关信息"));
  auto* layout = new QVBoxLayout(&about);
  auto* icon = new QLabel(&about);
  icon->setPixmap(windowIcon().pixmap(32, 32));
  layout->addWidget(icon);
  for (const char* line : {"Kelo 中文版 2.1.0", "2006-03-31", "版权所有 © Kelo 开发者", "https://kelo.example.org"}) {
    auto* edit = new QLineEdit(QString::fromUtf8(line), &about);
    edit->setReadOnly(true);
    edit->setFrame(false);
    layout->addWidget(edit);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
  connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  layout->addWidget(buttons);
  about.exec();
}

// ---------------------------------------------------------------------------------------------
// Exit

bool MainWindow::exitSequence() {
  windowToSettings();
  std::u16string message;
  if (settings::saveConfigFile(configPath_, settings_, message) != settings::SaveOutcome::Saved) {
    // Otherwise the whole session's settings are gone without a word.
    prompter_->warn(message.empty() ? QStringLiteral("设置没有保存到 %1。").arg(fromPath(configPath_)) : fromU16(message));
  }

  if (!settings_.projectModified) {
    if (prompter_->ask(MessageKind::Warning, QStringLiteral("退出Kelo？"), QtPrompter::Buttons::OkCancel) !=
        QtPrompter::Answer::Ok)
      return false;
  } else {
    const QtPrompter::Answer answer = prompter_->ask(
        MessageKind::Warning, QStringLiteral("退出前先保存当前项目？"), QtPrompter::Buttons::YesNoCancel);
    if (answer == QtPrompter::Answer::Cancel) return false;
    if (answer == QtPrompter::Answer::Yes) {
      const QString path = fromU16(textOf(settings_.projectPath));
      // Cancelling Save As does not stop the exit; a save that failed does, or the changes are lost.
      const SaveOutcome saved = path.isEmpty() ? saveAs() : saveTo(path);
      if (saved == SaveOutcome::Failed) return false;
    }
  }
  // Markers set in the preview are not part of the project: they are kept whatever was answered.
  saveChangedMarkers();
  stopRunAndWait();
  writeRunLogFile();
  return true;
}

void MainWindow::stopRunAndWait() {
  if (!driver_ || !isRunning()) {
    if (driver_) driver_->wait();
    return;
  }
  driver_->onStop();
  // Serve the worker's blocking calls until it has ended; never block on it here.
  while (isRunning()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  driver_->wait();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (exitConfirmed_ || exitSequence()) {
    exitConfirmed_ = true;
    logWindow_->hide();
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape: close(); return;
    case Qt::Key_Return:
    case Qt::Key_Enter: return;  // Enter does nothing in the main window
    default: QMainWindow::keyPressEvent(event);
  }
}

// ---------------------------------------------------------------------------------------------
// Code groups

void MainWindow::onEnableClicked(CodeGroup&) {
  markModified();
  refreshCodeEnabling();
  refreshPreview();
}

void MainWindow::onFormatActivated(CodeGroup& g) {
  windowToSettings();
  const HelpHandler help = [this](int context) { help_->show(context); };
  if (g.isDateCode())
    onDateFormatChanged(settings_, *prompter_, this, help, formatDialogRunner_);
  else
    onTimeFormatChanged(settings_, *prompter_, this, help, formatDialogRunner_);
  settings_.projectModified = true;
  refreshPreview();
}

void MainWindow::onCornerActivated(CodeGroup& g) {
  const settings::CornerPreset old = g.corner;
  markModified();
  if (g.corner != old) {
    const int previewWidth = preview_->videoPresent() ? preview_->previewSize().width() : 0;
    g.preview.x = xAfterCornerChange(old, g.corner, g.preview.x, previewWidth);
  }
  g.show();
  windowToSettings();
  refreshPreview();
}

void MainWindow::onXLeft(CodeGroup& g) {
  markModified();
  // Beyond the picture's right edge the code would be stored past the frame.
  const int width = preview_->videoPresent() ? preview_->previewSize().width() : kFrameWidth;
  if (g.preview.x > width) g.preview.x = width;
  g.show();
  windowToSettings();
  refreshPreview();
}

void MainWindow::onYLeft(CodeGroup& g) {
  markModified();
  const int previewHeight = preview_->previewSize().height();
  if (g.preview.y > previewHeight) g.preview.y = previewHeight;
  g.show();
  windowToSettings();
  refreshPreview();
}

void MainWindow::onNudge(CodeGroup& g, int controlId, int step) {
  Nudge direction;
  if (!g.nudgeOf(controlId, direction)) return;
  markModified();
  const bool known = preview_->videoPresent();
  const int frameWidth = known ? kFrameWidth : 0;
  const int frameHeight = known ? preview_->frameSize().height() : 0;
  g.preview = nudgePosition(g.corner, direction, g.preview, step, frameWidth, frameHeight);
  // A step that carried the code past the picture's edge stops at the edge.
  if (known) g.preview = clampToPicture(g.preview, preview_->previewSize());
  g.show();
  windowToSettings();
  refreshPreview();
}

void MainWindow::onFontClicked(CodeGroup& g) {
  AppearanceDialog dialog(settings_, codeOf(g), this);
  connect(&dialog, &AppearanceDialog::helpRequested, this, [this](int context) { help_->show(context); });
  if (dialog.exec() != QDialog::Accepted) return;
  markModified();
  refreshPreview();
}

void MainWindow::onIntervalClicked(CodeGroup& g) {
  IntervalDialog dialog(settings_, codeOf(g), *prompter_, this);
  connect(&dialog, &IntervalDialog::helpRequested, this, [this](int context) { help_->show(context); });
  if (dialog.exec() != QDialog::Accepted) return;
  markModified();
}

// ---------------------------------------------------------------------------------------------
// File list and output folder

void MainWindow::addFiles() {
  const QString first = fromU16(textOf(settings_.addFilesFolder));
  FileRequest request{FileRequest::Kind::AddFiles, QStringLiteral("选择需加码的录像"),
                      first.isEmpty() ? QString() : fromPath(platform::folderOf(toPath(first))), first,
                      kVideoFilter, QStringLiteral("avi")};
  const QStringList chosen = chooseFiles(request);
  if (chosen.isEmpty()) return;
  addFilePaths(chosen);
}

void MainWindow::addFilePaths(const QStringList& paths) {
  if (paths.isEmpty()) return;
  settings_.projectModified = true;
  settings::setText(settings_.addFilesFolder, toU16(paths.first()));
  const int firstNew = fileList_->count();
  {
    const QSignalBlocker block(fileList_);
    for (const QString& p : paths) fileList_->addItem(p);
  }
  fileList_->setCurrentRow(firstNew);  // selecting it previews it
}

void MainWindow::openFromCommandLine(const QStringList& paths) {
  QStringList videos;
  QString project;
  for (const QString& p : paths) {
    const QString path = QFileInfo(p).absoluteFilePath();
    if (path.endsWith(QStringLiteral(".zev"), Qt::CaseInsensitive))
      project = path;
    else
      videos << path;
  }
  if (!project.isEmpty()) openProjectPath(project);
  if (videos.isEmpty()) return;
  // Being opened with a few videos is no change to the project.
  const bool modified = settings_.projectModified;
  addFilePaths(videos);
  settings_.projectModified = modified;
}

void MainWindow::deleteFile() {
  const int row = fileList_->currentRow();
  if (row < 0 || fileList_->selectedItems().isEmpty()) return;
  const QSignalBlocker block(fileList_);
  delete fileList_->takeItem(row);
  fileList_->clearSelection();
}

void MainWindow::clearFiles() {
  if (fileList_->count() == 0) return;
  if (prompter_->ask(MessageKind::Warning, QStringLiteral("删掉所有录像?"), QtPrompter::Buttons::YesNo) !=
      QtPrompter::Answer::Yes)
    return;
  const QSignalBlocker block(fileList_);
  fileList_->clear();
}

void MainWindow::browseOutputFolder() {
  FileRequest request{FileRequest::Kind::ChooseFolder, QStringLiteral("选择存放加码录像的文件夹"),
                      fromU16(textOf(settings_.outputFolder)), QString(), QString(), QString()};
  const QStringList chosen = chooseFiles(request);
  if (chosen.isEmpty()) return;
  QString folder = chosen.first();
  if (!folder.endsWith(QLatin1Char(platform::kSeparator))) folder += QLatin1Char(platform::kSeparator);
  // A cut folder name would send the stamped files somewhere else.
  if (static_cast<std::size_t>(folder.size()) >= settings::kOutputFolderCapacity) {
    prompter_->warn(QStringLiteral("文件夹名字太长了：%1").arg(folder));
    return;
  }
  settings_.projectModified = true;
  settings::setText(settings_.outputFolder, toU16(folder));
  outputFolder_->setText(folder);
}

void MainWindow::chooseVideoFromList() {
  if (fileList_->count() == 0) {
    preview_->chooseVideo(QString());
    return;
  }
  int row = fileList_->currentRow();
  if (row < 0 || fileList_->selectedItems().isEmpty()) row = 0;
  preview_->chooseVideo(fileList_->item(row)->text());
}

// ---------------------------------------------------------------------------------------------
// Batch run

void MainWindow::onStamp() {
  if (isRunning()) {
    driver_->onStamp({});
    stampButton_->setText(QString::fromUtf8(driver_->stampButtonCaption()));
    return;
  }
  windowToSettings();
  // A code that no installed face can draw would make the run stamp nothing: say so before it starts.
  if (const auto undrawable = render::findUndrawableCode(settings_)) {
    prompter_->message(engine::MessageKind::Error, render::undrawableCodeMessage(*undrawable));
    return;
  }
  engine::BatchRequest request;
  for (int i = 0; i < fileList_->count(); ++i) request.inputs.push_back(toPath(fileList_->item(i)->text()));
  request.outputFolder = platform::toUtf8(textOf(settings_.outputFolder));
  request.selectionBefore = fileList_->selectedItems().isEmpty() ? -1 : fileList_->currentRow();
  // "自动关机" may be ticked or unticked while the run goes on: the driver always reaches its
  // end-of-run step, and the box's state then decides whether the log is written and the
  // computer goes off.
  shutdownAtEnd_ = false;
  request.autoShutdown = true;
  request.saveChangedMarkers = [this] { saveChangedMarkers(); };
  request.writeLogFile = [this] {
    auto decide = [this] {
      shutdownAtEnd_ = autoShutdown_->isChecked();
      if (shutdownAtEnd_) writeRunLogFile();
    };
    if (QThread::currentThread() == thread())
      decide();
    else
      QMetaObject::invokeMethod(this, decide, Qt::BlockingQueuedConnection);
  };
  progress_->setValue(0);
  percent_->setText(QStringLiteral("0.0%"));
  if (driver_->onStamp(request)) stampButton_->setText(QString::fromUtf8(driver_->stampButtonCaption()));
}

void MainWindow::onStop() {
  stopButton_->setEnabled(false);
  driver_->onStop();
}

void MainWindow::appendLogLine(const QString& line) {
  runLog_->add(line.toStdString());
  logLines_.append(line);
  logWindow_->appendLine(line);
}

void MainWindow::showProgress(int perMille, const QString& text) {
  progress_->setValue(perMille);
  percent_->setText(text);
}

void MainWindow::selectFile(int index) {
  selectingFromRun_ = true;
  if (index >= 0 && index < fileList_->count())
    fileList_->setCurrentRow(index);
  else
    fileList_->clearSelection();
  selectingFromRun_ = false;
}

void MainWindow::setRunning(bool running) {
  settings_.idle = !running;
  for (QWidget* w : std::initializer_list<QWidget*>{addButton_, deleteButton_, clearButton_, browseButton_, safeAreaBox_})
    w->setEnabled(!running);
  preview_->setIdle(!running);
  refreshCodeEnabling();
  for (QAction* a : {newAction_, openAction_, saveAction_, saveAsAction_, preferencesAction_}) a->setEnabled(!running);
  for (QAction* a : recentActions_) a->setEnabled(!running);
  if (!running) {
    stampButton_->setText(QStringLiteral("加码"));
    const bool named = !textOf(settings_.projectPath).empty();
    saveAction_->setEnabled(settings_.projectModified && named);
  } else {
    stampButton_->setText(QStringLiteral("暂停"));
  }
  stopButton_->setEnabled(running);
}

void MainWindow::writeRunLogFile() { runLog_->writeFile(); }

}  // namespace kelo::ui

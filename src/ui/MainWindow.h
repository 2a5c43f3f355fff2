#pragma once
// The main window "Kelo 中文版": preview pane, the two code groups, the file list, output folder
// and run controls, and the menu with the project, preferences and help commands. It owns the
// window's copies of the settings it shows and exchanges them with the one StampSettings record
// of the program; it starts and stops batch runs through the engine's batch driver.
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "settings/StampSettings.h"
#include "ui/CodeGroup.h"
#include "ui/FormatComboHandlers.h"
#include "ui/QtRunObserver.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QGroupBox;

namespace kelo::engine {
class BatchDriver;
class PowerOff;
class RunLog;
}

namespace kelo::ui {

class RunLogWindow;
class HelpOpener;
class PreviewPane;
class QtPrompter;
class RecentProjects;

// Control ids of the file column and the run controls.
namespace ctl {
inline constexpr int kFileGroup = 1064, kFileLabel = 1070, kFileList = 1047;
inline constexpr int kAdd = 1029, kDelete = 1030, kClear = 1031;
inline constexpr int kFolderLabel = 1065, kOutputFolder = 1048, kBrowse = 1032;
inline constexpr int kRunGroup = 1063, kProgress = 1027, kAutoShutdown = 1026, kPercent = 1035;
inline constexpr int kStamp = 1033, kStop = 1034, kViewLog = 1037;
inline constexpr int kSafeArea = 1009;
}  // namespace ctl

// What a file dialog is asked for; tests answer instead of showing the dialog.
struct FileRequest {
  enum class Kind { OpenProject, SaveProject, AddFiles, ChooseFolder };
  Kind kind = Kind::OpenProject;
  QString title;
  QString folder;        // where the dialog starts
  QString proposedName;  // proposed file name ("" for none)
  QString filter;
  QString defaultSuffix;
};
// The chosen paths; empty when the user cancelled.
using FileChooser = std::function<QStringList(const FileRequest&)>;

class MainWindow : public QMainWindow, private RunView {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "Kelo 中文版";

  // Builds the window over `settings` (reset to defaults here), then loads the configuration file
  // over them, as at start-up.
  explicit MainWindow(settings::StampSettings& settings, QWidget* parent = nullptr);
  ~MainWindow() override;

  // --- what tests and the application reach ---
  QtPrompter& prompter() { return *prompter_; }
  HelpOpener& help() { return *help_; }
  PreviewPane& preview() { return *preview_; }
  RecentProjects& recentProjects() { return *recent_; }
  RunLogWindow& logWindow() { return *logWindow_; }
  QWidget* control(int id) const;
  CodeGroup& dateGroup() { return *dateGroup_; }
  CodeGroup& timeGroup() { return *timeGroup_; }
  QListWidget* fileList() const { return fileList_; }
  QAction* saveAction() const { return saveAction_; }
  const std::string& configPath() const { return configPath_; }
  void setFileChooser(FileChooser chooser) { chooseFiles_ = std::move(chooser); }
  // Runs the custom format dialog instead of exec() (tests).
  void setFormatDialogRunner(FormatDialogRunner run) { formatDialogRunner_ = std::move(run); }
  // Replaces the power-off used at the end of a run with auto shutdown (tests).
  void setPowerOff(engine::PowerOff* powerOff);
  bool isRunning() const;
  // The run's lines, in order (the run log).
  const QStringList& runLogLines() const { return logLines_; }

  // --- menu commands ---
  void newProject();
  void openProject();
  // Open by path (recent list and any caller with a path); true when it was loaded.
  bool openProjectPath(const QString& path);
  // True when the project was saved.
  bool saveProject();
  bool saveProjectAs();
  // What the command line names: videos join the file list (the first is shown), a ".zev" opens
  // as the project.
  void openFromCommandLine(const QStringList& paths);
  void showPreferences();
  void showAbout();
  // The exit sequence; true when the window may close.
  bool exitSequence();

  // --- file list, output folder, run ---
  void addFiles();
  void addFilePaths(const QStringList& paths);
  void deleteFile();
  void clearFiles();
  void browseOutputFolder();
  void onStamp();
  void onStop();

  // --- settings exchange ---
  void windowToSettings();
  void settingsToWindow();
  // Sets projectModified and reads every control into the window's members.
  void markModified();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // RunView (GUI thread)
  void appendLogLine(const QString& line) override;
  void showProgress(int perMille, const QString& text) override;
  void selectFile(int index) override;
  void setRunning(bool running) override;

  void buildControls();
  void buildMenu();
  void refreshRecentMenu();
  void connectCodeGroup(CodeGroup& group);
  void initialise();
  void applyLayout(int layout);
  void afterLayOut();
  void setTitle(bool withPath);
  void updateMenus();
  void refreshCodeEnabling();
  void readControls();
  void showControls();
  // False when the user wanted the project saved and it could not be: the caller stops.
  bool askToSave();
  enum class SaveOutcome { Saved, Cancelled, Failed };
  SaveOutcome saveAs();
  SaveOutcome saveTo(const QString& path);
  // The shown video's unsaved markers, asked about unless all markers go to one file.
  void saveChangedMarkers();
  bool loadProject(const QString& path);
  void refreshPreview();
  void chooseVideoFromList();
  void writeRunLogFile();
  void stopRunAndWait();
  QStringList chooseFiles(const FileRequest& request);
  settings::StampCodeSettings& codeOf(const CodeGroup& group);
  Position& framePositionOf(const CodeGroup& group);

  // Code group handlers.
  void onEnableClicked(CodeGroup& group);
  void onFormatActivated(CodeGroup& group);
  void onCornerActivated(CodeGroup& group);
  void onXLeft(CodeGroup& group);
  void onYLeft(CodeGroup& group);
  void onNudge(CodeGroup& group, int controlId, int step);
  void onFontClicked(CodeGroup& group);
  void onIntervalClicked(CodeGroup& group);

  settings::StampSettings& settings_;
  std::unique_ptr<QtPrompter> prompter_;
  std::unique_ptr<HelpOpener> help_;
  std::unique_ptr<RecentProjects> recent_;
  std::unique_ptr<QtRunObserver> observer_;
  std::unique_ptr<engine::RunLog> runLog_;  // the lines of every run and preview, for the log file
  std::unique_ptr<engine::PowerOff> systemPowerOff_;
  engine::PowerOff* powerOff_ = nullptr;
  // The driver switches off through this: only when "自动关机" is ticked as the run ends.
  std::unique_ptr<engine::PowerOff> endOfRunPowerOff_;
  std::atomic<bool> shutdownAtEnd_{false};  // decided on the GUI thread when the run ends
  std::unique_ptr<engine::BatchDriver> driver_;
  FileChooser chooseFiles_;
  FormatDialogRunner formatDialogRunner_;
  std::string configPath_;
  QStringList logLines_;

  // The window's copies of what its controls show.
  bool safeArea_ = false;
  Position dateFrame_;  // frame-pixel copies of the code positions
  Position timeFrame_;
  bool exitConfirmed_ = false;
  bool saveEnabled_ = false;  // Save greyed after New, Save, Save As and start-up

  QWidget* client_ = nullptr;
  std::map<int, QWidget*> controls_;
  PreviewPane* preview_ = nullptr;
  CodeGroup* dateGroup_ = nullptr;
  CodeGroup* timeGroup_ = nullptr;
  RunLogWindow* logWindow_ = nullptr;
  QListWidget* fileList_ = nullptr;
  QLineEdit* outputFolder_ = nullptr;
  QPushButton* addButton_ = nullptr;
  QPushButton* deleteButton_ = nullptr;
  QPushButton* clearButton_ = nullptr;
  QPushButton* browseButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLineEdit* percent_ = nullptr;
  QCheckBox* autoShutdown_ = nullptr;
  QCheckBox* safeAreaBox_ = nullptr;
  QPushButton* stampButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QPushButton* logButton_ = nullptr;
  int selectionBefore_ = -1;
  bool selectingFromRun_ = false;

  QMenu* projectMenu_ = nullptr;
  QAction* newAction_ = nullptr;
  QAction* openAction_ = nullptr;
  QAction* saveAction_ = nullptr;
  QAction* saveAsAction_ = nullptr;
  QAction* recentPlaceholder_ = nullptr;
  QList<QAction*> recentActions_;
  QAction* recentSeparator_ = nullptr;
  QAction* preferencesAction_ = nullptr;
  QAction* exitAction_ = nullptr;
};

}  // namespace kelo::ui

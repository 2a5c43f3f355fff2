#pragma once
// The preview pane of the main window: one frame of the chosen video with both codes drawn in as
// the settings would stamp them, the track bar with the start/end marker ticks, the navigation and
// marker buttons and the frame status text. The pane also decides the window layout: each preview
// size has its own positions for every control of the main window.
#include <QFrame>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QSlider>
#include <QString>
#include <string>
#include <array>
#include <map>
#include <memory>
#include <vector>

#include "dv/VideoProfile.h"
#include "engine/MarkerList.h"
#include "settings/StampSettings.h"
#include "ui/WindowLayout.h"

namespace kelo::engine {
class RunObserver;
}

namespace kelo::ui {

// ---------------------------------------------------------------------------------------------
// Control ids of the preview pane.
namespace ctl {
inline constexpr int kPicture = 1000, kHint = 1066, kTrackBar = 1001, kTrackGroup = 1055, kStatus = 1045;
inline constexpr int kStepBack100 = 1002, kStepBack10 = 1003, kStepBack1 = 1004, kRefresh = 1005;
inline constexpr int kStepFwd1 = 1006, kStepFwd10 = 1007, kStepFwd100 = 1008;
inline constexpr int kStartMarker = 1012, kEndMarker = 1013, kNextMarker = 1014, kPreviousMarker = 1015;
}  // namespace ctl

// A start ([) or end (]) marker as the pane draws it.
struct MarkerTick {
  int frame = 0;
  int kind = 0;  // 0 start, 1 end
};

// One frame prepared by the engine's preview pass.
struct PreviewFrame {
  int status = -1;          // 0 prepared; -1 file or frame unreadable; -2 file cannot be opened
  int lastFrameIndex = 0;
  const dv::VideoProfile* profile = nullptr;  // the frame's own
  QImage picture;           // 720 x frame height, both codes drawn in
  bool newFile = false;     // the pass opened the file now: `markers` holds a copy of its list
  engine::MarkerList markers;
};

// Where the pane gets its pictures from: the engine's preview pass, or a stand-in in tests.
class PreviewSource {
 public:
  virtual ~PreviewSource() = default;
  // Prepares frame `frame` of `path` with the settings in force (logging into the run log).
  virtual PreviewFrame preview(const std::string& path, int frame) = 0;
};

// The picture (control 1000): the frame scaled smoothly to the preview size, 2 pixels inside the
// frame, and the dotted yellow safe-area rectangles.
class PreviewPicture : public QFrame {
  Q_OBJECT

 public:
  explicit PreviewPicture(QWidget* parent);
  void setPicture(const QImage& picture);
  void setPreviewSize(QSize size) { previewSize_ = size; }
  // Rectangles in the picture frame's own coordinates; none when the safe area is off.
  void setSafeArea(const std::vector<QRect>& rects) { safeArea_ = rects; }
  void setVideoPresent(bool present) { present_ = present; }
  const QImage& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  QSize previewSize_{720, 480};
  std::vector<QRect> safeArea_;
  bool present_ = false;
};

// The track bar (control 1001) with the marker ticks drawn over it.
class MarkerTrackBar : public QSlider {
  Q_OBJECT

 public:
  explicit MarkerTrackBar(QWidget* parent);
  void setTicks(std::vector<MarkerTick> ticks, int lastFrameIndex, bool show);
  // x of a tick at `frame` in the track bar's own coordinates.
  int tickX(int frame) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<MarkerTick> ticks_;
  int lastFrameIndex_ = 1000;
  bool show_ = false;
};

// The engine's preview pass as a source; it reads the live `settings` at every call and logs
// into `log`.
std::unique_ptr<PreviewSource> makeEnginePreviewSource(const settings::StampSettings& settings,
                                                       engine::RunObserver& log);

class QtPrompter;
class RepeatButton;

// The preview state and its controls.
class PreviewPane : public QObject {
  Q_OBJECT

 public:
  PreviewPane(settings::StampSettings& settings, QtPrompter& prompter, QWidget* client);
  ~PreviewPane() override;

  void setSource(std::unique_ptr<PreviewSource> source);
  void collectControls(std::map<int, QWidget*>& controls) const;

  // --- state ---
  bool videoPresent() const { return present_; }
  const QString& previewPath() const { return previewPath_; }
  const QString& shownPath() const { return shownPath_; }
  int position() const { return position_; }
  int lastFrameIndex() const { return lastFrameIndex_; }
  // The shown frame's profile (525/60 before any was shown).
  const dv::VideoProfile& frameProfile() const;
  // 720 x frame height once a video was shown, 0 x 0 before.
  QSize frameSize() const { return frameSize_; }
  QSize previewSize() const { return previewSize_; }
  int currentLayout() const { return layout_; }
  // The window's own copy of the shown video's markers: it stays valid whatever the engine does
  // with the reader it came from.
  const engine::MarkerList& markers() const { return markers_; }
  QString statusText() const;
  PreviewPicture* picture() const { return picture_; }
  MarkerTrackBar* trackBar() const { return trackBar_; }

  // Initial state, placeholder picture, track bar range (window initialisation).
  void create();
  // Back to "no video" (settings loaded into the window while nothing is shown).
  void resetState();
  // The file list's selection chose `path` ("" when the list is empty).
  void chooseVideo(const QString& path);
  // Every navigation step and settings change: clamp, status text, then refresh.
  void requestRefresh();
  // Runs the preview pass when needed and draws.
  void refresh();
  void goTo(int frame);
  void step(int delta) { goTo(position_ + delta); }
  void toggleMarker(int kind);
  void nextMarker();
  void previousMarker();
  // Saves the shown video's markers into its marker file, asking first unless all markers go to
  // one file; true when they were written.
  bool saveShownMarkers();
  // Enables the pane's controls (disabled while a run is in progress).
  void setIdle(bool idle);
  // Lays the window out for `previewSize` and the shown video system (as at each refresh).
  void layOut();
  // Path of the marker side file of a video.
  static QString markerPathOf(const QString& videoPath);

 signals:
  // The window must move every control to `layout` and resize itself.
  void layoutChanged(int layout);
  // Every lay-out: the codes' preview positions must be recomputed from their frame positions.
  void laidOut();

 private:
  void onStepAction(int controlId, int step);
  void updateStatus();
  void updateMarkerControls();
  void draw();
  bool prepare();

  settings::StampSettings& settings_;
  QtPrompter& prompter_;
  std::unique_ptr<PreviewSource> source_;

  QString previewPath_;
  QString shownPath_;
  int position_ = 0;
  int previousPosition_ = 0;
  int lastFrameIndex_ = 1000;
  const dv::VideoProfile* profile_ = nullptr;
  bool present_ = false;
  bool refreshRequested_ = false;
  bool idle_ = true;
  QSize frameSize_{0, 0};
  QSize previewSize_{0, 480};
  int layout_ = -1;
  int layoutSystem_ = -1;
  engine::MarkerList markers_;

  PreviewPicture* picture_ = nullptr;
  QWidget* hint_ = nullptr;
  QWidget* trackGroup_ = nullptr;
  MarkerTrackBar* trackBar_ = nullptr;
  QWidget* status_ = nullptr;
  std::map<int, QWidget*> buttons_;
};

}  // namespace kelo::ui

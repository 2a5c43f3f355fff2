#include "ui/PreviewPane.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

#include "dv/Packs.h"
#include "engine/PreviewPass.h"
#include "ui/RepeatButton.h"
#include "ui/QtPrompter.h"

namespace kelo::ui {

// ---------------------------------------------------------------------------------------------
// The engine's preview pass

namespace {

class EnginePreviewSource final : public PreviewSource {
 public:
  EnginePreviewSource(const settings::StampSettings& settings, engine::RunObserver& log)
      : settings_(settings), pass_(log) {}

  PreviewFrame preview(const std::string& path, int frame) override {
    const bool wasOpen = pass_.path() == path && pass_.markers() != nullptr;
    engine::PreviewFrame out;
    PreviewFrame f;
    f.status = pass_.preview(settings_, path, frame, out);
    if (f.status != 0) return f;
    f.lastFrameIndex = out.lastFrameIndex;
    f.profile = out.profile;
    const pipeline::RgbImage& image = out.image;
    if (image.width > 0 && image.height > 0 &&
        image.pixels.size() >= static_cast<size_t>(image.width) * image.height * 3)
      f.picture = QImage(image.pixels.data(), image.width, image.height, image.width * 3, QImage::Format_RGB888)
                      .copy();
    f.newFile = !wasOpen;
    // A copy: the pass's list belongs to its reader, which goes away on a failed read or when
    // another file is opened.
    if (f.newFile && pass_.markers()) f.markers = *pass_.markers();
    return f;
  }

 private:
  const settings::StampSettings& settings_;
  engine::PreviewPass pass_;
};

}  // namespace

std::unique_ptr<PreviewSource> makeEnginePreviewSource(const settings::StampSettings& settings,
                                                       engine::RunObserver& log) {
  return std::make_unique<EnginePreviewSource>(settings, log);
}

// ---------------------------------------------------------------------------------------------
// PreviewPicture

PreviewPicture::PreviewPicture(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
}

void PreviewPicture::setPicture(const QImage& picture) { picture_ = picture; }

void PreviewPicture::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (!present_ || picture_.isNull()) return;
  QPainter painter(this);
  const QRect target(QPoint(2, 2), previewSize_);
  if (target.size() == picture_.size()) {
    painter.drawImage(target.topLeft(), picture_);
  } else {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, picture_);
  }
  if (!safeArea_.empty()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 0), 1, Qt::DotLine));
    for (const QRect& r : safeArea_) painter.drawRect(r.x(), r.y(), r.width() - 1, r.height() - 1);
  }
}

// ---------------------------------------------------------------------------------------------
// MarkerTrackBar

MarkerTrackBar::MarkerTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTracking(false);  // dragging the thumb moves nothing until the mouse is released
}

void MarkerTrackBar::setTicks(std::vector<MarkerTick> ticks, int lastFrameIndex, bool show) {
  ticks_ = std::move(ticks);
  lastFrameIndex_ = lastFrameIndex;
  show_ = show;
  update();
}

int MarkerTrackBar::tickX(int frame) const {
  const int left = 9;
  const int right = width() - 10;
  if (lastFrameIndex_ <= 0) return left;
  return left + static_cast<int>(static_cast<long long>(right - left) * frame / lastFrameIndex_);
}

void MarkerTrackBar::paintEvent(QPaintEvent* event) {
  QSlider::paintEvent(event);
  if (!show_) return;
  QPainter painter(this);
  const int top = 2;
  const int bottom = height() - 5;
  for (const MarkerTick& t : ticks_) {
    const int x = tickX(t.frame);
    if (t.kind == 0) {
      painter.setPen(QPen(QColor(0, 128, 0), 1));
      painter.drawLine(x, top + 4, x, top);
      painter.drawLine(x, top, x + 3, top);
    } else {
      painter.setPen(QPen(QColor(128, 0, 128), 1));
      painter.drawLine(x, bottom - 4, x, bottom);
      painter.drawLine(x, bottom, x - 3, bottom);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// PreviewPane

namespace {

constexpr struct {
  int id;
  const char* text;
  int step;  // frames; 0 for the buttons that do not step
} kNavButtons[] = {
    {ctl::kStepBack100, "<<<", -100}, {ctl::kStepBack10, "<<", -10}, {ctl::kStepBack1, "<", -1},
    {ctl::kRefresh, "刷新", 0},        {ctl::kStepFwd1, ">", 1},      {ctl::kStepFwd10, ">>", 10},
    {ctl::kStepFwd100, ">>>", 100},   {ctl::kStartMarker, "[", 0},   {ctl::kEndMarker, "]", 0},
    {ctl::kNextMarker, ">|", 0},       {ctl::kPreviousMarker, "|<", 0},
};

int stepOf(int id) {
  for (const auto& b : kNavButtons)
    if (b.id == id) return b.step;
  return 0;
}

QImage placeholderPicture() {
  QImage image(720, 576, QImage::Format_RGB888);
  for (int y = 0; y < image.height(); ++y) {
    uchar* row = image.scanLine(y);
    const int green = y * 255 / (image.height() - 1);
    for (int x = 0; x < image.width(); ++x) {
      row[3 * x] = 0;
      row[3 * x + 1] = static_cast<uchar>(green);
      row[3 * x + 2] = static_cast<uchar>(x * 255 / (image.width() - 1));
    }
  }
  return image;
}

}  // namespace

PreviewPane::PreviewPane(settings::StampSettings& settings, QtPrompter& prompter, QWidget* client)
    : QObject(client), settings_(settings), prompter_(prompter) {
  trackGroup_ = new QGroupBox(client);
  picture_ = new PreviewPicture(client);
  auto* hint = new QLabel(QStringLiteral("加码录像预览区\n请添加一段录像并在录像单里选中它。怎么做请看“帮助”菜单里的“速成指南”。"),
                          client);
  hint->setAlignment(Qt::AlignCenter);
  hint->setWordWrap(true);
  hint_ = hint;
  trackBar_ = new MarkerTrackBar(client);
  auto* status = new QLineEdit(client);
  status->setReadOnly(true);
  status_ = status;
  for (const auto& b : kNavButtons) {
    QPushButton* button = nullptr;
    if (b.step != 0) {
      auto* repeating = new RepeatButton(b.id, QString::fromUtf8(b.text), client);
      connect(repeating, &RepeatButton::action, this, &PreviewPane::onStepAction);
      button = repeating;
    } else {
      button = new QPushButton(QString::fromUtf8(b.text), client);
    }
    button->setAutoDefault(false);
    buttons_[b.id] = button;
  }
  connect(static_cast<QPushButton*>(buttons_[ctl::kRefresh]), &QPushButton::clicked, this, [this] { requestRefresh(); });
  connect(static_cast<QPushButton*>(buttons_[ctl::kStartMarker]), &QPushButton::clicked, this, [this] { toggleMarker(0); });
  connect(static_cast<QPushButton*>(buttons_[ctl::kEndMarker]), &QPushButton::clicked, this, [this] { toggleMarker(1); });
  connect(static_cast<QPushButton*>(buttons_[ctl::kNextMarker]), &QPushButton::clicked, this, [this] { nextMarker(); });
  connect(static_cast<QPushButton*>(buttons_[ctl::kPreviousMarker]), &QPushButton::clicked, this,
          [this] { previousMarker(); });
  // Every way the thumb ends up somewhere (keys, clicks, the wheel, a drag once released) shows
  // that frame; the pane's own moves of the thumb are made with the signal blocked.
  connect(trackBar_, &QSlider::valueChanged, this, [this](int frame) {
    if (frame != position_) goTo(frame);
  });
  trackGroup_->lower();
}

PreviewPane::~PreviewPane() = default;

void PreviewPane::setSource(std::unique_ptr<PreviewSource> source) { source_ = std::move(source); }

void PreviewPane::collectControls(std::map<int, QWidget*>& c) const {
  c[ctl::kPicture] = picture_;
  c[ctl::kHint] = hint_;
  c[ctl::kTrackGroup] = trackGroup_;
  c[ctl::kTrackBar] = trackBar_;
  c[ctl::kStatus] = status_;
  for (const auto& [id, w] : buttons_) c[id] = w;
}

const dv::VideoProfile& PreviewPane::frameProfile() const {
  return profile_ ? *profile_ : dv::profileOf(dv::VideoSystem::k525_60);
}

QString PreviewPane::statusText() const {
  const dv::Timecode tc = dv::frameNumberToTimecode(frameProfile(), position_);
  // A one-frame video has last frame index 0: its only frame shows as 0.0%.
  const double percent = lastFrameIndex_ > 0 ? position_ * 100.0 / lastFrameIndex_ : 0.0;
  return QString::asprintf("帧数: %d (%.1f%%) [%d:%02d:%02d:%02d]", position_, percent, tc.hours, tc.minutes,
                           tc.seconds, tc.frames);
}

void PreviewPane::create() {
  resetState();
  picture_->setPicture(placeholderPicture());
  trackBar_->setRange(0, 1000);
  updateStatus();
}

void PreviewPane::resetState() {
  position_ = previousPosition_ = 0;
  lastFrameIndex_ = 1000;
  frameSize_ = QSize(0, 0);
  markers_.clear();
  present_ = false;
  picture_->setVideoPresent(false);
  trackBar_->setRange(0, lastFrameIndex_);
  updateStatus();
  updateMarkerControls();
}

void PreviewPane::chooseVideo(const QString& path) {
  if (path.isEmpty()) {
    prompter_.ask(engine::MessageKind::Information, QStringLiteral("没有录像可预览。"), QtPrompter::Buttons::Ok);
    return;
  }
  previewPath_ = path.left(static_cast<int>(settings::kPathCapacity) - 1);
  hint_->hide();
  refresh();
  picture_->update();
}

void PreviewPane::requestRefresh() {
  position_ = std::clamp(position_, 0, std::max(lastFrameIndex_, 0));
  previousPosition_ = position_;
  updateStatus();
  refreshRequested_ = true;
  refresh();
}

void PreviewPane::goTo(int frame) {
  position_ = frame;
  requestRefresh();
}

void PreviewPane::refresh() {
  if (!settings_.idle || previewPath_.isEmpty() || !source_) return;
  if (previewPath_ != shownPath_ || refreshRequested_) {
    if (!prepare()) return;
  }
  draw();
}

bool PreviewPane::prepare() {
  refreshRequested_ = false;
  const bool newPath = previewPath_ != shownPath_;
  if (newPath) {
    position_ = previousPosition_ = 0;
    lastFrameIndex_ = 1000;
    if (settings_.markersModified) saveShownMarkers();
  }
  PreviewFrame frame = source_->preview(previewPath_.toStdString(), position_);
  if (frame.status != 0) {
    prompter_.ask(engine::MessageKind::Information, QStringLiteral("Kelo 出错，详细请看运行记录。"),
                  QtPrompter::Buttons::Ok);
    // The markers edited so far belong to the video shown until now; keep them before that video
    // is forgotten.
    if (!newPath && settings_.markersModified) saveShownMarkers();
    position_ = previousPosition_ = 0;
    shownPath_.clear();
    lastFrameIndex_ = 1000;
    present_ = false;
    markers_.clear();
    picture_->setVideoPresent(false);
    picture_->update();
    updateStatus();
    updateMarkerControls();
    return false;
  }
  lastFrameIndex_ = std::max(frame.lastFrameIndex, 0);
  position_ = std::clamp(position_, 0, lastFrameIndex_);
  profile_ = frame.profile;
  if (newPath) {
    trackBar_->setRange(0, lastFrameIndex_);
    trackBar_->setPageStep(std::max(1, lastFrameIndex_ / 10));
    shownPath_ = previewPath_;
    markers_ = std::move(frame.markers);
    settings_.markersModified = false;
  }
  picture_->setPicture(frame.picture);
  updateStatus();
  layOut();
  present_ = true;
  picture_->setVideoPresent(true);
  updateMarkerControls();
  return true;
}

void PreviewPane::layOut() {
  const dv::VideoProfile& profile = frameProfile();
  const int l = layout::layoutFor(settings_.previewSize, profile.isFiftyField());
  frameSize_ = QSize(profile.width, profile.height);
  previewSize_ = layout::previewSizeOf(l);
  picture_->setPreviewSize(previewSize_);
  const int system = static_cast<int>(profile.system);
  if (l != layout_ || (settings_.previewSize == settings::PreviewSize::FrameSize && system != layoutSystem_)) {
    layout_ = l;
    layoutSystem_ = system;
    emit layoutChanged(l);
  }
  emit laidOut();
}

void PreviewPane::draw() {
  std::vector<QRect> rects;
  if (settings_.safeArea && layout_ >= 0) {
    const QPoint origin = layout::previewFrameRect(layout_).topLeft();
    for (const QRect& r : layout::safeAreaRects(layout_)) rects.push_back(r.translated(-origin));
  }
  picture_->setSafeArea(rects);
  picture_->update();
  trackBar_->update();
}

void PreviewPane::updateStatus() {
  static_cast<QLineEdit*>(status_)->setText(statusText());
  const QSignalBlocker block(trackBar_);
  trackBar_->setValue(position_);
}

void PreviewPane::updateMarkerControls() {
  std::vector<MarkerTick> ticks;
  for (const engine::Marker& m : markers_.markers()) ticks.push_back({m.frame, m.kind});
  trackBar_->setTicks(std::move(ticks), lastFrameIndex_, present_);
  // The marker buttons work on the shown video's markers only.
  for (int id : {ctl::kStartMarker, ctl::kEndMarker, ctl::kNextMarker, ctl::kPreviousMarker})
    buttons_[id]->setEnabled(idle_ && present_);
}

void PreviewPane::setIdle(bool idle) {
  idle_ = idle;
  trackBar_->setEnabled(idle);
  status_->setEnabled(idle);
  for (int id = ctl::kStepBack100; id <= ctl::kStepFwd100; ++id) buttons_[id]->setEnabled(idle);
  updateMarkerControls();
}

void PreviewPane::onStepAction(int controlId, int) { step(stepOf(controlId)); }

void PreviewPane::toggleMarker(int kind) {
  if (!present_) return;
  markers_.toggle(position_, kind, settings_);
  updateMarkerControls();
}

QString PreviewPane::markerPathOf(const QString& videoPath) {
  return QString::fromStdString(engine::markerPathFor(videoPath.toStdString()));
}

bool PreviewPane::saveShownMarkers() {
  if (shownPath_.isEmpty()) return false;
  const QString path = markerPathOf(shownPath_);
  if (!settings_.markersInOneFile &&
      prompter_.ask(engine::MessageKind::Warning, QStringLiteral("保存开始/结束标记到 %1?").arg(path),
                    QtPrompter::Buttons::YesNo) != QtPrompter::Answer::Yes)
    return false;
  if (markers_.save(path.toStdString()) != 0) return false;
  settings_.markersModified = false;
  return true;
}

void PreviewPane::nextMarker() {
  for (const engine::Marker& m : markers_.markers()) {
    if (m.frame > position_) {
      goTo(m.frame);
      return;
    }
  }
}

void PreviewPane::previousMarker() {
  for (auto it = markers_.markers().rbegin(); it != markers_.markers().rend(); ++it) {
    if (it->frame < position_) {
      goTo(it->frame);
      return;
    }
  }
}

}  // namespace kelo::ui

#pragma once
// The two code groups under the preview ("日期码" and "时间码"): enable box, format combo, x/y
// edits in preview pixels, corner combo, the four nudge buttons and the font and interval buttons.
// The free functions hold the arithmetic of nudging, corner changes and the conversion between
// preview pixels and frame pixels; the main window decides what a change means for the settings.
#include <QObject>
#include <QSize>
#include <map>

#include "settings/StampSettings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kelo::ui {

class RepeatButton;

inline constexpr int kFrameWidth = 720;

struct Position {
  int x = 0;
  int y = 0;
  bool operator==(const Position&) const = default;
};

enum class Nudge { Up, Down, Left, Right };

// One nudge of a code placed by `corner`: "^" moves towards the top of the picture whatever the
// preset, so for bottom presets it increases y. The bounds are the frame width and height (both 0
// before any video was previewed); the test is made before the step is added, values are compared
// as unsigned, and a decrease stops at 0.
Position nudgePosition(settings::CornerPreset corner, Nudge direction, Position p, int step, int frameWidth,
                       int frameHeight);

// x after the corner combo changed from `from` to `to`: half the preview width for a centre preset,
// 64 when leaving a centre preset for a side one, else unchanged.
int xAfterCornerChange(settings::CornerPreset from, settings::CornerPreset to, int x, int previewWidth);

// a * b / c rounded half up (c > 0; a and b not negative).
int mulDivRound(int a, int b, int c);

// Preview pixels → frame pixels (window → settings) and back. With frameHeight 0 (no video shown
// yet) the values pass unchanged.
Position toFramePixels(Position preview, QSize previewSize, int frameHeight);
Position toPreviewPixels(Position frame, QSize previewSize, int frameHeight);

// Each coordinate within 0 ... the picture's width and height (a size of 0 x 0 clamps nothing).
Position clampToPicture(Position p, QSize picture);
// Frame-pixel positions within the limits a project file accepts.
Position clampToFieldLimits(Position frame);

// Control ids of one group (the date code's or the time code's).
struct CodeGroupIds {
  int group, enable, xLabel, xEdit, yLabel, yEdit, corner, format, up, down, left, right, font, interval;
};
inline constexpr CodeGroupIds kDateGroupIds{1056, 1046, 1059, 1022, 1060, 1021, 1024,
                                            1010, 1018, 1019, 1020, 1023, 1017, 1025};
inline constexpr CodeGroupIds kTimeGroupIds{1058, 1036, 1061, 1039, 1062, 1038, 1044,
                                            1011, 1040, 1041, 1042, 1043, 1028, 1050};

// The widgets of one code group and the values they show.
class CodeGroup : public QObject {
  Q_OBJECT

 public:
  // `settings` only feeds the date combo's samples (language); the group never writes it.
  CodeGroup(bool isDateCode, const settings::StampSettings& settings, QWidget* parent);

  const CodeGroupIds& ids() const { return ids_; }
  bool isDateCode() const { return isDate_; }
  // Every widget of the group by its control id (for the window layout).
  void collectControls(std::map<int, QWidget*>& controls) const;

  // Values shown by the group.
  bool enabled = true;
  int formatIndex = 1;
  settings::CornerPreset corner = settings::CornerPreset::BottomLeft;
  Position preview;  // x/y in preview pixels, as the edits show them

  // Values → widgets, widgets → values.
  void show();
  void read();
  // Enable box usable while idle; the rest of the group while idle and the code is enabled.
  void applyEnabling(bool idle);
  // Date combo: one item per entry of the language's date list (item texts are their indexes).
  void fillDateFormats(int language);

  QComboBox* formatCombo() const { return format_; }
  QCheckBox* enableBox() const { return enable_; }
  QLineEdit* xEdit() const { return x_; }
  QLineEdit* yEdit() const { return y_; }
  QComboBox* cornerCombo() const { return corner_; }
  RepeatButton* nudgeButton(Nudge n) const;
  QPushButton* fontButton() const { return font_; }
  QPushButton* intervalButton() const { return interval_; }

  // Which nudge a control id stands for; false when it is none of this group's.
  bool nudgeOf(int controlId, Nudge& out) const;

 signals:
  void enableClicked();
  void formatActivated();
  void cornerActivated();
  void xLeft();  // the x edit lost the focus
  void yLeft();
  void nudgeAction(int controlId, int step);
  void fontClicked();
  void intervalClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool isDate_;
  CodeGroupIds ids_;
  QGroupBox* group_ = nullptr;
  QCheckBox* enable_ = nullptr;
  QLabel* xLabel_ = nullptr;
  QLabel* yLabel_ = nullptr;
  QLineEdit* x_ = nullptr;
  QLineEdit* y_ = nullptr;
  QComboBox* corner_ = nullptr;
  QComboBox* format_ = nullptr;
  RepeatButton* up_ = nullptr;
  RepeatButton* down_ = nullptr;
  RepeatButton* left_ = nullptr;
  RepeatButton* right_ = nullptr;
  QPushButton* font_ = nullptr;
  QPushButton* interval_ = nullptr;
};

}  // namespace kelo::ui

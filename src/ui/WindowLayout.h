#pragma once
// Where every control of the main window sits for each preview size: one table of places in
// client pixels for the 720x480 layout, the rules that derive the other four from it, and the
// safe-area rectangles drawn over the picture. The control numbers here are the table's keys.
#include <QRect>
#include <QSize>
#include <array>
#include <vector>

#include "settings/StampSettings.h"

namespace kelo::ui {

namespace layout {

// 0: 720x480 (FrameSize with 525/60 or no video), 1: 720x540, 2: 640x480, 3: 720x576 (FrameSize
// with 625/50), 4: 720x405.
int layoutFor(settings::PreviewSize size, bool pal);
QSize previewSizeOf(int layout);
// Size of the main window's client area (below the menu bar).
QSize clientSize(int layout);
// Place of control `id` in `layout`; an empty rectangle for an id that has no entry.
QRect controlRect(int layout, int id);
// Every id with an entry in the layout table.
const std::vector<int>& controlIds();
// The preview frame (control 1000): the picture sits 2 pixels inside it.
QRect previewFrameRect(int layout);
// Outer and inner safe-area rectangles (left, top, right, bottom inclusive as QRect).
std::array<QRect, 2> safeAreaRects(int layout);

}  // namespace layout

}  // namespace kelo::ui

#pragma once
// Dialog units of the layout tables to pixels: the base units of 8-point "MS Shell Dlg" at 96 dpi
// are 6 x 13 pixels per 4 x 8 units. Rounded like the platform's dialog-rectangle mapping.
#include <QFont>
#include <QRect>
#include <QStringList>
#include <QWidget>

namespace kelo::ui {

inline int dluX(int x) { return (x * 6 + (x >= 0 ? 2 : -2)) / 4; }
inline int dluY(int y) { return (y * 13 + (y >= 0 ? 4 : -4)) / 8; }

// A control rectangle in dialog units; the corners are mapped, so adjacent controls stay adjacent.
inline QRect dluRect(int x, int y, int w, int h) {
  const int left = dluX(x);
  const int top = dluY(y);
  return QRect(left, top, dluX(x + w) - left, dluY(y + h) - top);
}

// The dialogs' font: "MS Shell Dlg" where it exists, else a CJK-capable face so the Chinese texts
// never show as boxes.
inline QFont dialogFont() {
  QFont font;
  font.setFamilies(QStringList{QStringLiteral("MS Shell Dlg"), QStringLiteral("WenQuanYi Micro Hei"),
                               QStringLiteral("Liberation Sans")});
  font.setPixelSize(12);
  return font;
}

// Puts a control at its place in dialog units; `name` (what it holds, e.g. "sceneSeconds") becomes
// its object name, so tests find it with findChild<...>("sceneSeconds"). "" for none.
template <class W>
W* placeControl(W* widget, const char* name, int x, int y, int w, int h) {
  widget->setGeometry(dluRect(x, y, w, h));
  if (*name) widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace kelo::ui

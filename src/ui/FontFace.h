#pragma once
// The face the stamp is really drawn with: fontconfig's answer for a stored face name (on a system
// without Arial, "Arial" is drawn as a metric-compatible face such as Liberation Sans). The font
// chooser starts there, so what it shows is what the preview and the stamp show.
#include <QString>

namespace kelo::ui {

// The family fontconfig matches for `family` with this weight (1..1000, 0 normal) and slant;
// `family` itself when fontconfig knows no font at all.
QString drawnFamily(const QString& family, int weight, bool italic);

}  // namespace kelo::ui

#include "ui/FontFace.h"

#include <fontconfig/fontconfig.h>

namespace kelo::ui {

QString drawnFamily(const QString& family, int weight, bool italic) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return family;
  const QByteArray name = family.toUtf8();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight > 0 ? weight : 400));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  // The stamp is drawn with scalable faces only, as the rasteriser asks for them.
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  QString out = family;
  FcChar8* matched = nullptr;
  if (found && FcPatternGetString(found, FC_FAMILY, 0, &matched) == FcResultMatch && matched)
    out = QString::fromUtf8(reinterpret_cast<const char*>(matched));
  if (found) FcPatternDestroy(found);
  return out;
}

}  // namespace kelo::ui

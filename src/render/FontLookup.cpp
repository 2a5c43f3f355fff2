#include "render/FontLookup.h"

#include <fontconfig/fontconfig.h>

#include <map>
#include <mutex>
#include <tuple>

namespace kelo::render {
namespace {

using RequestKey = std::tuple<std::string, int, bool>;
using FallbackKey = std::tuple<std::string, int, bool, char32_t>;

struct LookupState {
  std::mutex mutex;
  bool initialised = false;
  std::map<RequestKey, FontFile> faces;
  std::map<FallbackKey, std::optional<FontFile>> fallbacks;
};

LookupState& state() {
  static LookupState s;
  return s;
}

int fcWeightOf(int weight) {
  if (weight <= 0) weight = 400;
  return FcWeightFromOpenType(weight);
}

FcPattern* requestPattern(const std::string& family, int weight, bool italic) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return nullptr;
  const char* name = family.empty() ? "sans-serif" : family.c_str();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name));
  FcPatternAddInteger(pattern, FC_WEIGHT, fcWeightOf(weight));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  return pattern;
}

std::optional<FontFile> match(FcPattern* pattern, int weight, bool italic, const char32_t* mustHave) {
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(nullptr, pattern, &result);
  if (found == nullptr) return std::nullopt;
  std::optional<FontFile> file;
  FcChar8* path = nullptr;
  FcCharSet* charset = nullptr;
  const bool hasChar = mustHave == nullptr ||
                       (FcPatternGetCharSet(found, FC_CHARSET, 0, &charset) == FcResultMatch &&
                        FcCharSetHasChar(charset, *mustHave));
  if (hasChar && FcPatternGetString(found, FC_FILE, 0, &path) == FcResultMatch && path != nullptr) {
    file.emplace();
    file->path = reinterpret_cast<const char*>(path);
    int index = 0;
    if (FcPatternGetInteger(found, FC_INDEX, 0, &index) == FcResultMatch) file->index = index;
    int foundWeight = FC_WEIGHT_REGULAR;
    int foundSlant = FC_SLANT_ROMAN;
    FcPatternGetInteger(found, FC_WEIGHT, 0, &foundWeight);
    FcPatternGetInteger(found, FC_SLANT, 0, &foundSlant);
    file->embolden = fcWeightOf(weight) >= FC_WEIGHT_DEMIBOLD && foundWeight < FC_WEIGHT_DEMIBOLD;
    file->oblique = italic && foundSlant == FC_SLANT_ROMAN;
  }
  FcPatternDestroy(found);
  return file;
}

void initialise(LookupState& s) {
  if (!s.initialised) {
    FcInit();
    s.initialised = true;
  }
}

}  // namespace

FontFile findFont(const std::string& family, int weight, bool italic) {
  LookupState& s = state();
  std::lock_guard lock(s.mutex);
  const RequestKey key{family, weight, italic};
  if (auto it = s.faces.find(key); it != s.faces.end()) return it->second;
  initialise(s);
  FontFile file;
  if (FcPattern* pattern = requestPattern(family, weight, italic)) {
    if (auto found = match(pattern, weight, italic, nullptr)) file = *found;
    FcPatternDestroy(pattern);
  }
  s.faces.emplace(key, file);
  return file;
}

std::optional<FontFile> findFallbackFont(const std::string& family, int weight, bool italic, char32_t codepoint) {
  LookupState& s = state();
  std::lock_guard lock(s.mutex);
  const FallbackKey key{family, weight, italic, codepoint};
  if (auto it = s.fallbacks.find(key); it != s.fallbacks.end()) return it->second;
  initialise(s);
  std::optional<FontFile> file;
  if (FcPattern* pattern = requestPattern(family, weight, italic)) {
    if (FcCharSet* charset = FcCharSetCreate()) {
      FcCharSetAddChar(charset, codepoint);
      FcPatternAddCharSet(pattern, FC_CHARSET, charset);
      FcCharSetDestroy(charset);
    }
    file = match(pattern, weight, italic, &codepoint);
    FcPatternDestroy(pattern);
  }
  s.fallbacks.emplace(key, file);
  return file;
}

}  // namespace kelo::render

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELO_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(KELO_ADDRESS_SANITIZER)
// fontconfig loses a block while it parses its XML configuration (inside libfontconfig, not in
// our calls); without this every sanitizer run that draws text would report it. Weak, so a
// program that brings its own suppressions keeps them.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
extern "C" __attribute__((weak)) const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

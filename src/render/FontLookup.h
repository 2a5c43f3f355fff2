#pragma once
// Finding font files through fontconfig: a face by family name, weight and italic flag, and a
// fallback face for a character the first one lacks. Results are cached for the process; safe to
// call from any thread.
#include <optional>
#include <string>

namespace kelo::render {

struct FontFile {
  std::string path;
  int index = 0;          // face index inside the file
  bool embolden = false;  // bold asked for but the face found is not bold
  bool oblique = false;   // italic asked for but the face found is upright

  bool operator==(const FontFile&) const = default;
};

// Best face for a LOGFONT-like request (weight 100..900, 0 = normal). Empty path when
// fontconfig has no font at all.
FontFile findFont(const std::string& family, int weight, bool italic);

// A face of similar style that has `codepoint`, or none.
std::optional<FontFile> findFallbackFont(const std::string& family, int weight, bool italic, char32_t codepoint);

}  // namespace kelo::render

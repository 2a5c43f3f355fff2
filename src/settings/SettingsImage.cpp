#include "settings/SettingsImage.h"

#include <algorithm>

#include "platform/Text.h"
#include "settings/FieldTable.h"
#include "settings/MessageFormat.h"

namespace kelo::settings {

namespace {

using detail::Field;

// Image offsets from renameOutput on sit this much earlier in version 2.0.0.
constexpr int kV200Shift = 204;
constexpr int kRenameOutputOffset = 44;
constexpr int kFirstShiftedOffset = 248;  // markersInOneFile

template <class R>
void writeField(const Field<R>& f, const R& r, uint8_t* at) {
  switch (f.kind) {
    case FieldKind::Byte: *at = static_cast<uint8_t>(f.get(r)); break;
    case FieldKind::Text: putText(at, f.text(r), f.capacity); break;
    default: putInt32(at, f.get(r)); break;
  }
}

template <class R>
int readField(const Field<R>& f, const uint8_t* at, R& r, const std::string& fullName, std::u16string& message) {
  if (f.kind == FieldKind::Text) {
    getText(at, f.mutableText(r), f.capacity);
    return 0;
  }
  int32_t v = f.kind == FieldKind::Byte ? int32_t{*at} : getInt32(at);
  if (f.clampedOnLoad) v = std::clamp(v, f.min, f.max);
  if (v < f.min || v > f.max) {
    message = formatMessage(kMsgOutOfRange, {platform::fromUtf8(fullName), v, f.min, f.max});
    return 1;
  }
  f.set(r, v);
  return 0;
}

int readCodeBlock(const uint8_t* block, StampCodeSettings& code, const char* prefix, std::u16string& message) {
  for (const auto& f : detail::codeFields())
    if (readField(f, block + f.offset, code, prefix + std::string(f.name), message)) return 1;
  return 0;
}

}  // namespace

void putInt32(uint8_t* out, int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  out[0] = static_cast<uint8_t>(u);
  out[1] = static_cast<uint8_t>(u >> 8);
  out[2] = static_cast<uint8_t>(u >> 16);
  out[3] = static_cast<uint8_t>(u >> 24);
}

int32_t getInt32(const uint8_t* in) {
  const uint32_t u = uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
  return static_cast<int32_t>(u);
}

void putText(uint8_t* out, const char16_t* text, std::size_t units) {
  for (std::size_t i = 0; i < units; ++i) {
    out[2 * i] = static_cast<uint8_t>(text[i]);
    out[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
}

void getText(const uint8_t* in, char16_t* text, std::size_t units) {
  for (std::size_t i = 0; i < units; ++i)
    text[i] = static_cast<char16_t>(in[2 * i] | in[2 * i + 1] << 8);
}

void writeCodeBlock(const StampCodeSettings& code, std::span<uint8_t, kCodeBlockSize> out) {
  for (const auto& f : detail::codeFields()) writeField(f, code, out.data() + f.offset);
}

void writeSettingsImage(const StampSettings& s, std::span<uint8_t, kSettingsImageSize> out) {
  for (const auto& f : detail::globalFields()) writeField(f, s, out.data() + f.offset);
  writeCodeBlock(s.dateCode, out.subspan<detail::kDateCodeOffset, kCodeBlockSize>());
  writeCodeBlock(s.timeCode, out.subspan<detail::kTimeCodeOffset, kCodeBlockSize>());
}

int readSettingsImage(std::span<const uint8_t> image, ImageVersion version, StampSettings& s,
                      std::u16string& message) {
  const bool v200 = version == ImageVersion::V200;
  if (image.size() != (v200 ? kSettingsImageSize200 : kSettingsImageSize)) return -1;
  const int shift = v200 ? kV200Shift : 0;
  for (const auto& f : detail::globalFields()) {
    if (v200 && f.offset >= kRenameOutputOffset && f.offset < kFirstShiftedOffset) continue;
    const int at = f.offset >= kFirstShiftedOffset ? f.offset - shift : f.offset;
    if (readField(f, image.data() + at, s, std::string(f.name), message)) return 1;
  }
  if (v200) {
    s.renameOutput = false;
    setText(s.outputNamePattern, kDefaultOutputNamePattern);
  }
  if (readCodeBlock(image.data() + detail::kDateCodeOffset - shift, s.dateCode, "dateCode.", message)) return 1;
  if (readCodeBlock(image.data() + detail::kTimeCodeOffset - shift, s.timeCode, "timeCode.", message)) return 1;
  return 0;
}

}  // namespace kelo::settings

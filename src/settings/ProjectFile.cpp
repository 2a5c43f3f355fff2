#include "settings/ProjectFile.h"

#include <algorithm>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "settings/MessageFormat.h"
#include "settings/SettingsFields.h"
#include "settings/SettingsImage.h"

namespace kelo::settings {

namespace {

// Layout of the 2.1.0 file; 2.0.0 files have everything after the image 204 bytes earlier.
constexpr std::size_t kImageOffset = 16;
constexpr std::size_t kFormatBytes = kFormatCapacity * 2;
constexpr std::size_t kFormatsOffset = kImageOffset + kSettingsImageSize;      // 2084
constexpr std::size_t kTimeFormatSlot = 4;                                      // after 4 date slots
constexpr std::size_t kOutputFolderBytes = 256;
constexpr std::size_t kMagicSize = 10;

static_assert(kFormatsOffset + 5 * kFormatBytes + kOutputFolderBytes == kProjectFileSize);
static_assert(kImageOffset + kSettingsImageSize200 + 5 * kFormatBytes + kOutputFolderBytes == kProjectFileSize200);
static_assert(kOutputFolderBytes == kOutputFolderCapacity * 2);

bool hasMagic(std::span<const uint8_t> bytes, std::string_view magic) {
  return bytes.size() >= kMagicSize && std::equal(magic.begin(), magic.end(), bytes.begin());
}

}  // namespace

std::vector<uint8_t> projectFileBytes(const StampSettings& s) {
  std::vector<uint8_t> out(kProjectFileSize, 0);
  std::copy(kProjectMagic.begin(), kProjectMagic.end(), out.begin());
  writeSettingsImage(s, std::span<uint8_t, kSettingsImageSize>(out.data() + kImageOffset, kSettingsImageSize));
  for (std::size_t i = 0; i < 4; ++i)
    putText(out.data() + kFormatsOffset + i * kFormatBytes, s.customDateFormats[i], kFormatCapacity);
  putText(out.data() + kFormatsOffset + kTimeFormatSlot * kFormatBytes, s.customTimeFormat, kFormatCapacity);
  // Only the folder text and its terminator carry meaning; the rest stays zero.
  const std::u16string folder = textOf(s.outputFolder);
  putText(out.data() + kFormatsOffset + 5 * kFormatBytes, folder.data(), folder.size());
  return out;
}

LoadOutcome parseProjectFile(std::span<const uint8_t> bytes, StampSettings& settings, std::u16string& message,
                             std::u16string_view path) {
  const bool v210 = hasMagic(bytes, kProjectMagic);
  if (!v210 && !hasMagic(bytes, kProjectMagic200)) {
    message = formatMessage(kMsgCannotOpenProject, {path});
    return LoadOutcome::Refused;
  }
  const std::size_t expected = v210 ? kProjectFileSize : kProjectFileSize200;
  if (bytes.size() != expected) {
    message = formatMessage(bytes.size() < expected ? kMsgProjectIncomplete : kMsgProjectWrongSize, {path});
    return LoadOutcome::Refused;
  }
  const std::size_t imageSize = v210 ? kSettingsImageSize : kSettingsImageSize200;
  const std::size_t formats = kImageOffset + imageSize;

  // Everything goes into a copy first; the settings in force change only once all is sound.
  StampSettings loaded = settings;
  std::u16string detail;
  if (readSettingsImage(bytes.subspan(kImageOffset, imageSize), v210 ? ImageVersion::V210 : ImageVersion::V200,
                        loaded, detail) != 0) {
    message = formatMessage(kMsgProjectDamaged, {path, detail});
    return LoadOutcome::Refused;
  }
  for (std::size_t i = 0; i < 4; ++i)
    getText(bytes.data() + formats + i * kFormatBytes, loaded.customDateFormats[i], kFormatCapacity);
  getText(bytes.data() + formats + kTimeFormatSlot * kFormatBytes, loaded.customTimeFormat, kFormatCapacity);
  char16_t folder[kOutputFolderCapacity];
  getText(bytes.data() + formats + 5 * kFormatBytes, folder, kOutputFolderCapacity);
  if (!isTerminated(folder)) {
    message = formatMessage(kMsgProjectDamaged, {path, formatMessage(kMsgUnterminated, {u"outputFolder"})});
    return LoadOutcome::Refused;
  }
  setText(loaded.outputFolder, textOf(folder));
  if (validateSettings(loaded, detail) != 0) {
    message = formatMessage(kMsgProjectDamaged, {path, detail});
    return LoadOutcome::Refused;
  }
  settings = loaded;
  return LoadOutcome::Loaded;
}

SaveOutcome saveProjectFile(const std::string& path, const StampSettings& settings, std::u16string& message) {
  const std::u16string shownPath = platform::fromUtf8(path);
  if (path.empty()) {
    message = formatMessage(kMsgCannotSaveProject, {shownPath});
    return SaveOutcome::NoPath;
  }
  StampSettings saved = settings;
  clampPositions(saved);
  std::u16string detail;
  if (validateSettings(saved, detail) != 0) {
    message = formatMessage(kMsgCannotSaveInvalid, {shownPath, detail});
    return SaveOutcome::Refused;
  }
  const std::vector<uint8_t> bytes = projectFileBytes(saved);
  if (platform::replaceFileContent(path, bytes.data(), bytes.size()) != 0) {
    message = formatMessage(kMsgCannotSaveProject, {shownPath});
    return SaveOutcome::WriteFailed;
  }
  return SaveOutcome::Saved;
}

LoadOutcome loadProjectFile(const std::string& path, StampSettings& settings, std::u16string& message) {
  const std::u16string shownPath = platform::fromUtf8(path);
  if (path.empty() || platform::isFolder(path)) {
    message = formatMessage(kMsgCannotOpenProject, {shownPath});
    return LoadOutcome::CannotOpen;
  }
  platform::File file;
  if (file.openRead(path) != 0) {
    message = formatMessage(kMsgCannotOpenProject, {shownPath});
    return LoadOutcome::CannotOpen;
  }
  // Read one byte past the largest valid size, so that an over-long file is recognised without
  // trusting the size the file system reports.
  std::vector<uint8_t> bytes(kProjectFileSize + 1);
  std::size_t total = 0;
  while (total < bytes.size()) {
    std::size_t got = 0;
    if (file.read(bytes.data() + total, bytes.size() - total, got) != 0) {
      message = formatMessage(kMsgCannotOpenProject, {shownPath});
      return LoadOutcome::CannotOpen;
    }
    if (got == 0) break;
    total += got;
  }
  bytes.resize(total);
  return parseProjectFile(bytes, settings, message, shownPath);
}

}  // namespace kelo::settings

#include "engine/MarkerList.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "container/ByteOrder.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "settings/StampSettings.h"

namespace kelo::engine {

namespace {
constexpr size_t kRecordBytes = 8;
// A marker file holds a handful of records; a file far beyond that is not a marker file and is
// not loaded past this many.
constexpr size_t kMaxRecords = 1u << 20;
}  // namespace

const Marker* MarkerList::at(int position) const {
  if (position < 0 || position >= count()) return nullptr;
  return &markers_[static_cast<size_t>(position)];
}

const Marker* MarkerList::find(int32_t frame, int32_t kind) const {
  for (const Marker& m : markers_) {
    if (m.frame == frame && m.kind == kind) return &m;
  }
  return nullptr;
}

void MarkerList::insert(int32_t frame, int32_t kind) {
  // Checked over the whole run of the frame: a start marker could otherwise be added again
  // behind the end marker of the same frame.
  if (find(frame, kind) != nullptr) return;
  const Marker added{frame, kind};
  for (auto it = markers_.begin(); it != markers_.end(); ++it) {
    if (it->frame == frame) {
      if (it->kind == kind) return;
      if (kind == kEndMarker) {
        markers_.insert(it, added);
      } else {
        markers_.insert(it + 1, added);
      }
      return;
    }
    if (it->frame > frame) {
      markers_.insert(it, added);
      return;
    }
  }
  markers_.push_back(added);
}

void MarkerList::remove(const Marker& marker) {
  for (auto it = markers_.begin(); it != markers_.end(); ++it) {
    if (*it == marker) {
      markers_.erase(it);
      return;
    }
  }
}

void MarkerList::toggle(int32_t frame, int32_t kind, settings::StampSettings& settings) {
  if (const Marker* m = find(frame, kind)) {
    remove(*m);
  } else {
    insert(frame, kind);
  }
  settings.markersModified = true;
}

int32_t MarkerList::nextAfter(int32_t f, int32_t kind) const {
  for (const Marker& m : markers_) {
    if (m.kind == kind && m.frame > f) return m.frame;
  }
  return kNoMarker;
}

int MarkerList::load(const std::string& path) {
  platform::File file;
  if (int err = file.openRead(path)) return err;
  std::vector<Marker> loaded;
  uint8_t block[kRecordBytes * 512];
  size_t carried = 0;  // bytes of an incomplete record kept from the previous read
  while (loaded.size() < kMaxRecords) {
    size_t got = 0;
    if (int err = file.read(block + carried, sizeof block - carried, got)) return err;
    const size_t have = carried + got;
    size_t i = 0;
    for (; i + kRecordBytes <= have && loaded.size() < kMaxRecords; i += kRecordBytes) {
      loaded.push_back({static_cast<int32_t>(container::readLe32(block + i)), static_cast<int32_t>(container::readLe32(block + i + 4))});
    }
    carried = have - i;
    for (size_t k = 0; k < carried; ++k) block[k] = block[i + k];
    if (got == 0) break;
  }
  markers_.insert(markers_.end(), loaded.begin(), loaded.end());
  return 0;
}

int MarkerList::save(const std::string& path) const {
  std::vector<uint8_t> bytes(markers_.size() * kRecordBytes);
  for (size_t i = 0; i < markers_.size(); ++i) {
    container::writeLe32(&bytes[i * kRecordBytes], static_cast<uint32_t>(markers_[i].frame));
    container::writeLe32(&bytes[i * kRecordBytes + 4], static_cast<uint32_t>(markers_[i].kind));
  }
  // Written beside and renamed over: a full disk keeps the old markers.
  return platform::replaceFileContent(path, bytes.data(), bytes.size());
}

namespace {

std::string lowered(const std::string& text) {
  std::string out;
  icu::UnicodeString::fromUTF8(text).toLower(icu::Locale::getRoot()).toUTF8String(out);
  return out;
}

// The name older marker files have: every ".avi" in the lowered file name turned into ".mrk"
// ("Clip.avi.AVI" -> "clip.mrk.mrk").
std::string everyAviReplaced(std::string name) {
  for (size_t at = name.find(".avi"); at != std::string::npos; at = name.find(".avi", at + 4))
    name.replace(at, 4, ".mrk");
  return name;
}

}  // namespace

std::string markerPathFor(const std::string& videoPath) {
  const size_t cut = videoPath.rfind(platform::kSeparator);
  const std::string folder = cut == std::string::npos ? std::string() : videoPath.substr(0, cut + 1);
  const std::string lower = lowered(platform::fileNameOf(videoPath));
  std::string name = lower;
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  name += ".mrk";
  const std::string path = folder + name;
  const std::string older = folder + everyAviReplaced(lower);
  // A name without ".avi" has no older form (and must never be the video itself).
  if (older != path && older != folder + lower && !platform::fileExists(path) && platform::fileExists(older))
    return older;
  return path;
}

}  // namespace kelo::engine

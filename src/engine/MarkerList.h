#pragma once
// Start ([) and end (]) markers that the user sets on frames of one video, and the marker side
// file beside the video that keeps them: no header, 8-byte records (frame index, kind), both
// signed 32-bit little-endian.
#include <cstdint>
#include <string>
#include <vector>

namespace kelo::settings {
struct StampSettings;
}

namespace kelo::engine {

inline constexpr int32_t kStartMarker = 0;
inline constexpr int32_t kEndMarker = 1;
// What nextStartAfter/nextEndAfter return when there is no such marker.
inline constexpr int32_t kNoMarker = 2147483647;

struct Marker {
  int32_t frame = 0;
  int32_t kind = kStartMarker;  // kept as stored: a file may hold other values
  bool operator==(const Marker&) const = default;
};

class MarkerList {
 public:
  int count() const { return static_cast<int>(markers_.size()); }
  // The marker at a list position; nullptr when the position is out of range.
  const Marker* at(int position) const;
  const Marker* find(int32_t frame, int32_t kind) const;
  const std::vector<Marker>& markers() const { return markers_; }

  // Keeps the list in frame order, an end marker before a start marker of the same frame, and
  // each (frame, kind) at most once.
  void insert(int32_t frame, int32_t kind);
  // Removes the marker with this frame and kind, if any.
  void remove(const Marker& marker);
  // The [ and ] buttons: removes the marker if present, else inserts it; marks the markers as
  // changed in the settings (markersModified).
  void toggle(int32_t frame, int32_t kind, settings::StampSettings& settings);
  void clear() { markers_.clear(); }

  // First marker of that kind in list order whose frame is greater than f; kNoMarker if none.
  int32_t nextStartAfter(int32_t f) const { return nextAfter(f, kStartMarker); }
  int32_t nextEndAfter(int32_t f) const { return nextAfter(f, kEndMarker); }

  // Appends the records of a marker file in file order (a trailing partial record is ignored).
  // 0, or an errno value when the file cannot be read (the list is then unchanged).
  int load(const std::string& path);
  // Replaces the file with every marker: written beside it and renamed over it, so a failed write
  // keeps the old file; a link is written through. 0 or an errno value.
  int save(const std::string& path) const;

 private:
  int32_t nextAfter(int32_t f, int32_t kind) const;
  std::vector<Marker> markers_;
};

// The marker file of a video: same folder, file name lowered and its extension, whatever the
// container (".avi", ".dv", ".mov"), replaced by ".mrk" (".mrk" appended to a name without one, so
// the markers never land on the video). Where only a file named the older way exists (every ".avi"
// of the name replaced, "Clip.avi.AVI" -> "clip.mrk.mrk"), that one: its markers are still found
// and saved back to it.
std::string markerPathFor(const std::string& videoPath);

}  // namespace kelo::engine

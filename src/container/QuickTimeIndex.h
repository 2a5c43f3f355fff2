#pragma once
// Finds the DV frames of a QuickTime (MOV) file: walks the boxes (`ftyp`, `moov`, `mdat`, ...),
// picks the video track whose sample descriptions are DV and lists its samples with their file
// offsets and sizes, in file order. Nothing else is interpreted; a stamped copy rewrites those
// samples in place and copies every other byte.
//
// The reader is strict: every box size, table count and chunk offset is checked against its parent
// box, the file size and the media data before it is used, and tables are only allocated once their
// counts fit in the bytes that hold them.
#include <cstdint>
#include <string>
#include <vector>

#include "container/ByteSource.h"

namespace kelo::container {

enum class QuickTimeOutcome {
  Ok,
  ReadFailed,          // the device failed while the boxes were read
  NotQuickTime,        // does not start with a QuickTime box
  Truncated,           // the file ends inside a box, or before the movie box
  BadBox,              // a box size smaller than its own header, or boxes without end
  BoxOutsideFile,      // a box reaches past the box that holds it
  NoDvTrack,           // no track with DV sample descriptions
  UnsupportedVariant,  // DV, but a kind that cannot be stamped (DVCPRO 50, DVCPRO HD)
  TablesDisagree,      // sample tables missing, contradicting each other or out of range
  ChunkOutsideMdat,    // a sample lies outside every media data box
  SamplesOverlap,      // two samples share bytes
  ExternalMedia,       // a reference movie: the DV track's media is in another file
};

struct QuickTimeSample {
  int64_t offset = 0;
  uint32_t size = 0;
};

struct QuickTimeIndex {
  QuickTimeOutcome outcome = QuickTimeOutcome::NotQuickTime;
  // The DV track's sample-entry code ("dvc ", "dvcp", "dvpp"); with UnsupportedVariant the code
  // that was refused.
  std::string sampleEntry;
  uint32_t trackId = 0;
  uint32_t timeScale = 0;  // of the DV track's media
  // The DV track's samples sorted by offset; empty unless the outcome is Ok.
  std::vector<QuickTimeSample> samples;
};

// DV sample-entry codes Kelo stamps (25 Mbit/s SD) and those it recognises but refuses.
bool isStampableDvEntry(const char code[4]);
bool isOtherDvEntry(const char code[4]);

// Reads the index of a QuickTime file; the outcome is also stored in the result.
QuickTimeIndex readQuickTimeIndex(ByteSource& source);

// The one-line message for a failed index, naming the file (and the refused variant).
std::string quickTimeMessage(const QuickTimeIndex& index, const std::string& path);

}  // namespace kelo::container

#pragma once
// Test-only writer of small DV AVI files with chosen quirks, so that the reader's edge cases do
// not depend on what FFmpeg or dvgrab happen to write; plus helpers around it (synthetic frames
// whose timecode is their frame number, a copy through reader and writer, a write layer that
// fills up).
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "dv/VideoProfile.h"
#include "container/StampedFileWriter.h"

namespace kelo::test {

struct SparseJunk {
  int beforeFrame = 0;     // the JUNK chunk goes in front of this frame (and its padding)
  uint64_t size = 0;       // payload bytes; left as a hole in the file, so it costs no disk
};

struct AviFixtureOptions {
  int type = 2;                  // 1: one `iavs` stream of `00__` chunks; 2: `vids` + `auds`
  const char* handler = "dvsd";  // fccHandler of the video stream header
  bool openDml = false;          // super index, `ix00`/`ix01` standard indexes, `odml` list
  int framesPerRiff = 0;         // with openDml: frames per RIFF part (0: all in the first)
  bool idx1 = true;              // legacy index behind the first movie list
  bool idx1Absolute = false;     // its offsets from the start of the file instead of `movi`
  int idx1Shift = 0;             // added to every idx1 offset (a wrong index)
  int superIndexShift = 0;       // added to every standard index offset (a wrong OpenDML index)
  bool pad512 = false;           // type 1: a JUNK chunk after each frame up to the 512-byte boundary
  int oddJunkEvery = 0;          // a JUNK chunk of odd size (5 bytes + pad) before every Nth frame
  bool recLists = false;         // each frame with its audio grouped in LIST `rec `
  bool upperCase = false;        // chunk ids, list types and codes in capitals
  uint32_t audioBytes = 7680;    // type 2: audio chunk bytes per frame (0: no audio stream)
  std::string audioText;         // repeated as the audio payload (default: zeros)
  int64_t streamLength = -1;     // dwLength of the video stream header (default: frame count)
  std::vector<SparseJunk> sparse;
};

// Writes the file; 0 or an errno value.
int writeAviFixture(const std::string& path, const std::vector<std::vector<uint8_t>>& frames,
                    const AviFixtureOptions& options);

// Offsets of the frame chunk headers in the last file written by writeAviFixture.
const std::vector<int64_t>& lastFixtureFramePositions();

// A DV frame with header, subcode (date, time, and a timecode that counts `index` frames at the
// system's nominal rate), VAUX and silent audio; the picture payload is zero.
std::vector<uint8_t> syntheticFrame(const dv::VideoProfile& profile, int index, int year = 2005, int month = 3, int day = 7,
                                    int hours = 23, int minutes = 59, int seconds = 55);
std::vector<std::vector<uint8_t>> syntheticFrames(const dv::VideoProfile& profile, int count);

// The tape timecode of a DV frame as a frame count at the system's nominal rate; -1 if none.
int timecodeFrameNumber(const uint8_t* frame, size_t length);

// Copies a file frame by frame through the container layer and StampedFileWriter as the stamping pass
// does, without stamping. 0, or the failing step's result; `frames` gets the frames read.
int copyThroughReader(const std::string& in, const std::string& out, int* frames = nullptr,
                      std::unique_ptr<container::WriteLayer> layer = nullptr, std::vector<std::string>* log = nullptr);

// A real file whose writes fail with `err` once `limit` bytes have been written (the bytes that
// still fit are written first, as a full disk does).
class FailingWriteLayer final : public container::WriteLayer {
 public:
  FailingWriteLayer(uint64_t limit, int err);
  int open(const std::string& path) override;
  int write(const void* data, size_t count) override;
  int setModificationTime(std::time_t when) override;
  int close() override;
  int remove(const std::string& path) override;

 private:
  std::unique_ptr<container::WriteLayer> real_;
  uint64_t limit_;
  uint64_t written_ = 0;
  int err_;
};

// Raw DV made by FFmpeg's encoder (testsrc picture, recording date from creation_time):
// Empty when ffmpeg is missing or fails.
std::vector<std::vector<uint8_t>> ffmpegFrames(const std::string& folder, const dv::VideoProfile& profile, int count,
                                               const std::string& creationTime = "2003-06-22T21:50:38");

}  // namespace kelo::test

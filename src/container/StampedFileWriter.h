#pragma once
// The stamped copy of one input file, whatever its container. The copy keeps the input's byte
// layout exactly; the source and the per-file pass hand it the bytes in file order and it writes
// them. The output is opened
// "not shared" (an exclusive lock taken without waiting); on a full disk the partial output is
// closed and deleted, so no truncated file is left that looks like a finished one.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace kelo::container {

// Where the writer's bytes go. Every result is 0 or an errno value. Tests replace it to simulate
// a full disk or a failing device at a chosen byte.
class WriteLayer {
 public:
  virtual ~WriteLayer() = default;
  // Creates or replaces the file; EWOULDBLOCK when another program holds it.
  virtual int open(const std::string& path) = 0;
  // Writes all bytes or fails (a short write is a failure).
  virtual int write(const void* data, size_t count) = 0;
  // Writes `first`, then `second`; the file system does it in one request.
  virtual int writePair(const void* first, size_t firstCount, const void* second, size_t secondCount) {
    if (int err = write(first, firstCount)) return err;
    return write(second, secondCount);
  }
  virtual int setModificationTime(std::time_t when) = 0;
  // Waits until everything written is on the disk: 0, or the error of a write-back that failed.
  virtual int makeDurable() { return 0; }
  virtual int close() = 0;
  virtual int remove(const std::string& path) = 0;
};

// The real file system (platform::File).
std::unique_ptr<WriteLayer> makeFileWriteLayer();

class StampedFileWriter {
 public:
  explicit StampedFileWriter(std::unique_ptr<WriteLayer> layer = makeFileWriteLayer());
  ~StampedFileWriter();
  StampedFileWriter(const StampedFileWriter&) = delete;
  StampedFileWriter& operator=(const StampedFileWriter&) = delete;

  // 0; -1 for an empty path; -2 when the file cannot be created ("can not open file.\n" on the
  // error stream). openError() then tells a sharing violation (EWOULDBLOCK) from other causes.
  int open(const std::string& path);
  // `count` on success; 0 when count is 0; -1 when no file is open ("file is not valid.\n");
  // -2 when writing failed. Writes are buffered, so a failure can surface at a later write, at
  // flush or at close; after a full disk (ENOSPC, EDQUOT) the file is already closed and deleted.
  int64_t write(const void* bytes, size_t count);
  // Writes out buffered bytes: 0 or -2 (-1 when not open).
  int flush();
  // Flushes, then sets the modification time (the buffered bytes must not touch it afterwards).
  // 0, -1 when not open, -2 on failure.
  int setModificationTime(std::time_t when);
  // Flushes and closes: 0, or -2 when the last bytes could not be written (a full disk deletes the
  // file as above). Closing a writer that is not open returns 0.
  int close();
  // As close, once every byte is on the disk: a failure the disk reports only then (a full disk
  // under delayed allocation, an I/O error) fails the file as a failed write does. For a finished
  // output before it takes its final name.
  int closeDurably();

  bool isOpen() const { return open_; }
  const std::string& path() const { return path_; }
  // errno of the last failed open or write, 0 if none.
  int openError() const { return openError_; }
  int writeError() const { return writeError_; }
  // True once a full disk made the writer delete its output.
  bool deletedAfterDiskFull() const { return deleted_; }
  // Bytes accepted so far (buffered or written).
  uint64_t bytesWritten() const { return accepted_; }

 private:
  int writeThrough(const void* data, size_t count);
  int fail(int err);

  std::unique_ptr<WriteLayer> layer_;
  std::string path_;
  bool open_ = false;
  bool deleted_ = false;
  int openError_ = 0;
  int writeError_ = 0;
  uint64_t accepted_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t buffered_ = 0;
};

}  // namespace kelo::container

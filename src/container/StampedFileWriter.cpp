#include "container/StampedFileWriter.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "container/MessageSink.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace kelo::container {

namespace {

// Small pieces (audio chunks, padding, index chunks between frames) are gathered; a frame goes
// straight through, in one request with the bytes gathered before it.
constexpr size_t kBufferBytes = 1u << 20;
constexpr size_t kDirectBytes = 64u << 10;

// Written data goes to the disk while the pass goes on: every so many bytes a thread of the
// layer's own waits for it (fdatasync), so that making the file durable at its end finds little
// left to do, and a long run leaves no backlog of unwritten pages.
constexpr int64_t kWriteBackBytes = 32 << 20;

class FileWriteLayer final : public WriteLayer {
 public:
  ~FileWriteLayer() override { stopWriteBack(); }
  int open(const std::string& path) override {
    stopWriteBack();
    written_ = handedOver_ = 0;
    writeBackError_ = 0;
    return file_.openWrite(path);
  }
  int write(const void* data, size_t count) override { return wrote(file_.writeAll(data, count), count); }
  int writePair(const void* first, size_t firstCount, const void* second, size_t secondCount) override {
    return wrote(file_.writeAll(first, firstCount, second, secondCount), firstCount + secondCount);
  }
  int setModificationTime(std::time_t when) override { return platform::setModificationTime(file_.fd(), when); }
  int makeDurable() override {
    stopWriteBack();
    // An error met in the background is reported once only: it is kept for here.
    if (writeBackError_ != 0) return writeBackError_;
    return file_.syncData();
  }
  int close() override {
    stopWriteBack();
    return file_.close();
  }
  int remove(const std::string& path) override { return platform::removeFile(path); }

 private:
  int wrote(int err, size_t count) {
    written_ += static_cast<int64_t>(count);
    if (err == 0 && written_ - handedOver_ >= kWriteBackBytes) {
      handedOver_ = written_;
      std::lock_guard lock(mutex_);
      if (!writeBack_.joinable()) writeBack_ = std::thread([this] { writeBackLoop(); });
      requested_ = true;
      wake_.notify_one();
    }
    return err;
  }
  void writeBackLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return requested_ || stopping_; });
      if (stopping_) return;
      requested_ = false;
      lock.unlock();
      const int err = file_.syncData();
      lock.lock();
      if (err != 0 && writeBackError_ == 0) writeBackError_ = err;
    }
  }
  void stopWriteBack() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      wake_.notify_one();
    }
    if (writeBack_.joinable()) writeBack_.join();
    stopping_ = requested_ = false;
  }

  platform::File file_;
  int64_t written_ = 0;     // bytes written, in order from the start
  int64_t handedOver_ = 0;  // of them, those the write-back thread was asked for
  std::thread writeBack_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;
  bool stopping_ = false;
  int writeBackError_ = 0;
};

bool isDiskFull(int err) { return err == ENOSPC || err == EDQUOT; }

}  // namespace

std::unique_ptr<WriteLayer> makeFileWriteLayer() { return std::make_unique<FileWriteLayer>(); }

StampedFileWriter::StampedFileWriter(std::unique_ptr<WriteLayer> layer) : layer_(std::move(layer)) {}

StampedFileWriter::~StampedFileWriter() { close(); }

int StampedFileWriter::open(const std::string& path) {
  close();
  deleted_ = false;
  openError_ = 0;
  writeError_ = 0;
  accepted_ = 0;
  buffered_ = 0;
  if (path.empty()) return -1;
  if (int err = layer_->open(path)) {
    openError_ = err;
    logError(kErrorCannotOpen);
    return -2;
  }
  path_ = path;
  open_ = true;
  // Not filled in advance: pages are touched only as far as bytes are gathered.
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<uint8_t[]>(kBufferBytes);
  return 0;
}

int StampedFileWriter::fail(int err) {
  writeError_ = err;
  if (isDiskFull(err)) {
    // A truncated copy must not survive as if it were a stamped file.
    layer_->close();
    layer_->remove(path_);
    open_ = false;
    deleted_ = true;
    buffered_ = 0;
  }
  return -2;
}

int StampedFileWriter::writeThrough(const void* data, size_t count) {
  if (int err = layer_->write(data, count)) return fail(err);
  return 0;
}

int StampedFileWriter::flush() {
  if (!open_) {
    logError(kErrorFileNotValid);
    return -1;
  }
  if (buffered_ == 0) return 0;
  const size_t n = buffered_;
  buffered_ = 0;
  return writeThrough(buffer_.get(), n);
}

int64_t StampedFileWriter::write(const void* bytes, size_t count) {
  if (!open_) {
    logError(kErrorFileNotValid);
    return -1;
  }
  if (count == 0) return 0;
  if (count >= kDirectBytes) {
    const size_t gathered = buffered_;
    buffered_ = 0;
    const int err = gathered == 0 ? layer_->write(bytes, count) : layer_->writePair(buffer_.get(), gathered, bytes, count);
    if (err != 0) return fail(err);
  } else {
    if (buffered_ + count > kBufferBytes) {
      if (int r = flush()) return r;
    }
    std::memcpy(buffer_.get() + buffered_, bytes, count);
    buffered_ += count;
  }
  accepted_ += count;
  return static_cast<int64_t>(count);
}

int StampedFileWriter::setModificationTime(std::time_t when) {
  if (int r = flush()) return r;
  if (int err = layer_->setModificationTime(when)) {
    writeError_ = err;
    return -2;
  }
  return 0;
}

int StampedFileWriter::closeDurably() {
  if (!open_) return 0;
  if (int r = flush()) return r;
  if (int err = layer_->makeDurable()) {
    const int r = fail(err);
    if (open_) {  // not a full disk: closed here, the caller removes what it named
      open_ = false;
      layer_->close();
    }
    return r;
  }
  return close();
}

int StampedFileWriter::close() {
  if (!open_) return 0;
  int result = flush();
  if (!open_) return result;  // the flush met a full disk: closed and deleted already
  open_ = false;
  if (int err = layer_->close()) {
    // Delayed write errors surface at close; on a full disk the copy is incomplete.
    result = fail(err);
  }
  return result;
}

}  // namespace kelo::container

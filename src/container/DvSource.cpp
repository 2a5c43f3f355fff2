#include "container/DvSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "container/DvAviReader.h"
#include "container/QuickTimeSource.h"
#include "container/RawDvStream.h"
#include "container/StampedFileWriter.h"
#include "container/RiffChunks.h"
#include "dv/DifLayout.h"
#include "dv/FrameInfo.h"
#include "dv/Packs.h"

namespace kelo::container {

const char* containerName(ContainerKind kind) {
  switch (kind) {
    case ContainerKind::Avi:
      return "avi";
    case ContainerKind::RawDv:
      return "dv";
    case ContainerKind::QuickTime:
      return "mov";
  }
  return "";
}

void logError(const char* text) { std::fprintf(stderr, "ERROR: %s", text); }

bool isSpecialFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

std::string refusedVariantMessage(dv::FrameKind kind) { return messageWith(kMsgRefusedVariant, dv::frameKindName(kind)); }

void DvSource::attach(std::unique_ptr<ByteSource> bytes, std::string path) {
  bytes_ = std::move(bytes);
  path_ = std::move(path);
  fileSize_ = bytes_ ? bytes_->size() : 0;
}

int DvSource::open(const std::string& path) {
  close();
  auto file = std::make_unique<FileByteSource>();
  if (int err = file->open(path)) {
    logError(kErrorCannotOpen);
    return err;
  }
  attach(std::move(file), path);
  return 0;
}

int DvSource::readAt(int64_t offset, void* buffer, size_t count, size_t& got) {
  got = 0;
  if (!bytes_) {
    logError(kErrorFileNotValid);
    return EBADF;
  }
  if (offset < 0) return EINVAL;
  if (offset >= fileSize_) return 0;
  const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), fileSize_ - offset));
  if (!bytes_->readAt(offset, static_cast<uint8_t*>(buffer), n)) return EIO;
  got = n;
  return 0;
}

int DvSource::readPairAt(int64_t offset, void* first, size_t firstCount, void* second, size_t secondCount,
                         size_t& got) {
  if (offset < 0 || fileSize_ - offset <= static_cast<int64_t>(firstCount) || bytes_ == nullptr)
    return readAt(offset, first, firstCount, got);
  const size_t behind = static_cast<size_t>(
      std::min<int64_t>(static_cast<int64_t>(secondCount), fileSize_ - offset - static_cast<int64_t>(firstCount)));
  got = 0;
  if (!bytes_->readPairAt(offset, static_cast<uint8_t*>(first), firstCount, static_cast<uint8_t*>(second), behind))
    return EIO;
  got = firstCount + behind;
  return 0;
}

CopyOutcome DvSource::copyRange(int64_t from, int64_t to, StampedFileWriter* output) {
  if (output == nullptr || from >= to) return CopyOutcome::Copied;
  // Not filled in advance, and kept: the bytes between frames come in small pieces, often.
  if (!copyBlock_) copyBlock_ = std::make_unique_for_overwrite<uint8_t[]>(kFrameBufferBytes);
  while (from < to) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(to - from, static_cast<int64_t>(kFrameBufferBytes)));
    size_t got = 0;
    if (readAt(from, copyBlock_.get(), want, got) != 0 || got != want) return CopyOutcome::ReadFailed;
    if (output->write(copyBlock_.get(), got) < 0) return CopyOutcome::WriteFailed;
    from += static_cast<int64_t>(got);
  }
  return CopyOutcome::Copied;
}

int DvSource::lookAheadToNextSecond(const dv::DvFrameInfo& info, const dv::DateTimeReadOptions& options) {
  const Mark saved = mark();
  const int unreadable = unreadableFrames_;  // frames met ahead are counted when really read
  const bool wasRandom = randomAccess_;
  randomAccess_ = false;
  dv::DvFrameInfo copy = info;
  std::vector<uint8_t> ahead(kFrameBufferBytes);
  int c = 1;
  for (;;) {
    size_t length = 0;
    if (readFrame(copy, nullptr, ahead.data(), length, 0, nullptr) != ReadOutcome::Frame || length <= frameOffset())
      break;
    const int status = dv::readRecordedDateTime(copy, options, ahead.data() + frameOffset(), length - frameOffset());
    if (status != 0 || copy.secondsOfDay == info.secondsOfDay) {
      if (++c > 30) {
        c = 0;
        break;
      }
      continue;
    }
    break;
  }
  randomAccess_ = wasRandom;
  unreadableFrames_ = unreadable;
  restore(saved);
  return c;
}

namespace {

// Box types a QuickTime file starts with.
bool isQuickTimeStart(const uint8_t* p, size_t n) {
  if (n < 8) return false;
  static const char* const kTypes[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot"};
  for (const char* t : kTypes)
    if (std::memcmp(p + 4, t, 4) == 0) return true;
  return false;
}

}  // namespace

OpenOutcome openDvSource(std::unique_ptr<ByteSource> bytes, const std::string& path,
                         std::unique_ptr<DvSource>& source) {
  source.reset();
  uint8_t head[dv::kDetectBytes] = {};
  const size_t got = static_cast<size_t>(std::min<int64_t>(bytes->size(), static_cast<int64_t>(sizeof head)));
  if (!bytes->readAt(0, head, got)) return OpenOutcome::UnknownContainer;
  if (got >= 12 && isFourcc(head, "riff") && isFourcc(head + 8, "avi ")) {
    source = std::make_unique<DvAviReader>();
  } else if (isQuickTimeStart(head, got)) {
    source = std::make_unique<QuickTimeSource>();
  } else {
    // Any DV frame, stampable or not: the stream itself refuses a kind it cannot stamp, by name.
    if (!startsLikeDvFrame(head, got) || dv::identifyFrame(head, got).kind == dv::FrameKind::NotDv)
      return OpenOutcome::UnknownContainer;
    source = std::make_unique<RawDvStream>();
  }
  source->attach(std::move(bytes), path);
  return OpenOutcome::Opened;
}

OpenOutcome openDvSource(const std::string& path, std::unique_ptr<DvSource>& source, int& error) {
  source.reset();
  error = 0;
  if (path.empty()) return OpenOutcome::EmptyPath;
  // Opening a FIFO would wait for a writer; a folder or a device is no video file either.
  if (isSpecialFile(path)) return OpenOutcome::NotRegularFile;
  auto file = std::make_unique<FileByteSource>();
  if (int err = file->open(path)) {
    error = err;
    logError(kErrorCannotOpen);
    return OpenOutcome::CannotOpen;
  }
  return openDvSource(std::move(file), path, source);
}

std::string messageWith(const char* format, const std::string& text) {
  const std::string f = format;
  const size_t at = f.find("%s");
  return at == std::string::npos ? f : f.substr(0, at) + text + f.substr(at + 2);
}

std::string openFailureMessage(OpenOutcome outcome, const std::string& path, int error) {
  switch (outcome) {
    case OpenOutcome::Opened:
      return {};
    case OpenOutcome::NotRegularFile:
      return messageWith(kMsgNotRegularFile, path);
    case OpenOutcome::UnknownContainer:
      return kMsgUnknownContainer;
    case OpenOutcome::EmptyPath:
    case OpenOutcome::CannotOpen:
      break;
  }
  // The reason goes where the format's last "%s" stands (a path may hold "%s" itself).
  const std::string line = messageWith(kMsgCannotOpen, path);
  const size_t at = line.rfind("%s");
  return line.substr(0, at) + std::strerror(error != 0 ? error : ENOENT) + line.substr(at + 2);
}

HeaderOutcome openCheckedSource(const std::string& path, bool random, std::unique_ptr<DvSource>& source,
                                std::string& message) {
  message.clear();
  int error = 0;
  const OpenOutcome opened = openDvSource(path, source, error);
  if (opened != OpenOutcome::Opened) {
    message = openFailureMessage(opened, path, error);
    return opened == OpenOutcome::CannotOpen ? HeaderOutcome::ReadFailed : HeaderOutcome::Invalid;
  }
  source->setRandomAccess(random);
  MessageList lines;
  const HeaderOutcome checked = source->validateHeader(nullptr, &lines);
  if (checked != HeaderOutcome::Valid) message = lines.last(kMsgUnknownContainer);
  return checked;
}

}  // namespace kelo::container

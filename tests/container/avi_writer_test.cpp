// StampedFileWriter: full disk, other write failures, the "not shared" output, closed writers.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>

#include "dv/FrameInfo.h"
#include "container/RiffChunks.h"
#include "container/DvAviReader.h"
#include "container/StampedFileWriter.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "support/AviFixture.h"
#include "support/TestUtil.h"

namespace kelo::container {
namespace {

using test::TempDir;

class AviWriterFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = dir_.file("in.avi");
    ASSERT_EQ(0, test::writeAviFixture(in_, test::syntheticFrames(test::palProfile(), 4), {}));
    inHash_ = test::sha256File(in_);
    size_ = static_cast<uint64_t>(test::readFile(in_).size());
  }
  TempDir dir_;
  std::string in_;
  std::string inHash_;
  uint64_t size_ = 0;
};

TEST_F(AviWriterFailures, FullDiskLeavesNoOutputWherever)
{
  // In the header, between frames, inside a frame, in the tail, at the very last byte.
  const std::vector<uint64_t> limits{0, 100, 150000, 300000, size_ - 200, size_ - 1};
  for (int err : {ENOSPC, EDQUOT}) {
    for (uint64_t limit : limits) {
      const std::string out = dir_.file("out.avi");
      std::vector<std::string> log;
      const int r = test::copyThroughReader(in_, out, nullptr, std::make_unique<test::FailingWriteLayer>(limit, err), &log);
      EXPECT_NE(0, r) << limit;
      EXPECT_FALSE(platform::fileExists(out)) << "limit " << limit;
      EXPECT_EQ(inHash_, test::sha256File(in_));
    }
  }
}

TEST_F(AviWriterFailures, ReaderLogsAFailedWriteBetweenFrames) {
  // The disk fills up with the first frame; the audio chunk behind it is written by the reader
  // while it scans for the second frame, into an output that is gone.
  const std::string out = dir_.file("out.avi");
  DvAviReader reader;
  StampedFileWriter writer(std::make_unique<test::FailingWriteLayer>(1000, ENOSPC));
  MessageList log;
  ASSERT_EQ(0, reader.open(in_));
  ASSERT_EQ(0, writer.open(out));
  ASSERT_EQ(HeaderOutcome::Valid, reader.validateHeader(&writer, &log));
  std::vector<uint8_t> buffer(kFrameBufferBytes);
  dv::DvFrameInfo info;
  size_t length = 0;
  ASSERT_EQ(ReadOutcome::Frame, reader.readFrame(info, &writer, buffer.data(), length, 0, &log));
  EXPECT_EQ(-2, writer.write(buffer.data(), length));
  EXPECT_TRUE(writer.deletedAfterDiskFull());
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadOutcome::WriteFailed, reader.readFrame(info, &writer, buffer.data(), length, 1, &log));
  EXPECT_EQ("ERROR: file is not valid.\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ("写加码文件时出错，硬盘可能满了。", log.lines.back());
  EXPECT_FALSE(platform::fileExists(out));
}

TEST_F(AviWriterFailures, OtherWriteFailureKeepsThePartialOutput) {
  const std::string out = dir_.file("out.avi");
  EXPECT_NE(0, test::copyThroughReader(in_, out, nullptr, std::make_unique<test::FailingWriteLayer>(300000, EIO)));
  ASSERT_TRUE(platform::fileExists(out));
  const auto partial = test::readFile(out);
  EXPECT_EQ(300000u, partial.size());
  const auto original = test::readFile(in_);
  EXPECT_TRUE(std::equal(partial.begin(), partial.end(), original.begin()));
}

TEST_F(AviWriterFailures, OutputHeldByAnotherProgramIsASharingViolation) {
  const std::string out = dir_.file("out.avi");
  platform::File other;
  ASSERT_EQ(0, other.openWrite(out));
  StampedFileWriter writer;
  testing::internal::CaptureStderr();
  EXPECT_EQ(-2, writer.open(out));
  EXPECT_EQ("ERROR: can not open file.\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ(EWOULDBLOCK, writer.openError());
  // The input itself, open for reading, cannot become an output either.
  platform::File reading;
  ASSERT_EQ(0, reading.openRead(in_));
  testing::internal::CaptureStderr();
  EXPECT_EQ(-2, writer.open(in_));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(inHash_, test::sha256File(in_));
}

TEST(AviWriter, ClosedWriterAndEmptyWrites) {
  TempDir dir;
  StampedFileWriter writer;
  EXPECT_EQ(-1, writer.open(""));
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, writer.write("x", 1));
  EXPECT_EQ("ERROR: file is not valid.\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ(0, writer.close());
  ASSERT_EQ(0, writer.open(dir.file("o.avi")));
  EXPECT_EQ(0, writer.write("x", 0));
  EXPECT_EQ(3, writer.write("abc", 3));
  // Large and small pieces keep their order.
  std::vector<uint8_t> big(200000, 7);
  EXPECT_EQ(200000, writer.write(big.data(), big.size()));
  EXPECT_EQ(2, writer.write("yz", 2));
  EXPECT_EQ(0, writer.close());
  const auto bytes = test::readFile(dir.file("o.avi"));
  ASSERT_EQ(200005u, bytes.size());
  EXPECT_EQ('a', bytes[0]);
  EXPECT_EQ(7, bytes[3]);
  EXPECT_EQ('z', bytes.back());
  // An existing file is replaced.
  ASSERT_EQ(0, writer.open(dir.file("o.avi")));
  EXPECT_EQ(0, writer.close());
  EXPECT_TRUE(test::readFile(dir.file("o.avi")).empty());
}

TEST(AviWriter, RealFullDiskOnSmallTmpfs) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a tmpfs";
  TempDir dir;
  const std::string mountPoint = dir.file("small");
  ASSERT_EQ(0, platform::makeFolders(mountPoint));
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=512k") != 0) GTEST_SKIP() << "mount failed";
  const std::string in = dir.file("in.avi");
  ASSERT_EQ(0, test::writeAviFixture(in, test::syntheticFrames(test::palProfile(), 5), {}));
  const std::string out = mountPoint + "/out.avi";
  std::vector<std::string> log;
  const int r = test::copyThroughReader(in, out, nullptr, nullptr, &log);
  const bool exists = platform::fileExists(out);
  ::umount(mountPoint.c_str());
  EXPECT_NE(0, r);
  EXPECT_FALSE(exists);
}

}  // namespace
}  // namespace kelo::container

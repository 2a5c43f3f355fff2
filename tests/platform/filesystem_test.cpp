#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace kelo::platform {
namespace {

std::string tempDir() {
  char tmpl[] = "/tmp/kelo-platform-XXXXXX";
  return ::mkdtemp(tmpl);
}

TEST(PlatformText, RoundTripsChineseAndAstral) {
  std::string s = "日期码 2003-06-22 \xF0\x9F\x93\xB7";
  std::u16string w = fromUtf8(s);
  EXPECT_EQ(w.substr(0, 3), u"日期码");
  EXPECT_EQ(toUtf8(w), s);
}

TEST(PlatformFile, SecondWriterIsRefusedWhileFirstHoldsTheFile) {
  std::string dir = tempDir();
  std::string path = joinPath(dir, "out.avi");
  File a, b;
  ASSERT_EQ(a.openWrite(path), 0);
  ASSERT_EQ(a.writeAll("abc", 3), 0);
  EXPECT_EQ(b.openWrite(path), EWOULDBLOCK);
  // The refused open must not have truncated what the first writer wrote.
  int64_t size = 0;
  ASSERT_EQ(a.size(size), 0);
  EXPECT_EQ(size, 3);
  a.close();
  removeFile(path);
  ::rmdir(dir.c_str());
}

TEST(PlatformFileSystem, RenameNeverReplaces) {
  std::string dir = tempDir();
  std::string x = joinPath(dir, "x"), y = joinPath(dir, "y");
  File f;
  ASSERT_EQ(f.openWrite(x), 0);
  f.close();
  ASSERT_EQ(f.openWrite(y), 0);
  f.close();
  EXPECT_EQ(renameNoReplace(x, y), EEXIST);
  EXPECT_TRUE(fileExists(x));
  removeFile(y);
  EXPECT_EQ(renameNoReplace(x, y), 0);
  EXPECT_FALSE(fileExists(x));
  FileIdentity a, b;
  ASSERT_EQ(fileIdentity(y, a), 0);
  ASSERT_EQ(fileIdentity(dir + "/./y", b), 0);
  EXPECT_EQ(a, b);
  removeFile(y);
  ::rmdir(dir.c_str());
}

TEST(PlatformFileSystem, PathPieces) {
  EXPECT_EQ(fileNameOf("/a/b/c.avi"), "c.avi");
  EXPECT_EQ(folderOf("/a/b/c.avi"), "/a/b");
  EXPECT_EQ(folderOf("c.avi"), ".");
  EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
}

}  // namespace
}  // namespace kelo::platform

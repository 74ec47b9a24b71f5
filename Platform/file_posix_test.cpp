#include <gtest/gtest.h>
#include <unistd.h>

#include "Platform/file.h"
#include "tests/temp_dir.h"

namespace {

TEST(PosixFile, NamesAreFoundInAnyLetterCase) {
  TempDir dir;
  dir.Write("keys.txt", "x");
  dir.Write("Cl\xC3\xA9s.lst", "y");  // UTF-8 on disk
  EXPECT_TRUE(platform::FileExists(dir.Path("KEYS.TXT")));
  EXPECT_TRUE(platform::File::OpenRead(dir.Path("KEYS.TXT")).IsOpen());
  // The tool's names are Windows-1252: CLÉS.LST, as the list name arrives.
  EXPECT_TRUE(platform::FileExists(dir.Path("CL\xC9S.LST")));
  EXPECT_FALSE(platform::FileExists(dir.Path("KEYS.TX")));
  EXPECT_FALSE(platform::FileExists(dir.Path("*.TXT")));
  EXPECT_FALSE(platform::FileExists(dir.Path("")));
}

TEST(PosixFile, AppendingExtendsTheFileFoundInAnyCase) {
  TempDir dir;
  dir.Write("Out.txt", "old");
  {
    platform::File file = platform::File::OpenAppend(dir.Path("OUT.TXT"));
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Write("new", 3));
    EXPECT_TRUE(file.Close());
  }
  EXPECT_EQ(dir.Read("Out.txt"), "oldnew");
}

TEST(PosixFile, DirectoriesAreNoFiles) {
  TempDir dir;
  EXPECT_FALSE(platform::FileExists(dir.Path("")));
  EXPECT_FALSE(platform::File::OpenRead(dir.Path(".")).IsOpen());
  EXPECT_FALSE(platform::File::OpenAppend(dir.Path(".")).IsOpen());
}

TEST(PosixFile, StandardStreamTypes) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int saved = dup(STDOUT_FILENO);
  dup2(fds[1], STDOUT_FILENO);
  const platform::FileType piped = platform::File::Standard(platform::StdStream::kOutput).Type();
  close(STDOUT_FILENO);
  const platform::FileType closed = platform::File::Standard(platform::StdStream::kOutput).Type();
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(fds[0]);
  close(fds[1]);
  EXPECT_EQ(piped, platform::FileType::kPipe);
  EXPECT_EQ(closed, platform::FileType::kUnknown);
}

}  // namespace

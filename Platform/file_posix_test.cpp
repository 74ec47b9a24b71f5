#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

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

namespace {

// The caller's descriptor as "/dev/fd/N": the run writes where the caller's
// next write goes on, as a shell group's commands share their output.
TEST(PosixFile, InheritedDescriptorSharesTheCallersOffset) {
  struct Row {
    const char* name;
    int flags;             // how the caller opened the file
    const char* before;    // the file's bytes before the caller opens it
    const char* written;   // what the caller wrote before the run
    bool sized;            // whether the run may cut the file back
    const char* expected;  // the file after the run and the caller's "end"
  };
  const Row rows[] = {
      {"> f", O_WRONLY | O_CREAT | O_TRUNC, "old", "head ", true, "head runend"},
      {">> f", O_WRONLY | O_CREAT | O_APPEND, "old ", "head ", true, "old head runend"},
      {"1<> f, inside the file", O_RDWR, "0123456789abcdef", "", false, "runend6789abcdef"},
  };
  for (const Row& row : rows) {
    TempDir dir;
    dir.Write("f\xC3\xA9", row.before);
    const int caller = open(dir.Path("f\xC3\xA9").c_str(), row.flags, 0666);
    ASSERT_GE(caller, 0) << row.name;
    ASSERT_EQ(write(caller, row.written, strlen(row.written)),
              static_cast<ssize_t>(strlen(row.written)));
    {
      platform::File file = platform::File::OpenAppend("\\dev\\fd\\" + std::to_string(caller));
      ASSERT_TRUE(file.IsOpen()) << row.name;
      std::uint64_t size = 0;
      EXPECT_EQ(file.Size(&size), row.sized) << row.name;
      ASSERT_TRUE(file.Write("run", 3));
      EXPECT_TRUE(file.Close());
    }
    ASSERT_EQ(write(caller, "end", 3), 3);
    close(caller);
    EXPECT_EQ(dir.Read("f\xC3\xA9"), row.expected) << row.name;
  }
}

TEST(PosixFile, InheritedSocketAndPipeAreWritten) {
  int sockets[2];
  int pipe_ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  ASSERT_EQ(pipe(pipe_ends), 0);
  for (const int* ends : {sockets, pipe_ends}) {
    {
      platform::File file = platform::File::OpenAppend("/dev/fd/" + std::to_string(ends[1]));
      ASSERT_TRUE(file.IsOpen());
      std::uint64_t size = 0;
      EXPECT_FALSE(file.Size(&size));  // nothing there can be cut back
      ASSERT_TRUE(file.Write("line\r\n", 6));
    }
    char got[6] = {};
    ASSERT_EQ(read(ends[0], got, sizeof got), 6);
    EXPECT_EQ(std::string(got, 6), "line\r\n");
    close(ends[0]);
    close(ends[1]);
  }
}

}  // namespace

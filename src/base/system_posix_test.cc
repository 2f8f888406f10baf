// The system layer's POSIX side: how a sheet's folder is found and joined,
// files on the standard streams' numbers, and the null device on those closed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "base/system.h"
#include "support/temp_dir.h"

namespace {

TEST(PosixPaths, DirectoryOfAndJoinPath) {
  const struct {
    const char* path;
    const char* directory;
  } folders[] = {
      {"x.cue", ""},   {"dir/x.cue", "dir"}, {"a//b//x.cue", "a//b"},
      {"/x.cue", "/"}, {"//x.cue", "/"},     {"/games/x.cue", "/games"},
  };
  for (const auto& c : folders) EXPECT_EQ(base::directory_of(c.path), c.directory) << c.path;

  const struct {
    const char* directory;
    const char* name;
    const char* joined;
  } joins[] = {
      {"", "t.bin", "t.bin"},
      {"/", "t.bin", "/t.bin"},
      {"dir", "t.bin", "dir/t.bin"},
      {"dir/", "t.bin", "dir/t.bin"},
      {"dir", "/abs/t.bin", "/abs/t.bin"},
  };
  for (const auto& c : joins) EXPECT_EQ(base::join_path(c.directory, c.name), c.joined);
}

TEST(PosixFiles, DescriptorZeroIsAnOpenFile) {
  // With standard input closed, the next file opened is descriptor 0.
  testing_support::TempDir dir;
  const std::string path = dir.write("t.bin", "t");
  const int input = ::dup(STDIN_FILENO);  // -1 when it is closed already
  ::close(STDIN_FILENO);
  base::File file = base::open_file(path, base::Access::Read);
  EXPECT_EQ(file.descriptor(), 0);
  EXPECT_TRUE(file.is_open());
  char byte = 0;
  EXPECT_EQ(base::read_some(file, &byte, 1), 1);
  EXPECT_TRUE(file.close());
  if (input >= 0) {
    ::dup2(input, STDIN_FILENO);
    ::close(input);
  }
}

// What a descriptor is open on: the file, the device that it is, and for
// what access; all zero when it is closed.
using OpenOn = std::tuple<dev_t, ino_t, dev_t, int>;

OpenOn open_on(int descriptor) {
  struct stat status;
  if (::fstat(descriptor, &status) != 0) return {};
  return {status.st_dev, status.st_ino, status.st_rdev, ::fcntl(descriptor, F_GETFL) & O_ACCMODE};
}

TEST(PosixFiles, ClosedStandardStreamsGetTheNullDeviceAndOpenOnesStay) {
  struct stat null;
  ASSERT_EQ(::stat("/dev/null", &null), 0);
  const OpenOn null_both_ways{null.st_dev, null.st_ino, null.st_rdev, O_RDWR};
  const std::vector<int> closings[] = {{0}, {1}, {2}, {0, 1, 2}};
  for (const std::vector<int>& closed : closings) {
    // GoogleTest writes on 1 and 2: what the call leaves is noted, the test's
    // own streams put back (closed again if they were), and then checked.
    int kept[3];
    OpenOn before[3], after[3];
    for (int fd : {0, 1, 2}) kept[fd] = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    for (int fd : closed) ::close(fd);
    base::open_missing_standard_streams();
    for (int fd : {0, 1, 2}) {
      after[fd] = open_on(fd);
      before[fd] = open_on(kept[fd]);
      if (kept[fd] < 0 || ::dup2(kept[fd], fd) < 0) ::close(fd);
      ::close(kept[fd]);
    }
    for (int fd : {0, 1, 2}) {
      if (std::ranges::count(closed, fd) == 1) {
        EXPECT_EQ(after[fd], null_both_ways) << fd;
      } else if (kept[fd] >= 0) {
        EXPECT_EQ(after[fd], before[fd]) << fd;
      }
    }
  }
}

}  // namespace

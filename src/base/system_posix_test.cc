// The system layer's POSIX side: how a sheet's folder is found and joined,
// files on the standard streams' numbers, and the null device on those closed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
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

// What a descriptor is open on, and for what.
struct OpenOn {
  bool open = false;
  dev_t device = 0, file_device = 0;
  ino_t file = 0;
  int access = -1;
  bool operator==(const OpenOn&) const = default;
};

OpenOn open_on(int descriptor) {
  struct stat status;
  if (::fstat(descriptor, &status) != 0) return {};
  return {true, status.st_rdev, status.st_dev, status.st_ino,
          ::fcntl(descriptor, F_GETFL) & O_ACCMODE};
}

TEST(PosixFiles, MissingStandardStreamsOpenOnTheNullDevice) {
  struct stat null_device;
  ASSERT_EQ(::stat("/dev/null", &null_device), 0);
  const std::vector<int> closings[] = {{0}, {1}, {2}, {0, 1, 2}};
  for (const std::vector<int>& closed : closings) {
    // GoogleTest writes to descriptors 1 and 2: what the call leaves is noted
    // first, and checked once the test's own streams are back.
    int kept[3];
    for (int descriptor : {0, 1, 2}) kept[descriptor] = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
    for (int descriptor : closed) ::close(descriptor);
    base::open_missing_standard_streams();
    OpenOn after[3], before[3];
    for (int descriptor : {0, 1, 2}) {
      after[descriptor] = open_on(descriptor);
      before[descriptor] = open_on(kept[descriptor]);
      // One that was closed before the row is closed again.
      if (kept[descriptor] < 0 || ::dup2(kept[descriptor], descriptor) < 0) ::close(descriptor);
      ::close(kept[descriptor]);
    }
    for (int descriptor : {0, 1, 2}) {
      if (std::ranges::count(closed, descriptor) == 1) {
        EXPECT_EQ(after[descriptor].device, null_device.st_rdev) << descriptor << " was closed";
        EXPECT_EQ(after[descriptor].access, O_RDWR) << descriptor << " was closed";
      } else if (before[descriptor].open) {
        EXPECT_EQ(after[descriptor], before[descriptor]) << descriptor << " was open";
      }
    }
  }
}

}  // namespace

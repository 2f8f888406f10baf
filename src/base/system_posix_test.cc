// The system layer's POSIX side: how a sheet's folder is found and joined,
// and files on the standard streams' numbers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

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

}  // namespace

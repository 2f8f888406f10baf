// The system layer's POSIX side: how a sheet's folder is found and joined.
#include <gtest/gtest.h>

#include <string>

#include "base/system.h"

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

}  // namespace

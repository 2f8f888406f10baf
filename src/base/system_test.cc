// What every system's implementation of the system layer must do alike.
#include "base/system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

using testing_support::fs_path;
using testing_support::read_file;
using testing_support::TempDir;

std::string read_all(const base::File& file) {
  std::string bytes;
  char buffer[7];  // small, so that reading takes several calls
  for (std::ptrdiff_t got; (got = base::read_some(file, buffer, sizeof buffer)) > 0;) {
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

TEST(SystemFiles, BytesGoOutAndComeBackAsTheyAre) {
  TempDir dir;
  const std::string path = dir.write("f.bin", std::string(100, 'x'));
  // Line ends and the byte that ends a text file on Windows, among others.
  const std::string bytes("a\nb\r\nc\x1a\0\xff", 9);
  base::File out = base::open_file(path, base::Access::CreateOrTruncate);
  ASSERT_TRUE(out.is_open());
  ASSERT_TRUE(base::write_all(out, bytes.data(), bytes.size()));
  ASSERT_TRUE(out.close());
  EXPECT_EQ(read_file(path), bytes);  // the older, longer content is gone

  for (const base::Access access : {base::Access::Read, base::Access::ReadWithoutWaiting}) {
    const base::File in = base::open_file(path, access);
    ASSERT_TRUE(in.is_open());
    EXPECT_EQ(read_all(in), bytes);
    const auto status = base::file_status(in);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->size, bytes.size());
    EXPECT_TRUE(status->is_regular);
    EXPECT_FALSE(status->is_folder);
  }
}

TEST(SystemFiles, NamesOfNoFile) {
  TempDir dir;
  const std::string existing = dir.write("a.bin", "a");
  const std::string names[] = {
      "", dir.path("missing.bin"), dir.path("missing") + testing_support::kPathSeparator + "a.bin",
      existing + std::string(1, '\0') + "x",  // must not find what comes before the NUL
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    errno = 0;
    EXPECT_FALSE(base::path_status(name).has_value());
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_FALSE(base::open_file(name, base::Access::Read).is_open());
    EXPECT_EQ(errno, ENOENT);
  }
}

TEST(SystemFiles, AFolderHasAStatusAndNamesAndOpensButCannotBeRead) {
  TempDir dir;
  const auto status = base::path_status(dir.path());
  ASSERT_TRUE(status.has_value());
  EXPECT_FALSE(status->is_regular);
  EXPECT_TRUE(status->is_folder);
  EXPECT_EQ(base::folder_entries(dir.path()), std::vector<std::string>());
  dir.write("Disc \u30bd (USA).cue", "");
  std::filesystem::create_directory(fs_path(dir.path("sub")));
  auto names = base::folder_entries(dir.path()).value();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Disc \u30bd (USA).cue", "sub"}));
  errno = 0;
  EXPECT_FALSE(base::folder_entries(dir.path("missing")).has_value());
  EXPECT_EQ(errno, ENOENT);
  const base::File folder = base::open_file(dir.path(), base::Access::Read);
  ASSERT_TRUE(folder.is_open());
  char byte;
  EXPECT_EQ(base::read_some(folder, &byte, 1), -1);
  EXPECT_FALSE(base::file_status(folder)->is_regular);
}

TEST(SystemFiles, OneFileThroughSeveralPathsHasOneId) {
  TempDir dir;
  const std::string path = dir.write("a.bin", "a");
  dir.write("b.bin", "b");
  std::filesystem::create_directory(fs_path(dir.path("sub")));
  const std::string separator(1, testing_support::kPathSeparator);
  const auto id_of = [](const std::string& name) { return base::path_status(name).value().id; };

  const base::FileId id = id_of(path);
  EXPECT_EQ(id_of(dir.path() + separator + "." + separator + "a.bin"), id);
  EXPECT_EQ(id_of(dir.path("sub") + separator + ".." + separator + "a.bin"), id);
  EXPECT_EQ(id_of(dir.path() + separator + separator + "a.bin"), id);
  EXPECT_EQ(base::file_status(base::open_file(path, base::Access::Read))->id, id);
  EXPECT_NE(id_of(dir.path("b.bin")), id);
  EXPECT_NE(id_of(dir.path()), id);
}

}  // namespace

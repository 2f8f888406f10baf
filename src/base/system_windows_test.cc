// The system layer's Windows side: path forms, long paths, names that no
// UTF-16 spells, sharing, the standard streams and the environment.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>
#include <string>

#include "base/system.h"
#include "support/deep_folder.h"
#include "support/temp_dir.h"

namespace {

using testing_support::DeepFolder;
using testing_support::read_file;
using testing_support::TempDir;

TEST(WindowsPaths, DirectoryOf) {
  const struct {
    const char* path;
    const char* directory;
  } cases[] = {
      {"x.cue", ""},
      {R"(dir\x.cue)", "dir"},
      {"dir/x.cue", "dir"},
      {R"(a/b\\/x.cue)", "a/b"},
      {R"(C:\x.cue)", R"(C:\)"},
      {"C:/x.cue", "C:/"},
      {R"(C:\games\x.cue)", R"(C:\games)"},
      {"C:x.cue", "C:"},
      {R"(\x.cue)", R"(\)"},
      {"/x.cue", "/"},
      {R"(\\server\share\x.cue)", R"(\\server\share\)"},
      {R"(\\server\share\dir\x.cue)", R"(\\server\share\dir)"},
      {R"(\\?\C:\x.cue)", R"(\\?\C:\)"},
      {R"(\\?\C:\dir\x.cue)", R"(\\?\C:\dir)"},
  };
  for (const auto& c : cases) EXPECT_EQ(base::directory_of(c.path), c.directory) << c.path;
}

TEST(WindowsPaths, JoinPath) {
  const struct {
    const char* directory;
    const char* name;
    const char* joined;
  } cases[] = {
      {"", "t.bin", "t.bin"},
      {"dir", "t.bin", R"(dir\t.bin)"},
      {"dir", R"(sub\t.bin)", R"(dir\sub\t.bin)"},
      {R"(C:\)", "t.bin", R"(C:\t.bin)"},
      {"C:/", "t.bin", "C:/t.bin"},
      {"C:", "t.bin", "C:t.bin"},
      {R"(\\server\share\)", "t.bin", R"(\\server\share\t.bin)"},
      // A name with a root of its own stands alone.
      {"dir", R"(D:\t.bin)", R"(D:\t.bin)"},
      {"dir", "D:/t.bin", "D:/t.bin"},
      {"dir", "D:t.bin", "D:t.bin"},
      {"dir", R"(\t.bin)", R"(\t.bin)"},
      {"dir", "/t.bin", "/t.bin"},
      {"dir", R"(\\server\share\t.bin)", R"(\\server\share\t.bin)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(base::join_path(c.directory, c.name), c.joined) << c.directory << " + " << c.name;
  }
  EXPECT_TRUE(base::is_path_separator('\\'));
  EXPECT_TRUE(base::is_path_separator('/'));
  EXPECT_FALSE(base::is_path_separator(':'));
}

TEST(WindowsFiles, OtherSpellingsOfOneFile) {
  TempDir dir;
  const std::string path = dir.write("Track.bin", "t");
  const base::FileId id = base::path_status(path).value().id;
  std::string slashed = path;
  for (char& c : slashed) c = c == '\\' ? '/' : c;
  const std::string spellings[] = {
      slashed, dir.path("TRACK.BIN"), R"(\\?\)" + path,
      // Relative to the current folder; Windows drops trailing dots and spaces.
      R"(.\Track.bin)", "track.bin", "Track.bin. "};
  wchar_t current[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, current), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(testing_support::fs_path(dir.path()).c_str()));
  for (const std::string& spelling : spellings) {
    const auto status = base::path_status(spelling);
    EXPECT_TRUE(status && status->id == id) << spelling;
  }
  SetCurrentDirectoryW(current);
}

TEST(WindowsFiles, PathsLongerThan260Characters) {
  TempDir dir;
  DeepFolder deep(dir.path(), 300);
  const std::string path = deep.path("t.bin");
  ASSERT_GT(path.size(), 300u);
  base::File out = base::open_file(path, base::Access::CreateOrTruncate);
  ASSERT_TRUE(out.is_open());
  ASSERT_TRUE(base::write_all(out, "deep", 4));
  ASSERT_TRUE(out.close());
  EXPECT_EQ(deep.read("t.bin"), "deep");
  deep.write("t.bin", "deeper");
  EXPECT_EQ(base::path_status(path).value().size, 6u);
  EXPECT_TRUE(base::open_file(path, base::Access::Read).is_open());
  EXPECT_EQ(base::path_status(deep.path()).value().is_regular, false);
}

TEST(WindowsFiles, NamesThatNoUtf16Spells) {
  TempDir dir;
  dir.write("a.bin", "a");
  // Bytes that are no UTF-8, and an unpaired surrogate written as UTF-8 would
  // write it (as Windows argument conversion does): never a file.
  for (const std::string& name : {dir.path("a.bin\xff"), dir.path("a.bin\xed\xa0\x80")}) {
    errno = 0;
    EXPECT_FALSE(base::path_status(name).has_value());
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_FALSE(base::open_file(name, base::Access::CreateOrTruncate).is_open());
    EXPECT_EQ(errno, ENOENT);
  }
}

TEST(WindowsFiles, AnOpenTrackFileStaysOpenToOthers) {
  TempDir dir;
  const std::string path = dir.write("t.bin", "track");
  const base::File reading = base::open_file(path, base::Access::ReadWithoutWaiting);
  ASSERT_TRUE(reading.is_open());
  EXPECT_TRUE(base::open_file(path, base::Access::Read).is_open());
  base::File writing = base::open_file(path, base::Access::CreateOrTruncate);
  ASSERT_TRUE(writing.is_open());
  EXPECT_TRUE(base::write_all(writing, "new", 3));
  EXPECT_TRUE(writing.close());
  EXPECT_EQ(read_file(path), "new");
}

TEST(WindowsFiles, DevicesAreNoRegularFiles) {
  const auto status = base::path_status("NUL");
  ASSERT_TRUE(status.has_value());
  EXPECT_FALSE(status->is_regular);
  EXPECT_EQ(status->size, 0u);
}

/// What write_standard sends to standard output while it is `file`.
std::string written_to(const std::string& file, std::string_view text) {
  const HANDLE handle = CreateFileW(testing_support::fs_path(file).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, handle);
  base::write_standard(base::StandardStream::Output, text);
  const bool terminal = base::is_terminal(base::StandardStream::Output);
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  CloseHandle(handle);
  EXPECT_FALSE(terminal);
  return read_file(file);
}

TEST(WindowsStreams, AFileGetsTheBytesAsTheyAre) {
  TempDir dir;
  const std::string text = "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\n\r\nend\n";
  EXPECT_EQ(written_to(dir.path("out"), text), text);
}

TEST(WindowsEnvironment, ValuesComeInUtf8) {
  const struct {
    std::optional<std::wstring> value;  // none: not set
    std::optional<std::string> expected;
  } cases[] = {
      {L"\u00c9t\u00e9 \u65e5\u672c \U0001F3AE",
       "\xc3\x89t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x8e\xae"},
      {L"", ""},
      {std::wstring(1000, L'x'), std::string(1000, 'x')},  // longer than a first guess
      {std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SetEnvironmentVariableW(L"CUESMELT_TEST_VALUE", c.value ? c.value->c_str() : nullptr);
    EXPECT_EQ(base::environment_variable("CUESMELT_TEST_VALUE"), c.expected);
  }
}

}  // namespace

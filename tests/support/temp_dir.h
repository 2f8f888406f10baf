// A scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testing_support {

/// The separator of the system's own paths, which TempDir::path joins with
/// and cuesmelt joins a sheet's folder and its FILE names with.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  /// `name` inside the folder.
  std::string path(std::string_view name) const;
  /// Creates (or replaces) the file `name` holding `bytes`; returns its path.
  std::string write(std::string_view name, std::string_view bytes) const;
  /// Creates (or replaces) the file at `path` holding `bytes`.
  static void write_path(const std::string& path, std::string_view bytes);

 private:
  std::string path_;
};

/// The UTF-8 `path` for std::filesystem and the file streams, which on
/// Windows would read a plain std::string in the ANSI code page.
std::filesystem::path fs_path(std::string_view path);

/// A std::filesystem path in UTF-8.
std::string utf8_path(const std::filesystem::path& path);

/// How messages show `path`: what base::quoted_path puts between the
/// quotes. Temporary folders hold nothing to escape but, on Windows, the
/// backslashes.
std::string shown_path(std::string_view path);

std::string read_file(const std::string& path);

/// `count` raw 2352-byte sectors, each byte telling its sector and offset
/// apart, so that a misplaced or misaligned byte shows in a comparison.
std::string raw_sectors(std::size_t count, unsigned seed = 0);

}  // namespace testing_support

// A scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <string_view>

namespace testing_support {

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

std::string read_file(const std::string& path);

/// `count` raw 2352-byte sectors, each byte telling its sector and offset
/// apart, so that a misplaced or misaligned byte shows in a comparison.
std::string raw_sectors(std::size_t count, unsigned seed = 0);

}  // namespace testing_support

// Windows only: a folder whose path is longer than the 260 characters that
// Windows programs were long limited to.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

/// Folders nested in `parent` until the path of the innermost is at least
/// `length` characters long. They and the files in the innermost are made,
/// read and removed through the \\?\ form of their paths, as
/// std::filesystem and the C runtime cannot reach them on a Windows without
/// long paths switched on.
class DeepFolder {
 public:
  DeepFolder(const std::string& parent, std::size_t length);
  /// Removes the folders and every file in the innermost.
  ~DeepFolder();
  DeepFolder(const DeepFolder&) = delete;
  DeepFolder& operator=(const DeepFolder&) = delete;

  /// The innermost folder, in the usual form.
  const std::string& path() const { return path_; }
  /// `name` inside the innermost folder, in the usual form.
  std::string path(std::string_view name) const;
  void write(std::string_view name, std::string_view bytes);
  std::string read(std::string_view name) const;

 private:
  std::wstring long_form(std::string_view name) const;

  std::string path_;
  std::vector<std::wstring> folders_;  // \\?\ forms, outermost first
};

}  // namespace testing_support

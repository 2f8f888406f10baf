// The system layer on POSIX systems (Linux is the reference; nothing here is
// Linux-only).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>

#include "base/system.h"
#include "base/system_calls.h"

namespace base {
namespace {

int open_flags(Access access) {
  switch (access) {
    case Access::Read:
      return O_RDONLY | O_CLOEXEC;
    case Access::ReadWithoutWaiting:
      return O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    case Access::CreateOrTruncate:
      return O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  }
  return O_RDONLY;  // not reached: every access is handled above
}

FileStatus status_of(const struct stat& status) {
  FileStatus result;
  result.size = static_cast<std::uint64_t>(status.st_size);
  result.is_regular = S_ISREG(status.st_mode);
  result.is_folder = S_ISDIR(status.st_mode);
  result.id = {static_cast<std::uint64_t>(status.st_dev),
               static_cast<std::uint64_t>(status.st_ino)};
  return result;
}

bool holds_nul(std::string_view path) {
  return path.find('\0') != std::string_view::npos;
}

}  // namespace

bool system_calls::close_descriptor(int descriptor) {
  return ::close(descriptor) == 0;
}

std::ptrdiff_t system_calls::write_some(int descriptor, const char* bytes, std::size_t size) {
  for (;;) {
    const ssize_t written = ::write(descriptor, bytes, size);
    if (written >= 0 || errno != EINTR) return written;
  }
}

File open_file(std::string_view path, Access access) {
  if (holds_nul(path)) {
    errno = ENOENT;
    return File();
  }
  const std::string terminated(path);
  for (;;) {
    const int descriptor = ::open(terminated.c_str(), open_flags(access), 0666);
    if (descriptor >= 0) return File(descriptor);
    if (errno != EINTR) return File();
  }
}

void expect_sequential_reading(const File& file) {
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(file.descriptor(), 0, 0, POSIX_FADV_SEQUENTIAL);
#else
  (void)file;
#endif
}

std::ptrdiff_t read_some(const File& file, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(file.descriptor(), buffer, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool seek_to(const File& file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    errno = EINVAL;
    return false;
  }
  return ::lseek(file.descriptor(), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::optional<FileStatus> file_status(const File& file) {
  struct stat status;
  if (::fstat(file.descriptor(), &status) != 0) return std::nullopt;
  return status_of(status);
}

std::optional<FileStatus> path_status(std::string_view path) {
  if (holds_nul(path)) {
    errno = ENOENT;
    return std::nullopt;
  }
  struct stat status;
  if (::stat(std::string(path).c_str(), &status) != 0) return std::nullopt;
  return status_of(status);
}

std::optional<std::vector<std::string>> folder_entries(std::string_view path) {
  if (holds_nul(path)) {
    errno = ENOENT;
    return std::nullopt;
  }
  const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(std::string(path).c_str()),
                                                   &::closedir);
  if (!folder) return std::nullopt;
  std::vector<std::string> names;
  for (;;) {
    // readdir tells the end from a failure by errno alone.
    errno = 0;
    const dirent* entry = ::readdir(folder.get());
    if (entry == nullptr) break;
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  if (errno != 0) return std::nullopt;
  return names;
}

bool is_path_separator(char c) {
  return c == '/';
}

std::string_view directory_of(std::string_view path) {
  std::size_t end = path.size();
  while (end > 0 && !is_path_separator(path[end - 1])) --end;  // the file name
  if (end == 0) return {};
  // The separators before it, but the root keeps its own: "/x.cue" lies in
  // "/", not in "".
  while (end > 1 && is_path_separator(path[end - 1])) --end;
  return path.substr(0, end);
}

std::string join_path(std::string_view directory, std::string_view name) {
  const bool absolute = !name.empty() && is_path_separator(name.front());
  if (directory.empty() || absolute) return std::string(name);
  std::string joined(directory);
  if (!is_path_separator(joined.back())) joined += '/';
  joined += name;
  return joined;
}

void open_missing_standard_streams() {
  for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
    if (::fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) continue;
    // Every lower number is open by now, so the null device takes this one.
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0 && null != descriptor) ::close(null);
  }
}

void write_standard(StandardStream stream, std::string_view text) {
  const int descriptor = stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
  while (!text.empty()) {
    const ssize_t written = ::write(descriptor, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

bool is_terminal(StandardStream stream) {
  return ::isatty(stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

ConsoleFacts console_facts() {
  // A terminal outlives the programs that it runs.
  return {};
}

std::optional<std::string> environment_variable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::vector<std::string> process_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace base

// The system layer on POSIX systems (Linux is the reference; nothing here is
// Linux-only).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "base/system.h"

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
  result.id = {static_cast<std::uint64_t>(status.st_dev),
               static_cast<std::uint64_t>(status.st_ino)};
  return result;
}

bool holds_nul(std::string_view path) {
  return path.find('\0') != std::string_view::npos;
}

}  // namespace

File::File(int descriptor) : descriptor_(descriptor) {
  if (descriptor < 0) throw std::invalid_argument("base::File: not an open file descriptor");
}

File::File(File&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (is_open()) ::close(descriptor_);
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

File::~File() {
  if (is_open()) ::close(descriptor_);
}

bool File::close() {
  // The descriptor is gone after close whatever it reports (Linux releases
  // it even when interrupted), so it is never closed twice.
  return ::close(std::exchange(descriptor_, -1)) == 0;
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

bool write_all(const File& file, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(file.descriptor(), bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    // A write that takes nothing would loop for ever: the disk is full.
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
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

std::string error_text(int error) {
  return std::strerror(error);
}

bool is_path_separator(char c) {
  return c == '/';
}

std::string_view directory_of(std::string_view path) {
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  auto directory = path.substr(0, slash);
  while (directory.ends_with('/')) directory.remove_suffix(1);
  // The root keeps its slash: "/x.cue" lies in "/", not in "".
  return directory.empty() ? path.substr(0, 1) : directory;
}

std::string join_path(std::string_view directory, std::string_view name) {
  if (directory.empty() || name.starts_with('/')) return std::string(name);
  std::string joined(directory);
  if (!joined.ends_with('/')) joined += '/';
  joined += name;
  return joined;
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

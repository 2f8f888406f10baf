// What the system layer does alike on every system, over the calls each
// system implements for it.
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "base/system.h"
#include "base/system_calls.h"

namespace base {

using system_calls::close_descriptor;

File::File(int descriptor) : descriptor_(descriptor) {
  if (descriptor < 0) throw std::invalid_argument("base::File: not an open file descriptor");
}

File::File(File&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (is_open()) close_descriptor(descriptor_);
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

File::~File() {
  if (is_open()) close_descriptor(descriptor_);
}

bool File::close() {
  // The descriptor is gone after close whatever it reports (Linux releases
  // it even when interrupted), so it is never closed twice.
  return close_descriptor(std::exchange(descriptor_, -1));
}

bool write_all(const File& file, const char* bytes, std::size_t size) {
  while (size > 0) {
    const std::ptrdiff_t written = system_calls::write_some(file.descriptor(), bytes, size);
    if (written < 0) return false;
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

std::string error_text(int error) {
  return std::strerror(error);
}

}  // namespace base

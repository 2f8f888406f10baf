// What the system layer does alike on every system, over the one call
// each system implements for it.
#include <cstring>
#include <stdexcept>
#include <utility>

#include "base/system.h"

namespace base {

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

std::string error_text(int error) {
  return std::strerror(error);
}

}  // namespace base

// The calls that each system's file of the system layer implements for
// system.cc, which builds on them what every system does alike.
#pragma once

#include <cstddef>

namespace base::system_calls {

/// Closes the open file descriptor; false, with errno set, on failure.
bool close_descriptor(int descriptor);

/// Writes up to `size` bytes, repeating a write that a signal interrupted;
/// the number written, or -1 with errno set.
std::ptrdiff_t write_some(int descriptor, const char* bytes, std::size_t size);

}  // namespace base::system_calls

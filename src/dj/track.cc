// What the writer learns of a track file from the file system.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "dj/cdrom.h"
#include "dj/failure.h"

namespace dj {

std::uint32_t stored_sector_size(std::uint8_t mode) {
  // Audio keeps the whole sector; a mode 1 sector its 2048 bytes of user
  // data; a mode 2 sector everything after its 16-byte sync and header.
  switch (mode) {
    case kMode1:
      return 2048;
    case kMode2:
      return 2336;
    default:
      return kRawSectorSize;
  }
}

std::uint32_t Track::sector_count() const {
  struct stat status;
  if (file_path.find('\0') != std::string::npos) errno = ENOENT;
  if (file_path.find('\0') != std::string::npos || ::stat(file_path.c_str(), &status) != 0) {
    throw Failure(std::string("Error reading file for TRACK. Quitting...: ") +
                  std::strerror(errno));
  }
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size % kRawSectorSize != 0) {
    throw Failure("Error in TRACK: specified file not multiple of 2352");
  }
  // The image's lengths are 32-bit sector counts, and no CD track comes near
  // this size; a larger file is not a track dump.
  constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;
  if (size >= kFourGiB) throw Failure("Error in TRACK: specified file too large");
  return static_cast<std::uint32_t>(size / kRawSectorSize);
}

}  // namespace dj

// The portable CRC-32 natively: zlib's, which the program links anyway.
#include <zlib.h>

#include <algorithm>
#include <climits>

#include "base/crc32.h"

namespace base {

std::uint32_t portable_crc32(std::uint32_t crc, std::string_view bytes) {
  // zlib counts its buffers in unsigned int.
  constexpr std::size_t kLargestPiece = UINT_MAX;
  while (!bytes.empty()) {
    const auto piece = static_cast<uInt>(std::min(bytes.size(), kLargestPiece));
    crc = static_cast<std::uint32_t>(
        ::crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), piece));
    bytes.remove_prefix(piece);
  }
  return crc;
}

}  // namespace base

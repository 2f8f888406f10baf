// The portable CRC-32 in the browser, where the program has no zlib: a byte
// at a time through a table.
#include <array>

#include "base/crc32.h"

namespace base {
namespace {

/// The table of the reflected polynomial 0xEDB88320, a byte at a time.
constexpr std::array<std::uint32_t, 256> crc_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = crc_table();

}  // namespace

std::uint32_t portable_crc32(std::uint32_t crc, std::string_view bytes) {
  crc = ~crc;
  for (const char byte : bytes) {
    crc = kCrcTable[(crc ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (crc >> 8);
  }
  return ~crc;
}

}  // namespace base

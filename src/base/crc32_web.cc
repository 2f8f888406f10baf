// The portable CRC-32 in the browser, where the program has no zlib: eight
// bytes at a time through eight tables, with a byte at a time for the rest.
//
// The register changes linearly with what it meets: eight bytes change it
// by the sum (exclusive or) of what each does alone, and what a byte does
// when k zero bytes follow it is in table k. The register's own four bytes
// meet the first four of the eight, and are added into them.
#include <array>
#include <cstddef>

#include "base/crc32.h"

namespace base {
namespace {

using Table = std::array<std::uint32_t, 256>;
constexpr std::size_t kTables = 8;

/// kCrcTables[k][b]: the register's change by the byte b then k zero
/// bytes, for the reflected polynomial 0xEDB88320.
constexpr std::array<Table, kTables> crc_tables() {
  std::array<Table, kTables> tables{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][n] = c;
  }
  for (std::size_t k = 1; k < kTables; ++k) {
    for (std::size_t n = 0; n < 256; ++n) {
      const std::uint32_t before = tables[k - 1][n];
      tables[k][n] = (before >> 8) ^ tables[0][before & 0xFF];
    }
  }
  return tables;
}

constexpr std::array<Table, kTables> kCrcTables = crc_tables();

/// The four bytes at `at` as a number, the first lowest, as the register
/// holds them.
std::uint32_t word_at(const char* at) {
  const auto byte = [at](int i) { return std::uint32_t{static_cast<unsigned char>(at[i])}; };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

/// Table k's entry for byte `i` (0 the lowest) of `word`.
std::uint32_t look_up(std::size_t k, std::uint32_t word, int i) {
  return kCrcTables[k][(word >> (8 * i)) & 0xFF];
}

}  // namespace

std::uint32_t portable_crc32(std::uint32_t crc, std::string_view bytes) {
  crc = ~crc;
  const char* at = bytes.data();
  const char* const end = at + bytes.size();
  for (; end - at >= static_cast<std::ptrdiff_t>(kTables); at += kTables) {
    const std::uint32_t first = crc ^ word_at(at);
    const std::uint32_t second = word_at(at + 4);
    crc = look_up(7, first, 0) ^ look_up(6, first, 1) ^ look_up(5, first, 2) ^
          look_up(4, first, 3) ^ look_up(3, second, 0) ^ look_up(2, second, 1) ^
          look_up(1, second, 2) ^ look_up(0, second, 3);
  }
  for (; at < end; ++at) {
    crc = look_up(0, crc ^ static_cast<unsigned char>(*at), 0) ^ (crc >> 8);
  }
  return ~crc;
}

}  // namespace base

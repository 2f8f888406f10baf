// What the archive's directory and its entries' local headers share: their
// numbers, little-endian at fixed offsets, and reads at a place in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/system.h"

namespace zip::records {

/// The unsigned little-endian number of `width` bytes at `offset` of
/// `bytes`, which must hold them.
inline std::uint64_t number_at(std::string_view bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i > 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes[offset + i - 1]);
  }
  return value;
}

inline std::uint16_t u16_at(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(number_at(bytes, offset, 2));
}
inline std::uint32_t u32_at(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(number_at(bytes, offset, 4));
}
inline std::uint64_t u64_at(std::string_view bytes, std::size_t offset) {
  return number_at(bytes, offset, 8);
}

/// Reads `size` bytes at `offset` of `file`: fewer when the file ends
/// first, none (nullopt, errno set) when it cannot be read.
std::optional<std::string> read_at(const base::File& file, std::uint64_t offset, std::size_t size);

}  // namespace zip::records

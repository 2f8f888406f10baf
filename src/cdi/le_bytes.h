// Appending little-endian numbers to a byte string.
//
// Every multi-byte number of the CDI descriptor is unsigned little-endian
// with no padding; writing them with shifts keeps the output independent of
// the host's byte order and of any structure layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cdi {

class LeBytes {
 public:
  explicit LeBytes(std::string& out) : out_(out) {}

  void u8(std::uint8_t value) { out_ += static_cast<char>(value); }
  void u16(std::uint16_t value) { put(value, 2); }
  void u32(std::uint32_t value) { put(value, 4); }
  void u64(std::uint64_t value) { put(value, 8); }
  void bytes(std::string_view value) { out_ += value; }
  void zeros(std::size_t count) { out_.append(count, '\0'); }

 private:
  void put(std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out_ += static_cast<char>((value >> (8 * i)) & 0xFF);
  }

  std::string& out_;
};

}  // namespace cdi

// The CRC-32 of zip archives, computed by one of several methods: the
// system's own (zlib's natively, a table in the browser) runs anywhere;
// others that need particular instructions run where the processor has
// them. Which one runs is chosen once, at run time, so that one binary
// serves every processor of its kind.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace base {

/// The CRC-32 of zip archives (the polynomial of ISO 3309), `crc` carried
/// on over `bytes`; 0 starts one.
std::uint32_t crc32(std::uint32_t crc, std::string_view bytes);

/// One way of computing crc32(), for choosing among them and testing each.
struct Crc32Method {
  std::string_view name;
  /// Whether this processor has the instructions the method needs.
  bool (*runs_here)();
  std::uint32_t (*compute)(std::uint32_t crc, std::string_view bytes);
};

/// The ways this build has, fastest first; crc32() takes the first that
/// runs here. The last runs on any processor.
std::span<const Crc32Method> crc32_methods();

// The methods themselves: the portable one in crc32_zlib.cc (natively) or
// crc32_web.cc.
std::uint32_t portable_crc32(std::uint32_t crc, std::string_view bytes);

}  // namespace base

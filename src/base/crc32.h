// The CRC-32 of zip archives, computed the fastest way the processor
// allows: on x86-64 by folding with carry-less multiplication, on 64-bit
// Arm with its CRC32 instructions, and otherwise by the system's own method
// (zlib's natively, a table in the browser). Which one runs is chosen
// once, at run time, so that one binary serves every processor of its kind.
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

// The methods themselves, each defined where it belongs: the portable one
// in crc32_zlib.cc (natively) or crc32_web.cc, the others in the files of
// their processors.
std::uint32_t portable_crc32(std::uint32_t crc, std::string_view bytes);
#if defined(__x86_64__)
bool has_pclmulqdq();
std::uint32_t pclmulqdq_crc32(std::uint32_t crc, std::string_view bytes);
bool has_vpclmulqdq_avx512();
std::uint32_t vpclmulqdq_avx512_crc32(std::uint32_t crc, std::string_view bytes);
#endif
#if defined(__aarch64__) && defined(__linux__) && defined(__AARCH64EL__)
bool has_armv8_crc32();
std::uint32_t armv8_crc32(std::uint32_t crc, std::string_view bytes);
#endif

}  // namespace base

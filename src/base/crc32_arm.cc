// The CRC-32 on 64-bit Arm with the CRC32 instructions of ARMv8, which
// compute the zip polynomial's remainder eight bytes at a time. They are
// optional before ARMv8.1, so the function is compiled for them alone and
// runs only where Linux says the processor has them.
#include "base/crc32.h"

#if defined(__aarch64__) && defined(__linux__) && defined(__AARCH64EL__)

#include <arm_acle.h>
#include <asm/hwcap.h>
#include <sys/auxv.h>

#include <cstring>

namespace base {

bool has_armv8_crc32() {
  return (getauxval(AT_HWCAP) & HWCAP_CRC32) != 0;
}

__attribute__((target("+crc"))) std::uint32_t armv8_crc32(std::uint32_t crc,
                                                          std::string_view bytes) {
  // The instructions carry the register, the complement of `crc`, and take
  // a word's bytes in memory order, as a little-endian load gives them.
  std::uint32_t crc_register = ~crc;
  std::size_t at = 0;
  for (; bytes.size() - at >= sizeof(std::uint64_t); at += sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + at, sizeof word);
    crc_register = __crc32d(crc_register, word);
  }
  for (; at < bytes.size(); ++at) {
    crc_register = __crc32b(crc_register, static_cast<std::uint8_t>(bytes[at]));
  }
  return ~crc_register;
}

}  // namespace base

#endif

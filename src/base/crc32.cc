// Choosing how crc32() computes, by what the processor has.
#include "base/crc32.h"

namespace base {
namespace {

bool always() {
  return true;
}

constexpr Crc32Method kMethods[] = {
#if defined(__x86_64__)
    {"vpclmulqdq_avx512", has_vpclmulqdq_avx512, vpclmulqdq_avx512_crc32},
    {"pclmulqdq", has_pclmulqdq, pclmulqdq_crc32},
#endif
#if defined(__aarch64__) && defined(__linux__) && defined(__AARCH64EL__)
    {"armv8_crc32", has_armv8_crc32, armv8_crc32},
#endif
    {"portable", always, portable_crc32},
};

using Compute = std::uint32_t (*)(std::uint32_t, std::string_view);

Compute fastest_that_runs_here() {
  for (const Crc32Method& method : kMethods) {
    if (method.runs_here()) return method.compute;
  }
  return portable_crc32;
}

}  // namespace

std::span<const Crc32Method> crc32_methods() {
  return kMethods;
}

std::uint32_t crc32(std::uint32_t crc, std::string_view bytes) {
  // Chosen on the first call: the processor does not change under the program.
  static const Compute compute = fastest_that_runs_here();
  return compute(crc, bytes);
}

}  // namespace base

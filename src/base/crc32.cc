// Choosing how crc32() computes, by what the processor has.
#include "base/crc32.h"

#include <array>

namespace base {
namespace {

bool always() {
  return true;
}

constexpr std::array kMethods {
      Crc32Method{"portable", always, portable_crc32},
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

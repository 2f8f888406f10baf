// The CRC-32 on x86-64 by folding with carry-less multiplication:
// PCLMULQDQ on 128 bits at a time, or VPCLMULQDQ on 512 with AVX-512. Each
// function is compiled for its instructions alone (target attributes), and
// runs only where the processor has them, so the program still runs on any
// x86-64.
//
// The arithmetic is over polynomials with coefficients 0 and 1, where adding
// is exclusive or. The message is one long polynomial, its first bit the
// highest power; the CRC is the remainder of message * x^32 by the zip
// polynomial P. Reflected, as the format is: the first bit is bit 0 of the
// first byte, so a 16-byte block loaded little-endian holds its highest power
// in bit 0 of the register.
//
// Folding: a 128-bit block X with D bits of message after it counts as
// X * x^D. Split into halves, X = H * x^64 + L, its remainder by P is that
// of H * (x^(D+64) mod P) + L * (x^D mod P): two carry-less products of 64
// by 32 bits, which fit in a block and are added into the block D bits on.
// The message keeps its remainder while blocks pile up in a few
// accumulators; at its end one 128-bit block and a tail of under 16 bytes
// are left, which the portable method finishes.
#include "base/crc32.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <cstddef>

namespace base {
namespace {

// P without its x^32 term, reflected: bit 31 is x^0, bit 0 is x^31.
constexpr std::uint32_t kPolynomial = 0xEDB88320;

/// x^n mod P, reflected as kPolynomial is. Multiplying by x shifts towards
/// bit 0; a bit leaving there is x^32, which is P's lower terms.
constexpr std::uint32_t x_to_the(unsigned n) {
  std::uint32_t remainder = 0x80000000;  // x^0
  for (; n > 0; --n) remainder = (remainder >> 1) ^ ((remainder & 1) ? kPolynomial : 0);
  return remainder;
}
static_assert(x_to_the(31) == 1 && x_to_the(32) == kPolynomial);

/// The 64-bit operand that multiplies a reflected half by x^n mod P. The
/// product of two reflected 64-bit operands fills bits 0 to 126, so in 128
/// reflected bits it reads as the product times x: the operand holds
/// x^(n-1) mod P, in its upper 32 bits, where a reflected 64-bit operand
/// keeps powers below 32.
constexpr std::uint64_t multiplier(unsigned n) {
  return std::uint64_t{x_to_the(n - 1)} << 32;
}

/// The two multipliers that move a 128-bit block `bits` on: for its first
/// half (bits 0 to 63, the higher powers) and for its second.
struct FoldDistance {
  std::uint64_t first_half;
  std::uint64_t second_half;
};
constexpr FoldDistance fold_distance(unsigned bits) {
  return {multiplier(bits + 64), multiplier(bits)};
}

constexpr unsigned kBlockBits = 128;
constexpr std::size_t kBlock = kBlockBits / 8;
// A product takes several cycles to come out: folding into four
// accumulators at once keeps the multiplier busy meanwhile. With PCLMULQDQ
// each holds a block; with VPCLMULQDQ four (512 bits, `kWide` bytes).
constexpr std::size_t kLanes = 4;
constexpr std::size_t kWide = 4 * kBlock;

// The distances, computed here when the program is compiled: from a block
// to the next; from an accumulator of PCLMULQDQ to the same one a round
// later, which is also from one 512-bit value to the next; and from an
// accumulator of VPCLMULQDQ to the same one a round later.
constexpr FoldDistance kOneBlockOn = fold_distance(kBlockBits);
constexpr FoldDistance kFourBlocksOn = fold_distance(4 * kBlockBits);
constexpr FoldDistance kSixteenBlocksOn = fold_distance(16 * kBlockBits);
static_assert(kLanes == 4, "a round's distances are for four accumulators");

// The functions' `crc` is the complement of the register that carries the
// remainder along; the register is added into the message's first 32 bits.
constexpr std::uint32_t register_of(std::uint32_t crc) {
  return ~crc;
}
constexpr std::uint32_t crc_of(std::uint32_t crc_register) {
  return ~crc_register;
}

// Each function is compiled for the instructions of its method; those that
// handle 512-bit values are always inlined, since a 512-bit value passed on
// the stack would need an alignment that Windows' stack does not give.
#define TARGET_PCLMUL __attribute__((target("pclmul")))
#define TARGET_AVX512 __attribute__((target("avx512f,vpclmulqdq,pclmul")))
#define TARGET_AVX512_INLINE \
  __attribute__((target("avx512f,vpclmulqdq,pclmul"), always_inline)) inline

TARGET_PCLMUL __m128i distance_operand(FoldDistance distance) {
  return _mm_set_epi64x(static_cast<long long>(distance.second_half),
                        static_cast<long long>(distance.first_half));
}

TARGET_PCLMUL __m128i load(const char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

/// `block` moved on by the distance `by` and added into `next`.
TARGET_PCLMUL __m128i fold(__m128i block, __m128i by, __m128i next) {
  const __m128i first = _mm_clmulepi64_si128(block, by, 0x00);
  const __m128i second = _mm_clmulepi64_si128(block, by, 0x11);
  return _mm_xor_si128(_mm_xor_si128(first, second), next);
}

/// The CRC of a message that ends with `block` and the bytes from `at` to
/// `end`, all before folded into the block, the register too: from a
/// register of zero the portable method goes on through them.
TARGET_PCLMUL std::uint32_t finish(__m128i block, const char* at, const char* end) {
  const __m128i by_one_block = distance_operand(kOneBlockOn);
  for (; end - at >= static_cast<std::ptrdiff_t>(kBlock); at += kBlock) {
    block = fold(block, by_one_block, load(at));
  }
  char bytes[kBlock];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), block);
  const std::uint32_t crc = portable_crc32(crc_of(0), std::string_view(bytes, kBlock));
  return portable_crc32(crc, std::string_view(at, static_cast<std::size_t>(end - at)));
}

/// The 512 bits of `wide` as one block folded from its four, the first
/// the furthest. (Through memory: GCC 12 warns falsely about the
/// intrinsics that take a lane out, and this runs once a message.)
TARGET_AVX512_INLINE __m128i narrow(__m512i wide) {
  char bytes[kWide];
  _mm512_storeu_si512(bytes, wide);
  const __m128i by_one_block = distance_operand(kOneBlockOn);
  __m128i block = load(bytes);
  block = fold(block, by_one_block, load(bytes + kBlock));
  block = fold(block, by_one_block, load(bytes + 2 * kBlock));
  return fold(block, by_one_block, load(bytes + 3 * kBlock));
}

/// The distance for each block of a 512-bit value.
TARGET_AVX512_INLINE __m512i wide_operand(FoldDistance distance) {
  const auto first = static_cast<long long>(distance.first_half);
  const auto second = static_cast<long long>(distance.second_half);
  return _mm512_set_epi64(second, first, second, first, second, first, second, first);
}

TARGET_AVX512_INLINE __m512i load_wide(const char* at) {
  return _mm512_loadu_si512(at);
}

/// Each block of `wide` moved on by `by` and added into `next`'s.
TARGET_AVX512_INLINE __m512i fold_wide(__m512i wide, __m512i by, __m512i next) {
  const __m512i first = _mm512_clmulepi64_epi128(wide, by, 0x00);
  const __m512i second = _mm512_clmulepi64_epi128(wide, by, 0x11);
  return _mm512_ternarylogic_epi64(first, second, next, 0x96);  // first ^ second ^ next
}

}  // namespace

bool has_pclmulqdq() {
  return __builtin_cpu_supports("pclmul");
}

TARGET_PCLMUL std::uint32_t pclmulqdq_crc32(std::uint32_t crc, std::string_view bytes) {
  if (bytes.size() < kLanes * kBlock) return portable_crc32(crc, bytes);
  const char* at = bytes.data();
  const char* const end = at + bytes.size();
  __m128i lane0 = _mm_xor_si128(load(at), _mm_cvtsi32_si128(static_cast<int>(register_of(crc))));
  __m128i lane1 = load(at + kBlock);
  __m128i lane2 = load(at + 2 * kBlock);
  __m128i lane3 = load(at + 3 * kBlock);
  const __m128i by_all_lanes = distance_operand(kFourBlocksOn);
  for (at += kLanes * kBlock; end - at >= static_cast<std::ptrdiff_t>(kLanes * kBlock);
       at += kLanes * kBlock) {
    lane0 = fold(lane0, by_all_lanes, load(at));
    lane1 = fold(lane1, by_all_lanes, load(at + kBlock));
    lane2 = fold(lane2, by_all_lanes, load(at + 2 * kBlock));
    lane3 = fold(lane3, by_all_lanes, load(at + 3 * kBlock));
  }
  const __m128i by_one_block = distance_operand(kOneBlockOn);
  const __m128i block =
      fold(fold(fold(lane0, by_one_block, lane1), by_one_block, lane2), by_one_block, lane3);
  return finish(block, at, end);
}

bool has_vpclmulqdq_avx512() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq") &&
         has_pclmulqdq();
}

TARGET_AVX512 std::uint32_t vpclmulqdq_avx512_crc32(std::uint32_t crc, std::string_view bytes) {
  if (bytes.size() < kLanes * kWide) return pclmulqdq_crc32(crc, bytes);
  const char* at = bytes.data();
  const char* const end = at + bytes.size();
  // The register goes into the first 32 bits alone.
  const __m512i start = _mm512_maskz_set1_epi32(1, static_cast<int>(register_of(crc)));
  __m512i lane0 = _mm512_xor_si512(load_wide(at), start);
  __m512i lane1 = load_wide(at + kWide);
  __m512i lane2 = load_wide(at + 2 * kWide);
  __m512i lane3 = load_wide(at + 3 * kWide);
  const __m512i by_all_lanes = wide_operand(kSixteenBlocksOn);
  for (at += kLanes * kWide; end - at >= static_cast<std::ptrdiff_t>(kLanes * kWide);
       at += kLanes * kWide) {
    lane0 = fold_wide(lane0, by_all_lanes, load_wide(at));
    lane1 = fold_wide(lane1, by_all_lanes, load_wide(at + kWide));
    lane2 = fold_wide(lane2, by_all_lanes, load_wide(at + 2 * kWide));
    lane3 = fold_wide(lane3, by_all_lanes, load_wide(at + 3 * kWide));
  }
  const __m512i by_one_lane = wide_operand(kFourBlocksOn);
  __m512i wide = fold_wide(fold_wide(fold_wide(lane0, by_one_lane, lane1), by_one_lane, lane2),
                           by_one_lane, lane3);
  for (; end - at >= static_cast<std::ptrdiff_t>(kWide); at += kWide) {
    wide = fold_wide(wide, by_one_lane, load_wide(at));
  }
  return finish(narrow(wide), at, end);
}

#undef TARGET_PCLMUL
#undef TARGET_AVX512
#undef TARGET_AVX512_INLINE

}  // namespace base

#endif

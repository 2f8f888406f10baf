#include "base/crc32.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace base {
namespace {

/// The CRC-32 a bit at a time, as the format defines it.
std::uint32_t bitwise_crc32(std::uint32_t crc, std::string_view bytes) {
  crc = ~crc;
  for (const char byte : bytes) {
    crc ^= static_cast<unsigned char>(byte);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320 : 0);
  }
  return ~crc;
}

/// Bytes without a pattern that a wrong fold could match by chance.
std::string noise(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint64_t state = 0x9E3779B97F4A7C15;
  for (char& byte : bytes) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    byte = static_cast<char>(state >> 56);
  }
  return bytes;
}

}  // namespace

void PrintTo(const Crc32Method& method, std::ostream* out) {
  *out << method.name;
}

namespace {

class EachCrc32Method : public testing::TestWithParam<Crc32Method> {
 protected:
  void SetUp() override {
    if (!GetParam().runs_here()) GTEST_SKIP() << "this processor lacks " << GetParam().name;
  }
  std::uint32_t compute(std::uint32_t crc, std::string_view bytes) {
    return GetParam().compute(crc, bytes);
  }
  const std::string data_ = noise((1 << 20) + 64);
};

TEST_P(EachCrc32Method, GivesTheCheckValue) {
  EXPECT_EQ(compute(0, "123456789"), 0xCBF43926u);
  EXPECT_EQ(bitwise_crc32(0, "123456789"), 0xCBF43926u);
}

// Every length up to past several rounds of the widest lanes, from
// starts misaligned every way, carrying on a CRC already begun.
TEST_P(EachCrc32Method, MatchesBitwiseForEveryShortLength) {
  const struct {
    std::size_t offset;
    std::uint32_t crc;
  } starts[] = {{0, 0},           {1, 0},  {3, 0xFFFFFFFF},  {7, 0x12345678}, {8, 0},
                {13, 0xCBF43926}, {16, 0}, {31, 0x80000001}, {47, 0},         {63, 0xDEADBEEF}};
  for (const auto& start : starts) {
    std::uint32_t want = start.crc;
    for (std::size_t size = 0; size <= 1300; ++size) {
      const std::string_view bytes(data_.data() + start.offset, size);
      ASSERT_EQ(compute(start.crc, bytes), want) << "offset " << start.offset << ", " << size;
      want = bitwise_crc32(want, data_.substr(start.offset + size, 1));
    }
  }
}

TEST_P(EachCrc32Method, MatchesBitwiseForLongMessages) {
  const struct {
    std::size_t offset, size;
  } cases[] = {{0, 1 << 20}, {5, (1 << 20) - 5}, {64, 600 * 1024 + 17}, {9, 65536 + 255}};
  for (const auto& c : cases) {
    const std::string_view bytes(data_.data() + c.offset, c.size);
    EXPECT_EQ(compute(0, bytes), bitwise_crc32(0, bytes)) << c.offset << ", " << c.size;
  }
}

// A message in two pieces, split where the lanes and blocks start and end.
TEST_P(EachCrc32Method, CarriesOnAcrossPieces) {
  const std::string_view message(data_.data() + 3, 5000);
  const std::uint32_t whole = bitwise_crc32(0, message);
  for (const std::size_t split : {1, 15, 16, 17, 63, 64, 65, 255, 256, 257, 1023, 1024, 4999}) {
    const std::uint32_t first = compute(0, message.substr(0, split));
    EXPECT_EQ(compute(first, message.substr(split)), whole) << "split at " << split;
  }
}

INSTANTIATE_TEST_SUITE_P(Crc32, EachCrc32Method, testing::ValuesIn(crc32_methods()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Crc32, ChoosesAMethodThatRunsHere) {
  const std::string bytes = noise(100000);
  EXPECT_EQ(crc32(0x1234, bytes), bitwise_crc32(0x1234, bytes));
}

}  // namespace
}  // namespace base

// Tests that fail, skip and pass on purpose, for tests/skips/check_skips.cmake,
// which runs them under CTest and checks what it makes of each. Only there
// is CUESMELT_SKIP_PROBE set; in every other run each passes at once.
#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

bool probing() {
  return std::getenv("CUESMELT_SKIP_PROBE") != nullptr;
}

class SkipProbeSetUpFails : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (probing()) FAIL() << "the suite's set-up failed";
  }
};

TEST_F(SkipProbeSetUpFails, Test) {}

TEST(SkipProbe, SkipsSayingWhatIsMissing) {
  if (probing()) GTEST_SKIP() << "no such device here";
}

TEST(SkipProbe, SkipsWithoutSayingWhy) {
  if (probing()) GTEST_SKIP();
}

TEST(SkipProbe, FailsThenSkips) {
  if (probing()) {
    ADD_FAILURE() << "a failure first";
    GTEST_SKIP() << "no such device here";
  }
}

TEST(SkipProbe, Passes) {}

}  // namespace

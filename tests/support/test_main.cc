// The tests' main: GoogleTest's own, with one rule added. A test may skip
// only because the machine lacks something it needs, and must say what;
// any other skip fails.
//
// CTest counts a test as skipped, whatever its exit status, once
// "[  SKIPPED ]" appears in its output (gtest_discover_tests sets that
// pattern). GoogleTest prints it for a test that called GTEST_SKIP, and for
// every test of a suite whose set-up failed, which never ran: such a suite,
// the whole fault matrix say, would read as skipped and the run as passed.
// Turned into failures here, before GoogleTest reports the test, they print
// "[  FAILED  ]" instead, and the run fails; so does a skip that gives no
// reason.
#include <gtest/gtest.h>

#include <string>

namespace {

std::string skip_reason(const testing::TestResult& result) {
  for (int k = 0; k < result.total_part_count(); ++k) {
    const testing::TestPartResult& part = result.GetTestPartResult(k);
    if (part.skipped() && part.message()[0] != '\0') return part.message();
  }
  return {};
}

// GoogleTest tells listeners that a test ended in the reverse order of
// their joining, so this one hears it before the printer, which joined first.
class OnlySkipsThatSayWhy : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo& test) override {
    if (!test.result()->Skipped()) return;
    const testing::TestSuite& suite = *testing::UnitTest::GetInstance()->current_test_suite();
    if (suite.ad_hoc_test_result().Failed()) {
      ADD_FAILURE() << "the set-up of " << suite.name() << " failed: the test did not run";
    } else if (skip_reason(*test.result()).empty() &&
               skip_reason(suite.ad_hoc_test_result()).empty()) {
      // A suite's set-up may skip all of its tests, saying why once.
      ADD_FAILURE() << "skipped without saying what the machine lacks";
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new OnlySkipsThatSayWhy);
  return RUN_ALL_TESTS();
}

// Real failing system calls, one at a time, in real conversions of the
// sample disc, from its files and from a zip archive of them: the fault shim is preloaded into the
// cuesmelt binary and makes the chosen call fail. Whatever fails, a run must end either in status 0
// with the very image a clean run writes, or in status 1 with exactly one
// line on standard error; and the inputs must come out unchanged.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Outcome;
using testing_support::read_file;
using testing_support::run_program;
using testing_support::TempDir;

const char kSheet[] = "Sample Disc.cue";
const char kArchive[] = "deflated.zip";

/// The sample disc copied into a folder of its own, so that faults which
/// resize track files never touch the shared sample, with an archive of it.
class SampleCopy {
 public:
  SampleCopy() {
    for (const auto& entry : fs::directory_iterator(SAMPLE_DISC_DIR)) {
      fs::copy_file(entry.path(), dir_.path(entry.path().filename().string()));
    }
    fs::copy_file(fs::path(TEST_ZIP_DIR) / kArchive, dir_.path(kArchive));
  }
  /// What --cue names: the sheet, unless `input` names the archive.
  std::string sheet(const char* input = kSheet) const { return dir_.path(input); }
  std::string output() const { return dir_.path("out.cdi"); }

  /// Every input file's bytes, to compare before and after a run.
  std::map<std::string, std::string> inputs() const {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      if (name != "out.cdi") contents[name] = read_file(entry.path().string());
    }
    return contents;
  }

 private:
  TempDir dir_;
};

/// The variable that preloads the shim into cuesmelt, as NAME=value
/// (tests/CMakeLists.txt).
const std::string kPreload = FAULT_PRELOAD;
const std::string kPreloadName = kPreload.substr(0, kPreload.find('='));

/// Runs cuesmelt on `disc` with the shim preloaded and `plan` as its fault.
Outcome convert(const SampleCopy& disc, const std::string& plan, const std::string& census = {},
                const char* input = kSheet) {
  ::setenv(kPreloadName.c_str(), kPreload.substr(kPreloadName.size() + 1).c_str(), 1);
  ::setenv("CUESMELT_FAULT", plan.c_str(), 1);
  if (!census.empty()) ::setenv("CUESMELT_FAULT_CENSUS", census.c_str(), 1);
  Outcome outcome = run_program(CUESMELT_BINARY, {"-i", disc.sheet(input), "-o", disc.output()});
  ::unsetenv(kPreloadName.c_str());
  ::unsetenv("CUESMELT_FAULT");
  ::unsetenv("CUESMELT_FAULT_CENSUS");
  return outcome;
}

/// How often each call is made by a run under `plan`.
std::map<std::string, long> census(const SampleCopy& disc, const std::string& plan,
                                   const char* input = kSheet) {
  TempDir scratch;
  convert(disc, plan, scratch.path("census"), input);
  std::map<std::string, long> counts;
  std::istringstream lines(read_file(scratch.path("census")));
  std::string call;
  long count = 0;
  while (lines >> call >> count) counts[call] = count;
  return counts;
}

enum class Verdict { Converted, Refused, Broken };

Verdict judge(const Outcome& run, const std::string& image, const std::string& expected_image) {
  const bool one_line = !run.err.empty() && run.err.find('\n') == run.err.size() - 1;
  if (run.status == 0 && run.err.empty() && run.out.ends_with("enjoy!\n") &&
      image == expected_image) {
    return Verdict::Converted;
  }
  if (run.status == 1 && one_line && run.out.find("enjoy!") == std::string::npos) {
    return Verdict::Refused;
  }
  return Verdict::Broken;
}

enum class Expect { Either, Convert, Refuse };

struct FaultKind {
  const char* call;
  const char* fault;
  Expect expect;
  const char* message = nullptr;  // the line a refusal must print, where it is known
};

// EINTR and short transfers are what a program must ride out; the other
// errors may end the run, but only with one message. Closes are judged one
// by one (close_expectation). Any allocation may fail, whatever it was for.
const FaultKind kFaultKinds[] = {
    {"open", "eio", Expect::Either},
    {"open", "eintr", Expect::Convert},
    {"read", "eio", Expect::Either},
    {"read", "eintr", Expect::Convert},
    {"read", "short", Expect::Convert},
    {"write", "eio", Expect::Either},
    {"write", "enospc", Expect::Either},
    {"write", "eintr", Expect::Convert},
    {"write", "short", Expect::Convert},
    {"close", "eio", Expect::Either},
    {"close", "eintr", Expect::Either},
    {"stat", "eio", Expect::Either},
    {"stat", "eintr", Expect::Either},
    {"fstat", "eio", Expect::Either},
    {"fstat", "eintr", Expect::Either},
    {"new", "nomem", Expect::Refuse, "Error: out of memory. Quitting...\n"},
};

/// A failing close of an input loses nothing and must not stop the run; the
/// last close is the image's, and its failure may mean lost data: refused.
Expect close_expectation(long n, long calls) {
  return n == calls ? Expect::Refuse : Expect::Convert;
}

bool meets(Verdict verdict, Expect expect) {
  switch (expect) {
    case Expect::Either:
      return verdict != Verdict::Broken;
    case Expect::Convert:
      return verdict == Verdict::Converted;
    case Expect::Refuse:
      return verdict == Verdict::Refused;
  }
  return false;
}

std::string plan_for(const char* call, long n, const char* fault) {
  return std::string(call) + ":" + std::to_string(n) + ":" + fault;
}

class FaultMatrix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SampleCopy clean;
    const Outcome run = run_program(CUESMELT_BINARY, {"-i", clean.sheet(), "-o", clean.output()});
    ASSERT_EQ(run.status, 0) << run.err;
    reference_ = new std::string(read_file(clean.output()));
  }
  static void TearDownTestSuite() { delete reference_; }

  static std::string* reference_;
};

std::string* FaultMatrix::reference_ = nullptr;

/// No output file yet, or an older image in its place: the run then also
/// compares the existing file with every input before replacing it.
void prepare_output(const SampleCopy& disc, bool older_image) {
  fs::remove(disc.output());
  if (older_image) TempDir::write_path(disc.output(), "an older image");
}

TEST_F(FaultMatrix, EveryCallMeetsEveryFault) {
  SampleCopy disc;
  const auto inputs = disc.inputs();
  std::ostringstream matrix;
  int tried = 0, converted = 0, refused = 0;
  for (const auto& [input, older_image] :
       {std::pair{kSheet, false}, {kSheet, true}, {kArchive, false}}) {
    matrix << " from " << input << (older_image ? ", over an older image:\n" : ":\n");
    for (const FaultKind& kind : kFaultKinds) {
      prepare_output(disc, older_image);
      const long calls = census(disc, "", input)[kind.call];
      // A call the shim never sees, such as one the C library renamed
      // (open64 for open), would leave its faults untried.
      EXPECT_GT(calls, 0) << kind.call << " was never called, or not through the shim";
      int kind_converted = 0, kind_refused = 0;
      for (long n = 1; n <= calls; ++n) {
        const std::string plan = plan_for(kind.call, n, kind.fault);
        prepare_output(disc, older_image);
        const Outcome run = convert(disc, plan, {}, input);
        const Verdict verdict = judge(run, read_file(disc.output()), *reference_);
        ++tried;
        if (verdict == Verdict::Converted) ++kind_converted;
        if (verdict == Verdict::Refused) ++kind_refused;
        const bool is_close = std::string_view(kind.call) == "close";
        const Expect expect = is_close ? close_expectation(n, calls) : kind.expect;
        EXPECT_TRUE(meets(verdict, expect))
            << plan << ": status " << run.status << ", stderr: " << run.err;
        if (kind.message && verdict == Verdict::Refused) {
          EXPECT_EQ(run.err, kind.message) << plan;
        }
        EXPECT_EQ(disc.inputs(), inputs) << plan << " changed an input file";
      }
      converted += kind_converted;
      refused += kind_refused;
      matrix << "  " << kind.call << " x" << calls << " " << kind.fault << ": " << kind_converted
             << " converted, " << kind_refused << " refused\n";
    }
  }
  std::cout << "fault matrix (" << tried << " runs, " << converted << " converted, " << refused
            << " refused with one line):\n"
            << matrix.str();
}

TEST_F(FaultMatrix, TheDataGoesInBatches) {
  // A read and a write per sector would make a run many times slower than
  // copying the files; the sample's 1100 sectors go in batches of 256.
  const auto calls = census(SampleCopy(), "");
  constexpr long kBatches = 1100 / 256;
  EXPECT_LE(calls.at("read"), kBatches + 8);
  EXPECT_LE(calls.at("write"), kBatches + 24);
}

TEST_F(FaultMatrix, EveryTransferShort) {
  SampleCopy disc;
  for (const char* plan : {"read:0:short", "write:0:short"}) {
    fs::remove(disc.output());
    const Outcome run = convert(disc, plan);
    EXPECT_EQ(judge(run, read_file(disc.output()), *reference_), Verdict::Converted)
        << plan << ": " << run.err;
  }
}

TEST_F(FaultMatrix, NoTextReachesTheImageWithTheStandardStreamsClosed) {
  // Output and error closed, the image could take either's number; the last
  // read, a track file's, fails once the image has been started. Whatever
  // the image holds must be the start of the clean image, not a message.
  // Order alone keeps it so: no text is printed while the image is open,
  // and the failure closes it as it unwinds, before its message is written.
  // The null device in place of a closed stream keeps it so for good.
  SampleCopy disc;
  const std::string plan = plan_for("read", census(disc, "")["read"], "eio");
  ::setenv("CUESMELT_FAULT", plan.c_str(), 1);
  const Outcome run =
      run_program("/bin/sh", {"-c", "export \"$1\" && exec \"$0\" -i \"$2\" -o \"$3\" >&- 2>&-",
                              CUESMELT_BINARY, kPreload, disc.sheet(), disc.output()});
  ::unsetenv("CUESMELT_FAULT");
  EXPECT_EQ(run.status, 1);
  const std::string image = read_file(disc.output());
  EXPECT_FALSE(image.empty());
  EXPECT_EQ(image, reference_->substr(0, image.size()));
}

TEST_F(FaultMatrix, TrackFilesResizedDuringTheRun) {
  // A file cut or grown by a sector just before any look at its size or
  // contents: the run is refused, or its image is exactly the image of the
  // files as they are afterwards.
  int tried = 0, converted = 0;
  for (const char* call : {"stat", "fstat", "read"}) {
    for (const char* fault : {"shrink", "grow"}) {
      const long calls = census(SampleCopy(), "")[call];
      for (long n = 1; n <= calls; ++n) {
        SampleCopy disc;
        const std::string plan = plan_for(call, n, fault);
        const Outcome run = convert(disc, plan);
        const std::string image = read_file(disc.output());
        fs::remove(disc.output());  // then a clean run over the files as they are now
        const Outcome clean =
            run_program(CUESMELT_BINARY, {"-i", disc.sheet(), "-o", disc.output()});
        const std::string expected = clean.status == 0 ? read_file(disc.output()) : "";
        const Verdict verdict = judge(run, image, expected);
        ++tried;
        if (verdict == Verdict::Converted) ++converted;
        EXPECT_NE(verdict, Verdict::Broken) << plan << ": status " << run.status << ", " << run.err;
      }
    }
  }
  std::cout << "resized track files: " << tried << " runs, " << converted
            << " converted consistently, the rest refused with one line\n";
}

}  // namespace

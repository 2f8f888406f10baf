// Running the real cuesmelt binary for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct Outcome {
  int status = -1;  // the exit status, or -1 when the process did not exit normally
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

/// Runs `program` with `args` (argv[0] is `program` unless `argv0` is given)
/// in the working folder `cwd` (unchanged when empty), and waits for it.
/// On Windows the words, in UTF-8, go into a UTF-16 command line quoted the
/// way CommandLineToArgvW and the C runtime split it.
Outcome run_program(const std::string& program, const std::vector<std::string>& args,
                    const std::string& cwd = {}, const std::string* argv0 = nullptr);

#ifdef _WIN32
/// As run_program, with the arguments in UTF-16 as they stand, so that a
/// test can pass what no UTF-8 text spells, such as an unpaired surrogate.
Outcome run_program_utf16(const std::string& program, const std::vector<std::wstring>& args,
                          const std::string& cwd = {});
#endif

}  // namespace testing_support

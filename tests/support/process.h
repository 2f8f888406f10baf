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
Outcome run_program(const std::string& program, const std::vector<std::string>& args,
                    const std::string& cwd = {}, const std::string* argv0 = nullptr);

}  // namespace testing_support

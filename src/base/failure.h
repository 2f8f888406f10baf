// The one way a run of cuesmelt ends early.
//
// Whatever meets a failure throws a Failure carrying the exact text for
// standard error and the exit status; only main catches it, prints the text
// with one line feed and exits. Library code therefore never prints or exits,
// and tests can assert on the message without spawning a process.
#pragma once

#include <stdexcept>
#include <string>

namespace base {

class Failure : public std::runtime_error {
 public:
  /// Status 1 is a refused input or a failed conversion; 2 a refused command line.
  explicit Failure(const std::string& message, int exit_status = 1)
      : std::runtime_error(message), exit_status_(exit_status) {}

  int exit_status() const { return exit_status_; }

 private:
  int exit_status_;
};

}  // namespace base

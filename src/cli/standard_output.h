// Standard output of a run: the banner, the progress texts, help and version.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace cli {

/// Delivers what the run prints to standard output.
///
/// Into a file or a pipe, a line at a time: a progress text without its line
/// end waits for the rest of its line or for the end of the run, so a
/// failure's message on standard error comes out first. Scripts and logs
/// have always seen these bytes, in this order.
///
/// On a terminal, every text as soon as it is printed, so that a person sees
/// what the run is doing while it does it. A failure then ends the open
/// progress line first: its message starts on a line of its own, and the
/// shell prompt after the run does not stick to "parsing bin+cue... ".
class StandardOutput {
 public:
  using Sink = std::function<void(std::string_view)>;

  StandardOutput(bool on_terminal, Sink sink) : on_terminal_(on_terminal), sink_(std::move(sink)) {}
  StandardOutput(const StandardOutput&) = delete;
  StandardOutput& operator=(const StandardOutput&) = delete;
  /// Delivers whatever is still pending.
  ~StandardOutput();

  void print(std::string_view text);

  /// Called before a failure's message goes to standard error.
  void end_open_line();

 private:
  bool on_terminal_;
  Sink sink_;
  /// Printed but not yet delivered (files and pipes only).
  std::string pending_;
  /// On a terminal: the last text delivered did not end its line.
  bool line_open_ = false;
};

}  // namespace cli

// The command line of cuesmelt: two required value options, help and version.
//
// The parser is hand-written so that every accepted form and every rejection
// text comes out byte for byte as documented (the README's Usage,
// doc/messages.md and the manual page).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/text_style.h"

namespace cli {

/// The parsed command line: both paths exactly as typed.
struct Cli {
  std::string incue;
  std::string outcdi;

  friend bool operator==(const Cli&, const Cli&) = default;
};

enum class Action { Run, ShowHelp, ShowVersion };

struct ParsedCommandLine {
  Action action = Action::Run;
  /// Filled when action is Run.
  Cli cli;
  /// The help text or the version line (each ending in a line feed) for
  /// ShowHelp and ShowVersion; empty for Run.
  std::string text;
};

/// Parses the process's arguments; args[0] is the invocation name (the list
/// may be empty). Throws base::Failure with exit status 2 and the whole
/// multi-line rejection text (without its final line feed) when the command
/// line is refused. The help text is marked up with `help_style`, the
/// rejection with `error_style`.
ParsedCommandLine parse_command_line(const std::vector<std::string>& args,
                                     const TextStyle& help_style = TextStyle::plain(),
                                     const TextStyle& error_style = TextStyle::plain());

}  // namespace cli

// Emphasis and colour for the help text and the command-line rejections,
// when they go to a terminal.
//
// Only a terminal gets ANSI escape sequences; files and pipes get the plain
// bytes, so scripts and logs see exactly the documented texts. The usual
// environment variables override that: NO_COLOR, CLICOLOR, CLICOLOR_FORCE
// and TERM=dumb.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/system.h"

namespace cli {

/// Marks parts of a text up for a terminal, or leaves them plain.
class TextStyle {
 public:
  static TextStyle plain() { return TextStyle(false); }
  static TextStyle ansi() { return TextStyle(true); }

  /// A heading such as "Usage:": bold and underlined.
  std::string heading(std::string_view text) const;
  /// Something to type, such as an option name: bold.
  std::string literal(std::string_view text) const;
  /// The "error:" in front of a rejection: bold red.
  std::string error(std::string_view text) const;

 private:
  explicit TextStyle(bool ansi) : ansi_(ansi) {}
  std::string marked(std::string_view start, std::string_view text) const;

  bool ansi_;
};

/// What decides whether a stream gets styled text.
struct StyleSettings {
  bool is_terminal = false;
  std::optional<std::string> no_color;
  std::optional<std::string> clicolor;
  std::optional<std::string> clicolor_force;
  std::optional<std::string> term;
};

/// NO_COLOR (set and not empty) turns styling off, whatever else is set;
/// then CLICOLOR_FORCE (set, not empty and not "0") turns it on, even for a
/// file or a pipe; then CLICOLOR=0 turns it off; otherwise a terminal gets
/// it unless TERM is "dumb".
bool wants_style(const StyleSettings& settings);

/// The style for `stream`, from the system and the environment.
TextStyle style_for(base::StandardStream stream);

}  // namespace cli

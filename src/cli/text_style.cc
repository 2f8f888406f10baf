#include "cli/text_style.h"

namespace cli {
namespace {

constexpr std::string_view kReset = "\x1b[0m";

bool is_set(const std::optional<std::string>& value) {
  return value && !value->empty();
}

}  // namespace

std::string TextStyle::heading(std::string_view text) const {
  return marked("\x1b[1m\x1b[4m", text);
}

std::string TextStyle::literal(std::string_view text) const {
  return marked("\x1b[1m", text);
}

std::string TextStyle::error(std::string_view text) const {
  return marked("\x1b[1m\x1b[31m", text);
}

std::string TextStyle::marked(std::string_view start, std::string_view text) const {
  if (!ansi_) return std::string(text);
  std::string out(start);
  out += text;
  out += kReset;
  return out;
}

bool wants_style(const StyleSettings& settings) {
  if (is_set(settings.no_color)) return false;
  if (is_set(settings.clicolor_force) && *settings.clicolor_force != "0") return true;
  if (settings.clicolor == "0") return false;
  return settings.is_terminal && settings.term != "dumb";
}

TextStyle style_for(base::StandardStream stream) {
  StyleSettings settings;
  settings.no_color = base::environment_variable("NO_COLOR");
  settings.clicolor = base::environment_variable("CLICOLOR");
  settings.clicolor_force = base::environment_variable("CLICOLOR_FORCE");
  settings.term = base::environment_variable("TERM");
  settings.is_terminal = base::is_terminal(stream);
  return wants_style(settings) ? TextStyle::ansi() : TextStyle::plain();
}

}  // namespace cli

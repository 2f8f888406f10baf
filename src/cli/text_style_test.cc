#include "cli/text_style.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/failure.h"
#include "cli/command_line.h"

namespace cli {
namespace {

TEST(WantsStyle, FollowsTheTerminalAndTheEnvironment) {
  const std::optional<std::string> unset;
  const struct {
    bool terminal;
    std::optional<std::string> no_color, clicolor, clicolor_force, term;
    bool styled;
  } cases[] = {
      {true, unset, unset, unset, "xterm-256color", true},
      {true, unset, unset, unset, unset, true},  // a Windows console has no TERM
      {false, unset, unset, unset, "xterm", false},
      {true, "1", unset, unset, "xterm", false},
      {true, "", unset, unset, "xterm", true},  // an empty NO_COLOR does not count
      {true, unset, unset, unset, "dumb", false},
      {true, unset, "0", unset, "xterm", false},
      {true, unset, "1", unset, "xterm", true},
      {false, unset, unset, "1", unset, true},  // forced into a pipe
      {false, unset, unset, "0", unset, false},
      {false, unset, unset, "", unset, false},
      {true, unset, "0", "1", "dumb", true},   // forcing beats CLICOLOR and TERM
      {false, "1", unset, "1", unset, false},  // NO_COLOR beats everything
  };
  for (const auto& c : cases) {
    const StyleSettings settings{c.terminal, c.no_color, c.clicolor, c.clicolor_force, c.term};
    EXPECT_EQ(wants_style(settings), c.styled)
        << c.terminal << " NO_COLOR=" << c.no_color.value_or("-")
        << " CLICOLOR=" << c.clicolor.value_or("-")
        << " CLICOLOR_FORCE=" << c.clicolor_force.value_or("-") << " TERM=" << c.term.value_or("-");
  }
}

TEST(TextStyle, StyledHelpAndRejectionKeepTheirLayout) {
  const ParsedCommandLine help =
      parse_command_line({"cuesmelt", "-h"}, TextStyle::ansi(), TextStyle::plain());
  EXPECT_EQ(help.text,
            "Convert Dreamcast multisession CD images in Redump CUE format to DiscJuggler CDI "
            "format\n\n"
            "\x1b[1m\x1b[4mUsage:\x1b[0m cuesmelt --cue <cuesheet> --cdi <cdi>\n\n"
            "\x1b[1m\x1b[4mOptions:\x1b[0m\n"
            "  \x1b[1m-i, --cue\x1b[0m <cuesheet>  Path to input CUE file\n"
            "  \x1b[1m-o, --cdi\x1b[0m <cdi>       Path to output CDI file\n"
            "  \x1b[1m-h, --help\x1b[0m            Print help\n"
            "  \x1b[1m-V, --version\x1b[0m         Print version\n");

  const struct {
    std::vector<std::string> args;
    std::string text;
  } rejections[] = {
      {{"cuesmelt", "x"},
       "\x1b[1m\x1b[31merror:\x1b[0m unexpected argument 'x' found\n\n"
       "\x1b[1m\x1b[4mUsage:\x1b[0m cuesmelt --cue <cuesheet> --cdi <cdi>\n\n"
       "For more information, try '--help'."},
      {{"cuesmelt", "--cue"},
       "\x1b[1m\x1b[31merror:\x1b[0m a value is required for '--cue <cuesheet>' but none "
       "was supplied\n\nFor more information, try '--help'."},
  };
  for (const auto& r : rejections) {
    try {
      parse_command_line(r.args, TextStyle::plain(), TextStyle::ansi());
      ADD_FAILURE() << "accepted";
    } catch (const base::Failure& failure) {
      EXPECT_EQ(failure.what(), r.text);
    }
  }
}

}  // namespace
}  // namespace cli

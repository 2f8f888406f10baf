#include "cli/command_line.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/failure.h"

namespace cli {
namespace {

std::vector<std::string> command(std::vector<std::string> words) {
  words.insert(words.begin(), "cuesmelt");
  return words;
}

// The whole rejection text, or a marker when the command line was accepted.
std::string rejection(const std::vector<std::string>& args) {
  try {
    parse_command_line(args);
  } catch (const base::Failure& failure) {
    if (failure.exit_status() != 2) return "exit status " + std::to_string(failure.exit_status());
    return failure.what();
  }
  return "<accepted>";
}

const std::string kTail =
    "\n\nUsage: cuesmelt --cue <cuesheet> --cdi <cdi>\n\n"
    "For more information, try '--help'.";

std::string framed(const std::string& line) {
  return "error: " + line + kTail;
}
std::string unexpected(const std::string& word) {
  return framed("unexpected argument '" + word + "' found");
}
std::string with_tip(const std::string& word, const std::string& known) {
  return "error: unexpected argument '" + word + "' found\n\n  tip: a similar argument exists: '" +
         known + "'" + kTail;
}
std::string no_value(const std::string& form) {
  return "error: a value is required for '" + form +
         "' but none was supplied\n\nFor more information, try '--help'.";
}
const std::string kInvalidUtf8 = framed("invalid UTF-8 was detected in one or more arguments");

TEST(ParseCommandLine, AcceptedForms) {
  const Cli standard{"a.cue", "x.cdi"};
  const struct {
    std::vector<std::string> words;
    Cli expected;
  } cases[] = {
      {{"--cue", "a.cue", "--cdi", "x.cdi"}, standard},
      {{"--cue=a.cue", "--cdi=x.cdi"}, standard},
      {{"-i", "a.cue", "-o", "x.cdi"}, standard},
      {{"-ia.cue", "-o=x.cdi"}, standard},
      {{"-i=a.cue", "-ox.cdi"}, standard},
      {{"--cdi=x.cdi", "--cue", "a.cue"}, standard},
      {{"--cue=", "--cdi", ""}, {"", ""}},
      {{"-i=", "-o="}, {"", ""}},
      {{"--cue", "-", "-o", "-"}, {"-", "-"}},
      {{"-ih", "-oV"}, {"h", "V"}},
      {{"--cue=--help", "-o-x"}, {"--help", "-x"}},
      {{"-i==a", "--cdi=b=c"}, {"=a", "b=c"}},
      {{"--cue", " a b.cue ", "--cdi", "Disc \u00fc \u30c7.cdi"}, {" a b.cue ", "Disc ü デ.cdi"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    const ParsedCommandLine parsed = parse_command_line(command(c.words));
    EXPECT_EQ(parsed.action, Action::Run);
    EXPECT_EQ(parsed.cli, c.expected);
    EXPECT_EQ(parsed.text, "");
  }
}

TEST(ParseCommandLine, Rejections) {
  const struct {
    std::vector<std::string> words;
    std::string expected;
  } cases[] = {
      {{},
       "error: the following required arguments were not provided:\n  --cue <cuesheet>\n"
       "  --cdi <cdi>\n\nUsage: cuesmelt --cue <cuesheet> --cdi <cdi>\n\n"
       "For more information, try '--help'."},
      {{"--cdi", "out.cdi"},
       framed("the following required arguments were not provided:\n  --cue <cuesheet>")},
      {{"-ia.cue"}, framed("the following required arguments were not provided:\n  --cdi <cdi>")},
      {{"--cue", "a.cue", "--cue", "b.cue", "--cdi", "x.cdi"},
       framed("the argument '--cue <cuesheet>' cannot be used multiple times")},
      {{"-oa", "--cdi"}, framed("the argument '--cdi <cdi>' cannot be used multiple times")},
      {{"--cue"},
       "error: a value is required for '--cue <cuesheet>' but none was supplied\n\n"
       "For more information, try '--help'."},
      {{"--cdi", "x", "-i"}, no_value("--cue <cuesheet>")},
      {{"-o", "--cue", "a"}, no_value("--cdi <cdi>")},
      {{"--cue", "--"}, no_value("--cue <cuesheet>")},
      {{"-i", "-x"}, no_value("--cue <cuesheet>")},
      {{"-i", "--bogus=\xff"}, no_value("--cue <cuesheet>")},
      {{"disc.cue"}, unexpected("disc.cue")},
      {{"-"}, unexpected("-")},
      {{""}, unexpected("")},
      {{"--cue", "a", "b"}, unexpected("b")},
      {{"--bogus=1"}, unexpected("--bogus")},
      {{"--=x"}, unexpected("--")},
      {{"-x"}, unexpected("-x")},
      {{"-\u00e4h"}, unexpected("-\u00e4")},
      {{"-x\xff"}, unexpected("-x")},
      {{"--CUE=a.cue"},
       "error: unexpected argument '--CUE' found\n\n  tip: a similar argument exists: '--cue'\n\n"
       "Usage: cuesmelt --cue <cuesheet> --cdi <cdi>\n\nFor more information, try '--help'."},
      {{"--cu"}, with_tip("--cu", "--cue")},
      {{"--ci"}, with_tip("--ci", "--cdi")},
      {{"--c"}, with_tip("--c", "--cue")},
      {{"--hlep"}, with_tip("--hlep", "--help")},
      {{"--Version=2"}, with_tip("--Version", "--version")},
      {{"--help=x"}, framed("unexpected value 'x' for '--help' found; no more were expected")},
      {{"--version="}, framed("unexpected value '' for '--version' found; no more were expected")},
      {{"-h=x"}, framed("unexpected value 'x' for '--help' found; no more were expected")},
      {{"--cue", "a", "--cdi", "b", "--", "c"}, unexpected("c")},
      {{"--", "--cue=a"}, unexpected("--cue=a")},
      {{"--cue", "a\xff.cue", "--cdi", "x"}, kInvalidUtf8},
      {{"--cue=\xff"}, kInvalidUtf8},
      {{"-i\xc3"}, kInvalidUtf8},
      {{"\xff"}, kInvalidUtf8},
      {{"--bo\xffgus=x"}, kInvalidUtf8},
      {{"-\xff"}, kInvalidUtf8},
      {{"--help=\xff"}, kInvalidUtf8},
      {{"--", "\xff"}, kInvalidUtf8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    EXPECT_EQ(rejection(command(c.words)), c.expected);
  }
}

TEST(ParseCommandLine, HelpAndVersionTakeEffectWhenReached) {
  const struct {
    std::vector<std::string> words;
    std::optional<Action> action;  // none: rejected with `expected`
    std::string expected;
  } cases[] = {
      {{"--help"}, Action::ShowHelp, ""},
      {{"-V"}, Action::ShowVersion, ""},
      {{"--help", "--version"}, Action::ShowHelp, ""},
      {{"-Vh"}, Action::ShowVersion, ""},
      {{"-hx\xff"}, Action::ShowHelp, ""},
      {{"--cue", "a.cue", "--help", "bogus", "--cue"}, Action::ShowHelp, ""},
      {{"-ia", "-V", "--cue=b"}, Action::ShowVersion, ""},
      {{"--cue", "-", "-h"}, Action::ShowHelp, ""},
      {{"bogus", "--help"}, std::nullopt, unexpected("bogus")},
      {{"-xh"}, std::nullopt, unexpected("-x")},
      {{"--cue=a", "-i", "b", "-V"},
       std::nullopt,
       framed("the argument '--cue <cuesheet>' cannot be used multiple times")},
      {{"--cdi=\xff", "--help"}, std::nullopt, kInvalidUtf8},
      {{"--cue", "--help"}, std::nullopt, no_value("--cue <cuesheet>")},
      {{"-i", "-V"}, std::nullopt, no_value("--cue <cuesheet>")},
      {{"-o", "-hV"}, std::nullopt, no_value("--cdi <cdi>")},
      {{"--", "--help"}, std::nullopt, unexpected("--help")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    if (!c.action) {
      EXPECT_EQ(rejection(command(c.words)), c.expected);
      continue;
    }
    const ParsedCommandLine parsed = parse_command_line(command(c.words));
    EXPECT_EQ(parsed.action, *c.action);
    EXPECT_EQ(parsed.text.substr(0, 8), *c.action == Action::ShowHelp ? "Convert " : "cuesmelt");
  }
}

TEST(ParseCommandLine, HelpAndVersionTexts) {
  EXPECT_EQ(parse_command_line(command({"-h"})).text,
            "Convert Dreamcast multisession CD images in Redump CUE format to DiscJuggler CDI "
            "format\n"
            "\n"
            "Usage: cuesmelt --cue <cuesheet> --cdi <cdi>\n"
            "\n"
            "Options:\n"
            "  -i, --cue <cuesheet>  Path to input CUE file\n"
            "  -o, --cdi <cdi>       Path to output CDI file\n"
            "  -h, --help            Print help\n"
            "  -V, --version         Print version\n");
  EXPECT_EQ(parse_command_line({"/opt/smelt", "--version"}).text, "cuesmelt 0.9.0\n");
}

TEST(ParseCommandLine, UsageLineShowsTheInvocationFileName) {
  const struct {
    std::optional<std::string> arg0;  // none: an empty argument list
    std::string shown;
  } cases[] = {
      {std::nullopt, "cuesmelt"},
      {"/usr/local/bin/cuesmelt", "cuesmelt"},
      {"./build/smelt", "smelt"},
      {"bin/sm\u00e9lt/", "sm\u00e9lt"},
      {"bin/smelt/.", "smelt"},
      {"/opt/\xff/smelt", "smelt"},
      {"/opt/smelt\xff", "cuesmelt"},
      {"", "cuesmelt"},
      {"/", "cuesmelt"},
      {".", "cuesmelt"},
      {"bin/..", "cuesmelt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg0.value_or("<none>"));
    const std::string usage = "\nUsage: " + c.shown + " --cue <cuesheet> --cdi <cdi>\n";
    std::vector<std::string> args;
    if (c.arg0) args.push_back(*c.arg0);
    EXPECT_NE(rejection(args).find(usage), std::string::npos);
    if (!c.arg0) continue;
    args.push_back("-h");
    EXPECT_NE(parse_command_line(args).text.find(usage), std::string::npos);
  }
}

}  // namespace
}  // namespace cli

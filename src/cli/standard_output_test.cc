#include "cli/standard_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cli {
namespace {

TEST(StandardOutput, TerminalsGetTextAtOnceFilesALineAtATime) {
  const struct {
    bool on_terminal, failed;
    std::vector<std::string> printed, delivered;  // delivered: one entry per write
  } cases[] = {
      {true, true, {"b\n", "parsing... "}, {"b\n", "parsing... ", "\n"}},
      {true, true, {"b\n", "parsing... ", "ok.\n"}, {"b\n", "parsing... ", "ok.\n"}},
      {false, true, {"b\n", "parsing... "}, {"b\n", "parsing... "}},
      {false, false, {"b\n", "parsing... ", "ok.\nw\n"}, {"b\n", "parsing... ok.\nw\n"}},
      {false, false, {"a\nb", "c"}, {"a\n", "bc"}},  // the rest when the run ends
  };
  for (const auto& c : cases) {
    std::vector<std::string> delivered;
    {
      StandardOutput out(c.on_terminal,
                         [&](std::string_view text) { delivered.emplace_back(text); });
      for (const std::string& text : c.printed) out.print(text);
      if (c.failed) out.end_open_line();
    }
    EXPECT_EQ(delivered, c.delivered) << c.on_terminal << " " << c.printed.back();
  }
}

}  // namespace
}  // namespace cli

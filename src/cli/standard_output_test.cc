#include "cli/standard_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cli {
namespace {

TEST(StandardOutput, TerminalsGetTextAtOnceFilesALineAtATime) {
  const std::string banner = "banner\n";
  const struct {
    bool on_terminal;
    std::vector<std::string> printed;
    bool failed;
    std::vector<std::string> delivered;  // one entry per write, the last one at the end
  } cases[] = {
      {true, {banner, "parsing... "}, true, {banner, "parsing... ", "\n"}},
      {true, {banner, "parsing... ", "ok.\n"}, false, {banner, "parsing... ", "ok.\n"}},
      {true, {banner, "parsing... ", "ok.\n"}, true, {banner, "parsing... ", "ok.\n"}},
      {true, {banner}, true, {banner}},
      {false, {banner, "parsing... "}, true, {banner, "parsing... "}},
      {false,
       {banner, "parsing... ", "ok.\nwriting... \n"},
       false,
       {banner, "parsing... ok.\nwriting... \n"}},
      {false, {"a\nb", "c"}, false, {"a\n", "bc"}},
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

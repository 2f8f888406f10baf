#include "cli/console_window.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

TEST(ConsoleWindow, AWindowOfItsOwnIsHeldOpenAndTakesDroppedPaths) {
  const base::ConsoleFacts explorer{1, true, true};
  const std::vector<std::string> dropped = {"cuesmelt.exe", R"(D:\Disc One\Game One (USA).cue)",
                                            R"(D:\Dreamcast)"};
  const struct {
    base::ConsoleFacts console;
    std::vector<std::string> args;
    bool held_open;
    bool takes_dropped_paths;
  } cases[] = {
      {explorer, dropped, true, true},                           // dropped on the icon, "Send to"
      {explorer, {"cuesmelt.exe"}, true, false},                 // a double-click: the usage
      {explorer, {"cuesmelt.exe", "a.cue", "-V"}, true, false},  // options: a command line
      {explorer, {"cuesmelt.exe", "--cue", "a.cue"}, true, false},
      {explorer, {"cuesmelt.exe", ""}, true, false},
      {{2, true, true}, dropped, false, false},    // cmd, PowerShell or a script shares the console
      {{1, true, false}, dropped, false, false},   // output into a file or a pipe
      {{1, false, true}, dropped, false, false},   // input from a file: nobody to press Enter
      {{0, false, false}, dropped, false, false},  // no console (Linux)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(has_window_of_its_own(c.console), c.held_open)
        << c.console.processes << " " << c.console.input_is_console << c.console.output_is_console;
    EXPECT_EQ(takes_dropped_paths(c.console, c.args), c.takes_dropped_paths);
  }
}

}  // namespace
}  // namespace cli

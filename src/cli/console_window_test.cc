#include "cli/console_window.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

TEST(ConsoleWindow, OnlyAWindowOfItsOwnIsHeldOpen) {
  const struct {
    base::ConsoleFacts console;
    bool held_open;
  } cases[] = {
      {{1, true, true}, true},     // Explorer: a double-click, a sheet dropped on the icon
      {{2, true, true}, false},    // cmd, PowerShell or a script shares the console
      {{1, true, false}, false},   // output into a file or a pipe
      {{1, false, true}, false},   // input from a file: nobody to press Enter
      {{0, false, false}, false},  // no console (Linux)
  };
  for (const auto& c : cases) {
    EXPECT_EQ(has_window_of_its_own(c.console), c.held_open)
        << c.console.processes << " " << c.console.input_is_console << c.console.output_is_console;
  }
}

}  // namespace
}  // namespace cli

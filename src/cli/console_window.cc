#include "cli/console_window.h"

#include <cstdio>

namespace cli {

bool has_window_of_its_own(const base::ConsoleFacts& console) {
  return console.processes == 1 && console.input_is_console && console.output_is_console;
}

void hold_own_window_open() {
  if (!has_window_of_its_own(base::console_facts())) return;
  base::write_standard(base::StandardStream::Output, "Press Enter to close this window.\n");
  for (int c = std::getchar(); c != EOF && c != '\n';) c = std::getchar();
}

}  // namespace cli

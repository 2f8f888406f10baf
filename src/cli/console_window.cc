#include "cli/console_window.h"

#include <algorithm>
#include <cstdio>

namespace cli {

bool has_window_of_its_own(const base::ConsoleFacts& console) {
  return console.processes == 1 && console.input_is_console && console.output_is_console;
}

bool takes_dropped_paths(const base::ConsoleFacts& console, const std::vector<std::string>& args) {
  // Explorer hands over full paths, which never begin with "-".
  const auto is_path = [](const std::string& word) { return !word.empty() && word[0] != '-'; };
  return has_window_of_its_own(console) && args.size() > 1 &&
         std::all_of(args.begin() + 1, args.end(), is_path);
}

void hold_own_window_open() {
  if (!has_window_of_its_own(base::console_facts())) return;
  base::write_standard(base::StandardStream::Output, "Press Enter to close this window.\n");
  for (int c = std::getchar(); c != EOF && c != '\n';) c = std::getchar();
}

}  // namespace cli

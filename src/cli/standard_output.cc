#include "cli/standard_output.h"

namespace cli {

StandardOutput::~StandardOutput() {
  if (!pending_.empty()) sink_(pending_);
}

void StandardOutput::print(std::string_view text) {
  if (text.empty()) return;
  if (on_terminal_) {
    sink_(text);
    line_open_ = !text.ends_with('\n');
    return;
  }
  pending_ += text;
  const std::size_t line_end = pending_.rfind('\n');
  if (line_end == std::string::npos) return;
  sink_(std::string_view(pending_).substr(0, line_end + 1));
  pending_.erase(0, line_end + 1);
}

void StandardOutput::end_open_line() {
  if (!line_open_) return;
  sink_("\n");
  line_open_ = false;
}

}  // namespace cli

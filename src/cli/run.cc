#include "cli/run.h"

#include "base/system.h"
#include "cli/command_line.h"
#include "cli/conversion.h"
#include "cli/text_style.h"

namespace cli {

int run(const std::vector<std::string>& args) {
  return run_reporting([&args](StandardOutput& out) {
    const ParsedCommandLine parsed = parse_command_line(
        args, style_for(base::StandardStream::Output), style_for(base::StandardStream::Error));
    if (parsed.action != Action::Run) {
      out.print(parsed.text);
      return 0;
    }
    return convert({parsed.cli.incue, {}}, parsed.cli.outcdi, out);
  });
}

}  // namespace cli

#include "cli/start.h"

#include <new>
#include <string>
#include <vector>

#include "base/system.h"
#include "cli/console_window.h"
#include "cli/conversion.h"
#include "cli/dropped_paths.h"
#include "cli/run.h"

namespace cli {

int start(int argc, char** argv) {
  base::open_missing_standard_streams();
  try {
    const std::vector<std::string> args = base::process_arguments(argc, argv);
    if (takes_dropped_paths(base::console_facts(), args)) return convert_dropped_paths(args);
    return run(args);
  } catch (const std::bad_alloc&) {
    return report_out_of_memory();
  }
}

}  // namespace cli

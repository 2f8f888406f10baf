// One run of cuesmelt's command line, from the banner to the exit status.
#pragma once

#include <string>
#include <vector>

namespace cli {

/// Converts the sheet named on the command line `args` (args[0] being the
/// invocation name) and returns the exit status: 0 done (or help or version
/// shown), 1 a failed conversion, 2 a refused command line. Progress goes to
/// standard output, the one failure message to standard error.
int run(const std::vector<std::string>& args);

}  // namespace cli

// One whole run of cuesmelt, from the banner to the exit status.
#pragma once

#include <string>
#include <vector>

namespace cli {

/// Converts the sheet named on the command line `args` (args[0] being the
/// invocation name) and returns the exit status: 0 done (or help or version
/// shown), 1 a failed conversion, 2 a refused command line. Progress goes to
/// standard output, the one failure message to standard error.
int run(const std::vector<std::string>& args);

/// The same for the process's own arguments, as `main` receives them; but
/// files and folders dropped on cuesmelt.exe in Explorer are converted each
/// in turn (cli/dropped_paths.h).
int run(int argc, char** argv);

}  // namespace cli

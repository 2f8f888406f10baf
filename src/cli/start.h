// The program's start: what its arguments ask for.
#pragma once

namespace cli {

/// Runs the program on the process's own arguments, as `main` receives
/// them, and returns the exit status: files and folders dropped on
/// cuesmelt.exe in Explorer are converted each in turn
/// (cli/dropped_paths.h); anything else is a command line (cli/run.h).
int start(int argc, char** argv);

}  // namespace cli

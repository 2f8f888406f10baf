// Started from Explorer, a double-click or a sheet dropped on its icon,
// cuesmelt.exe runs in a console window of its own, which Windows closes the
// moment the program ends: its usage text or a failure's message would be
// gone before anyone could read it. There the program waits for Enter, and
// takes the paths that Explorer hands it for files and folders to convert.
#pragma once

#include <string>
#include <vector>

#include "base/system.h"

namespace cli {

/// Whether the console is a window opened for this program alone: the only
/// process on it, reading from it and writing to it. In a command prompt,
/// PowerShell or a script another process shares the console, and
/// redirected input or output means that nobody is looking at the window.
bool has_window_of_its_own(const base::ConsoleFacts& console);

/// Whether the arguments `args` (args[0] being the invocation name) are
/// files and folders dropped on the program's icon or sent to it with
/// "Send to": in a window of its own, at least one argument, and none an
/// option (or empty). Anywhere else they are a command line, and a path
/// without --cue in front of it is refused there as always.
bool takes_dropped_paths(const base::ConsoleFacts& console, const std::vector<std::string>& args);

/// In a window of its own, asks for Enter and waits for it (or for the end
/// of the input); anywhere else it does nothing.
void hold_own_window_open();

}  // namespace cli

// Started from Explorer, a double-click or a sheet dropped on its icon,
// cuesmelt.exe runs in a console window of its own, which Windows closes the
// moment the program ends: its usage text or a failure's message would be
// gone before anyone could read it. There the program waits for Enter.
#pragma once

#include "base/system.h"

namespace cli {

/// Whether the console is a window opened for this program alone: the only
/// process on it, reading from it and writing to it. In a command prompt,
/// PowerShell or a script another process shares the console, and
/// redirected input or output means that nobody is looking at the window.
bool has_window_of_its_own(const base::ConsoleFacts& console);

/// In a window of its own, asks for Enter and waits for it (or for the end
/// of the input); anywhere else it does nothing.
void hold_own_window_open();

}  // namespace cli

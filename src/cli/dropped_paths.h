// Files and folders dropped on cuesmelt.exe in Explorer, or sent to it with
// "Send to": Explorer starts the program with their full paths alone, in a
// window of its own (cli/console_window.h decides that the arguments are
// such paths). Each sheet converts to an image beside it, named after it as
// the README's loops name it, each sheet of a zip archive to one beside the
// archive, and a run that fails does not stop the rest.
#pragma once

#include <string>
#include <vector>

namespace cli {

/// Converts each path of `args` (args[0] being the invocation name) in turn:
/// a sheet (*.cue, in any case) to <sheet name>.cdi beside it, replacing a
/// file of that name; a zip archive (told by its content) to
/// <sheet name>.cdi beside it for each sheet it holds; a folder's sheets and
/// zip archives (*.zip), those directly inside it, in name order. Before
/// each sheet it prints "== <file name>" (for a sheet of an archive,
/// "== <archive name>/<sheet name>"), then what `--cue <sheet> --cdi
/// <image>` prints; anything else gets a message of its own. Ends with the
/// line "N converted, M not converted" and returns 0 when every sheet
/// converted, 1 otherwise.
int convert_dropped_paths(const std::vector<std::string>& args);

}  // namespace cli

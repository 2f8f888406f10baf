// The CUE sheet reader: a Redump-layout Dreamcast CD sheet into the disc model.
//
// Only a small subset of the CUE syntax is accepted: the commands REM
// (SESSION, and the density remarks that mark a GD-ROM sheet), FILE with
// BINARY files, TRACK with the types AUDIO, MODE1/2352 and MODE2/2352, INDEX,
// ISRC and CATALOG. Every other line is refused: a sheet we do not fully
// understand must not turn into an image that looks right but is not.
#pragma once

#include <string>

#include "disc/cdrom.h"

namespace cue_parse {

/// Reads the sheet at `cue_path` (relative to the working directory, or
/// absolute). Every track file a FILE line names must exist; FILE names are
/// resolved against the sheet's directory. Throws base::Failure on the first
/// refused line; nothing after it is read.
disc::Cdrom parse_cue(std::string cue_path);

}  // namespace cue_parse

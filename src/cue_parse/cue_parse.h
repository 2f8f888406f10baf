// The CUE sheet reader: a Redump-layout Dreamcast CD sheet into the disc model.
//
// Only a small subset of the CUE syntax is accepted: the commands REM
// (SESSION, and the density remarks that mark a GD-ROM sheet), FILE with
// BINARY files, TRACK with the types AUDIO, MODE1/2352 and MODE2/2352, INDEX,
// ISRC and CATALOG. Every other line is refused: a sheet we do not fully
// understand must not turn into an image that looks right but is not.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "disc/cdrom.h"
#include "zip/archive.h"

namespace cue_parse {

/// Reads the sheet at `cue_path` (relative to the working directory, or
/// absolute), or the one sheet of the zip archive there. Every track file a
/// FILE line names must exist; FILE names are resolved against the sheet's
/// folder, on disk or in the archive. Throws base::Failure on the first
/// refused line, nothing after it read, and for an archive that holds no
/// sheet, or several.
disc::Cdrom parse_cue(std::string cue_path);

/// Reads the sheet named `sheet` in `archive`, as parse_cue reads one.
disc::Cdrom parse_cue_in_archive(const zip::Archive& archive, std::string_view sheet);

/// Whether `name` names a sheet: it ends in ".cue", in any case.
bool is_sheet_name(std::string_view name);

/// The names of the sheets in `archive`, in its order; those that macOS
/// adds in its folder "__MACOSX", beside each file, are none.
std::vector<std::string> sheets_in(const zip::Archive& archive);

}  // namespace cue_parse

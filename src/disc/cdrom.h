// The disc model: one multi-session CD as the CUE sheet describes it.
//
// Plain records forming a tree (disc -> sessions -> tracks -> index entries),
// each owning its strings and lists, with no behaviour and no I/O. The sheet
// reader builds one; the image writer only reads it. The number of a TRACK
// line and of a session line are not kept: a track's place in its session
// and a session's place on the disc are what the image records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "disc/track_mode.h"
#include "zip/archive.h"

namespace disc {

/// One INDEX point: its number as written, and its time in sectors from the
/// start of the track's file.
struct Index {
  std::uint64_t number = 0;
  std::uint64_t position = 0;
};

/// A BIN file ("BINARY") on disk.
struct BinaryFile {
  /// Its path as bytes: the sheet's folder joined with the FILE name; empty
  /// when no FILE line came before the track.
  std::string path;
};

/// A BIN file inside the zip archive that holds the sheet.
struct ArchiveEntry {
  std::string archive_path;
  /// Its name in the archive: the sheet's folder there joined with the FILE name.
  zip::Entry entry;
};

/// Where a track's raw sectors come from.
using TrackSource = std::variant<BinaryFile, ArchiveEntry>;

/// One track.
struct Track {
  TrackSource source;
  /// In sheet order; neither sorted nor unique.
  std::vector<Index> indexes;
  /// Exactly 12 ASCII characters when present.
  std::optional<std::string> isrc;
  TrackMode mode = TrackMode::Audio;
};

struct Session {
  std::vector<Track> tracks;
};

struct Cdrom {
  /// In sheet order; a session's place here is the session number the image records.
  std::vector<Session> sessions;
  /// Written into every disc information block.
  std::string image_name = "cuesmelt";
  /// Written once, in the descriptor's closing block.
  std::string volume_name = "cuesmelt";
  /// Exactly 13 ASCII characters when present.
  std::optional<std::string> catalog;
};

}  // namespace disc

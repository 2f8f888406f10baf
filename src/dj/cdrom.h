// The disc model: one multi-session CD as the CUE sheet describes it.
//
// Plain records forming a tree (disc -> sessions -> tracks -> index entries),
// each owning its strings and lists. The CUE reader builds one, the CDI
// writer only reads it. The track number of a TRACK line and the number of a
// session line are not kept: a track's place in its session and a session's
// place on the disc are what the image records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dj {

class OutputWriter;

/// Sector modes, as the CUE track types name them.
inline constexpr std::uint8_t kModeAudio = 0;  // "AUDIO"
inline constexpr std::uint8_t kMode1 = 1;      // "MODE1/2352"
inline constexpr std::uint8_t kMode2 = 2;      // "MODE2/2352"

/// Every BIN file holds raw sectors of this size, whatever the track's mode.
inline constexpr std::uint32_t kRawSectorSize = 2352;

/// The only kind of track source: a BIN file named by path ("BINARY").
enum class FileKind { Binary };

/// One INDEX point: its number as written, and its time in sectors from the
/// start of the track's file.
struct Index {
  std::uint64_t number = 0;
  std::uint64_t position = 0;

  friend bool operator==(const Index&, const Index&) = default;
};

struct Track {
  FileKind file_kind = FileKind::Binary;
  /// The BIN file's path as bytes: the sheet's directory joined with the
  /// FILE name; empty when no FILE line came before the track.
  std::string file_path;
  /// In sheet order; neither sorted nor unique.
  std::vector<Index> indexes;
  /// Exactly 12 ASCII characters when present.
  std::optional<std::string> isrc;
  std::uint8_t mode = kModeAudio;

  /// The number of raw sectors in the track's file, from its size looked up
  /// by path (following symbolic links). Throws Failure when the size cannot
  /// be looked up, is no multiple of 2352, or is 4 GiB or more.
  std::uint32_t sector_count() const;

  friend bool operator==(const Track&, const Track&) = default;
};

struct Session {
  std::vector<Track> tracks;

  friend bool operator==(const Session&, const Session&) = default;
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

  /// Writes the whole CDI image through `writer`: the track data area, then
  /// the descriptor; closes the writer last. Throws Failure on any failure,
  /// leaving whatever had reached the file in place.
  void write_out(OutputWriter writer) const;

  /// The disc information block that precedes every track entry and the
  /// closing block of the descriptor. Throws Failure for more than 99 tracks.
  std::string discinfoblock() const;

  friend bool operator==(const Cdrom&, const Cdrom&) = default;
};

/// Bytes of each raw sector that the image keeps for a track of `mode`.
std::uint32_t stored_sector_size(std::uint8_t mode);

}  // namespace dj

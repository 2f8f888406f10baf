// The layout of a CDI image: every size and position, worked out once from
// the disc model and the track files' sizes before anything is written.
//
// The layout holds numbers only, one record per session and per track of
// the model, in the model's order; the model says the rest (paths, modes,
// ISRCs). The data area and the descriptor both read their geometry from
// here and work none of it out again. Laying out is also where every
// refusal that needs no track data happens, so that a disc that cannot
// become an image never touches the output path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "disc/cdrom.h"

namespace cdi {

/// The disc's limits: the descriptor head holds the session count in one
/// byte, and a CD has at most 99 tracks.
inline constexpr std::size_t kMaxSessions = 255;
inline constexpr std::size_t kMaxTracks = 99;

struct TrackLayout {
  /// Raw sectors in the track's file; the data area holds every one of them.
  std::uint32_t file_sectors = 0;
  /// The file's first sectors, those in front of its INDEX 01, that count as
  /// the end of the track before it in the session; 0 for a session's first
  /// track, which keeps them.
  std::uint32_t sectors_before_index01 = 0;
  /// The mode whose stored sector size those sectors take in the data area:
  /// the previous track's, since a reader finds them within that track.
  disc::TrackMode mode_before_index01 = disc::TrackMode::Audio;
  /// Zero sectors written in front of the track: the session pregap for the
  /// first track of a session, none for the others.
  std::uint32_t pregap = 0;
  /// The track's length in sectors on the disc, pregap not included.
  std::uint32_t length = 0;
  /// The disc position where the track (its pregap first) begins.
  std::uint32_t start = 0;

  std::uint32_t total() const { return pregap + length; }
};

struct SessionLayout {
  /// The disc position where the session's first track begins.
  std::uint32_t start = 0;
  std::vector<TrackLayout> tracks;
};

struct ImageLayout {
  /// One per session of the disc, in order, empty sessions included.
  std::vector<SessionLayout> sessions;
  /// The disc's length in sectors, the gaps between sessions included.
  std::uint32_t disc_length = 0;
};

/// Opens every track file once, in disc order, to learn its sector count,
/// and lays out the image. Refuses, in this order: a track file that cannot
/// be opened or measured, or whose INDEX 01 lies beyond its end (track by
/// track); more than kMaxSessions sessions; more than kMaxTracks tracks.
ImageLayout lay_out(const disc::Cdrom& cdrom);

}  // namespace cdi

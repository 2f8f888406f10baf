// Working out the image's geometry.
//
// A session begins after a gap that exists only as numbers (the lead-out of
// the previous session and the lead-in of this one on a real disc), then
// 150 zero sectors of session pregap, recorded as its first track's pregap.
// Redump dumps keep a track's own pregap at the front of its BIN file, in
// front of INDEX 01; the image gives only a session's first track a pregap,
// so for every later track those sectors count as the end of the track
// before it. Over a session the tracks' totals therefore add up to the
// pregap plus every sector of every file: the data area and the descriptor
// agree sector for sector.
#include "cdi/layout.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "base/failure.h"
#include "cdi/descriptor.h"
#include "cdi/track_file.h"

namespace cdi {
namespace {

constexpr std::uint32_t kSessionPregapSectors = 150;
// The descriptor head holds the session count in one byte.
constexpr std::size_t kMaxSessions = 255;

/// Sectors between the end of session `index` - 1 and the start of session
/// `index`: the first lead-out is 6750 sectors, later ones 2250, and every
/// lead-in 4500.
std::uint64_t session_gap(std::size_t index) {
  if (index == 0) return 0;
  return index == 1 ? 11250 : 6750;
}

/// Lengths and positions are 32-bit in the image; they are worked out in
/// wide arithmetic so that nothing wraps silently.
std::uint32_t fit_u32(std::uint64_t value) {
  if (value > std::numeric_limits<std::uint32_t>::max()) {
    throw base::Failure("Error: disc too long for the CDI format. Quitting...");
  }
  return static_cast<std::uint32_t>(value);
}

/// The sum of a track's INDEX 01 positions; only their low 32 bits fit the
/// image's fields.
std::uint64_t index01_sectors(const disc::Track& track) {
  std::uint64_t sum = 0;
  for (const disc::Index& index : track.indexes) {
    if (index.number == 1) sum += static_cast<std::uint32_t>(index.position);
  }
  return sum;
}

/// What the track files say, track after track: each file's sectors and
/// those in front of INDEX 01 that move to the track before.
std::vector<SessionLayout> measure_track_files(const disc::Cdrom& cdrom) {
  std::vector<SessionLayout> sessions(cdrom.sessions.size());
  for (std::size_t i = 0; i < cdrom.sessions.size(); ++i) {
    const std::vector<disc::Track>& tracks = cdrom.sessions[i].tracks;
    for (std::size_t j = 0; j < tracks.size(); ++j) {
      TrackLayout& track = sessions[i].tracks.emplace_back();
      track.track = &tracks[j];
      track.file_sectors = TrackFile(tracks[j].file_path).count_sectors();
      if (j == 0) continue;
      const std::uint64_t before = index01_sectors(tracks[j]);
      if (before > track.file_sectors) {
        throw base::Failure(
            "Error in TRACK: INDEX 01 lies beyond the end of its file. Quitting...");
      }
      track.sectors_before_index01 = static_cast<std::uint32_t>(before);
      track.mode_before_index01 = tracks[j - 1].mode;
    }
  }
  return sessions;
}

/// Places the session's tracks from `position` on; returns the position after them.
std::uint64_t place_tracks(std::vector<TrackLayout>& tracks, std::uint64_t position) {
  for (std::size_t j = 0; j < tracks.size(); ++j) {
    TrackLayout& track = tracks[j];
    track.pregap = j == 0 ? kSessionPregapSectors : 0;
    std::uint64_t length = track.file_sectors - std::uint64_t{track.sectors_before_index01};
    if (j + 1 < tracks.size()) length += tracks[j + 1].sectors_before_index01;
    track.length = fit_u32(length);
    track.start = fit_u32(position);
    position += std::uint64_t{track.pregap} + track.length;
  }
  return position;
}

}  // namespace

ImageLayout lay_out(const disc::Cdrom& cdrom) {
  ImageLayout layout;
  layout.sessions = measure_track_files(cdrom);
  if (cdrom.sessions.size() > kMaxSessions) {
    throw base::Failure("Error: Session count cannot be larger than 255.");
  }
  layout.disc_info_block = discinfoblock(cdrom);  // refuses more than 99 tracks
  std::uint64_t position = 0;
  for (std::size_t i = 0; i < layout.sessions.size(); ++i) {
    position += session_gap(i);
    layout.sessions[i].start = fit_u32(position);
    position = place_tracks(layout.sessions[i].tracks, position);
  }
  layout.disc_length = fit_u32(position);
  return layout;
}

}  // namespace cdi

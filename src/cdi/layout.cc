// Working out the image's geometry.
//
// A session begins after a gap that exists only as numbers, then 150 zero
// sectors of session pregap, recorded as its first track's pregap. Redump
// dumps keep a track's own pregap at the front of its BIN file, in front of
// INDEX 01; the image gives only a session's first track a pregap, so for
// every later track those sectors count as the end of the track before it.
// Over a session the tracks' totals therefore add up to the pregap plus
// every sector of every file: the data area and the descriptor agree sector
// for sector.
#include "cdi/layout.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "base/failure.h"
#include "cdi/track_file.h"

namespace cdi {
namespace {

constexpr std::uint32_t kSessionPregapSectors = 150;

// On a real disc the room between two sessions holds the lead-out of the
// one before and the lead-in of the next; no bytes of the image stand for it.
constexpr std::uint32_t kFirstLeadOutSectors = 6750;  // after the first session
constexpr std::uint32_t kLaterLeadOutSectors = 2250;  // after every later one
constexpr std::uint32_t kLeadInSectors = 4500;

/// Sectors between the end of session `index` - 1 and the start of session `index`.
std::uint32_t session_gap(std::size_t index) {
  if (index == 0) return 0;
  return (index == 1 ? kFirstLeadOutSectors : kLaterLeadOutSectors) + kLeadInSectors;
}

// Positions and lengths are 32-bit in the image, and no disc that passes
// the limits can overflow them: a track file holds fewer than 2^32 bytes,
// a track's length is at most its own file's sectors and those its next
// track lends it, and the disc is at most its sessions' gaps and pregaps
// and its tracks' files.
constexpr std::uint64_t kLongestDisc =
    kMaxSessions * std::uint64_t{kFirstLeadOutSectors + kLeadInSectors + kSessionPregapSectors} +
    kMaxTracks * std::uint64_t{kMaxTrackFileSectors};
static_assert(kLongestDisc <= std::numeric_limits<std::uint32_t>::max(),
              "every position and length of a disc within the limits fits 32 bits");

/// The sum of a track's INDEX 01 positions; only their low 32 bits count.
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
      track.file_sectors = TrackFile(tracks[j].source).count_sectors();
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

void refuse_beyond_limits(const disc::Cdrom& cdrom) {
  if (cdrom.sessions.size() > kMaxSessions) {
    throw base::Failure("Error: Session count cannot be larger than 255.");
  }
  std::size_t tracks = 0;
  for (const disc::Session& session : cdrom.sessions) tracks += session.tracks.size();
  if (tracks > kMaxTracks) throw base::Failure("Error: Track count cannot be larger than 99.");
}

/// Places the session's tracks from `position` on; returns the position after them.
std::uint32_t place_tracks(std::vector<TrackLayout>& tracks, std::uint32_t position) {
  for (std::size_t j = 0; j < tracks.size(); ++j) {
    TrackLayout& track = tracks[j];
    track.pregap = j == 0 ? kSessionPregapSectors : 0;
    track.length = track.file_sectors - track.sectors_before_index01;
    if (j + 1 < tracks.size()) track.length += tracks[j + 1].sectors_before_index01;
    track.start = position;
    position += track.total();
  }
  return position;
}

}  // namespace

ImageLayout lay_out(const disc::Cdrom& cdrom) {
  ImageLayout layout;
  layout.sessions = measure_track_files(cdrom);
  refuse_beyond_limits(cdrom);
  std::uint32_t position = 0;
  for (std::size_t i = 0; i < layout.sessions.size(); ++i) {
    position += session_gap(i);
    layout.sessions[i].start = position;
    position = place_tracks(layout.sessions[i].tracks, position);
  }
  layout.disc_length = position;
  return layout;
}

}  // namespace cdi

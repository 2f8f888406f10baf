// The image descriptor: what makes the data area a CDI image.
//
// A reader finds the descriptor through its size D, the last 4 bytes of the
// file, and learns from it how the data area divides into sessions and
// tracks. Layout:
//   head            session count (u8), 0
//   per session     track count (u8), 0
//                   per track: disc information block + 176-byte track entry
//                   trailer: session type, 0, session start, 0
//   closing block   0 (u16), disc information block, disc length, volume
//                   name, catalog, format version 0x80000006, D
// Positions and lengths count sectors; the session gaps (11250 sectors
// before the second session, 6750 before each later one) exist only here.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "dj/cdrom.h"
#include "dj/data_area.h"
#include "dj/failure.h"
#include "dj/le_bytes.h"
#include "dj/output_writer.h"
#include "dj/utf8.h"

namespace dj {
namespace {

constexpr std::uint32_t kSessionPregapSectors = 150;
constexpr std::uint32_t kFormatVersion = 0x80000006;  // the version 3.5 layout
constexpr std::uint32_t kMaxTracks = 99;
constexpr std::uint64_t kMaxSessions = 255;

std::uint64_t session_gap(std::size_t session_index) {
  if (session_index == 0) return 0;
  return session_index == 1 ? 11250 : 6750;
}

/// Lengths and positions are 32-bit in the image; they are worked out in
/// wide arithmetic so that nothing wraps silently.
std::uint32_t fit_u32(std::uint64_t value) {
  if (value > std::numeric_limits<std::uint32_t>::max()) {
    throw Failure("Error: disc too long for the CDI format. Quitting...");
  }
  return static_cast<std::uint32_t>(value);
}

struct ModeCodes {
  std::uint32_t mode;
  std::uint32_t sector_size;  // 0: 2048-byte, 1: 2336-byte, 2: 2352-byte stored sectors
  std::uint32_t control;      // the data-track bit of the CD control field
};

ModeCodes mode_codes(std::uint8_t mode) {
  switch (mode) {
    case kMode1:
      return {1, 0, 4};
    case kMode2:
      return {2, 1, 4};
    default:
      return {0, 2, 0};
  }
}

std::uint32_t session_type(const Session& session) {
  for (const Track& track : session.tracks) {
    if (track.mode == kMode2) return 2;
  }
  for (const Track& track : session.tracks) {
    if (track.mode == kMode1) return 1;
  }
  return 0;
}

/// Counts each track's sectors, track after track in disc order, and holds
/// them against the sectors the data area was given for the same track.
class SectorCounter {
 public:
  explicit SectorCounter(const std::vector<std::uint32_t>* written) : written_(written) {}

  std::uint32_t next(const Track& track) {
    const std::uint32_t count = track.sector_count();
    // A file that grew or shrank after it was copied would leave every
    // later track at the wrong offset in an image that looks complete.
    if (written_ && (next_ >= written_->size() || (*written_)[next_] != count)) {
      throw Failure("Error: track file " + quoted_path(track.file_path) +
                    " changed during the conversion. Quitting...");
    }
    ++next_;
    return count;
  }

 private:
  const std::vector<std::uint32_t>* written_;
  std::size_t next_ = 0;
};

/// The track's length in the image: its own sectors, less the ones in front
/// of its INDEX 01 (counted with the track before it, unless it opens its
/// session), plus the next track's ones in front of that track's INDEX 01.
std::uint32_t track_length(const Session& session, std::size_t j, SectorCounter& sectors) {
  std::uint64_t length = sectors.next(session.tracks[j]);
  if (j > 0) {
    const std::uint64_t lead_in = index01_sectors(session.tracks[j]);
    // Only a file that shrank since its data was copied can get here.
    if (lead_in > length) {
      throw Failure("Error in TRACK: INDEX 01 lies beyond the end of its file. Quitting...");
    }
    length -= lead_in;
  }
  if (j + 1 < session.tracks.size()) length += index01_sectors(session.tracks[j + 1]);
  return fit_u32(length);
}

void append_track_entry(LeBytes& out, const Track& track, std::uint32_t pregap,
                        std::uint32_t length, std::uint32_t session_index,
                        std::uint32_t track_index, std::uint32_t start) {
  const ModeCodes codes = mode_codes(track.mode);
  const std::uint32_t total = fit_u32(std::uint64_t{pregap} + length);
  out.u16(2);
  out.u32(pregap);
  out.u32(length);
  out.u32(0);
  out.u16(0);
  out.u32(codes.mode);
  out.u32(0);
  out.u32(session_index);
  out.u32(track_index);
  out.u32(start);
  out.u32(total);
  out.zeros(16);
  out.u32(codes.sector_size);
  out.u32(codes.control);
  out.u8(0);
  out.u32(total);
  out.u32(0);
  if (track.isrc) {
    out.bytes(*track.isrc);
    out.u32(1);
  } else {
    out.zeros(16);
  }
  out.u8(0);
  out.u64(std::numeric_limits<std::uint64_t>::max());
  out.u32(1);
  out.u32(128);
  out.u32(2);
  out.u32(16);
  out.u32(44100);
  out.zeros(42);
  out.u32(0xFFFFFFFF);
  out.zeros(12);
}

/// Appends the session's block and returns the position after it.
std::uint64_t append_session(std::string& descriptor, const Cdrom& disc, std::size_t i,
                             std::uint64_t position, SectorCounter& sectors) {
  const Session& session = disc.sessions[i];
  LeBytes out(descriptor);
  position += session_gap(i);
  const std::uint32_t session_start = fit_u32(position);
  out.u8(static_cast<std::uint8_t>(session.tracks.size()));
  out.u8(0);
  for (std::size_t j = 0; j < session.tracks.size(); ++j) {
    out.bytes(disc.discinfoblock());  // also enforces the disc's track limit
    const std::uint32_t length = track_length(session, j, sectors);
    const std::uint32_t pregap = j == 0 ? kSessionPregapSectors : 0;
    append_track_entry(out, session.tracks[j], pregap, length, static_cast<std::uint32_t>(i),
                       static_cast<std::uint32_t>(j), fit_u32(position));
    position += std::uint64_t{pregap} + length;
  }
  out.u32(session_type(session));
  out.u32(0);
  out.u32(session_start);
  out.u8(0);
  return position;
}

void append_closing_block(std::string& descriptor, const Cdrom& disc, std::uint64_t position) {
  LeBytes out(descriptor);
  out.u16(0);
  out.bytes(disc.discinfoblock());
  out.u32(fit_u32(position));
  out.u8(static_cast<std::uint8_t>(disc.volume_name.size()));
  out.bytes(disc.volume_name);
  out.u8(0);
  out.u32(1);
  out.u32(1);
  if (disc.catalog) {
    out.bytes(*disc.catalog);
    out.u32(1);
  } else {
    out.zeros(17);
  }
  out.u32(0);
  out.u32(0x80000000);
  out.zeros(140);
  out.u32(kFormatVersion);
  // D counts the whole descriptor, its own 4 bytes included.
  out.u32(static_cast<std::uint32_t>(descriptor.size() + 4));
}

}  // namespace

std::string Cdrom::discinfoblock() const {
  std::uint64_t track_count = 0;
  for (const Session& session : sessions) track_count += session.tracks.size();
  if (track_count > kMaxTracks) throw Failure("Error: Track count cannot be larger than 99.");

  static constexpr char kStartMark[] = {0, 0, 1, 0, 0, 0, '\xFF', '\xFF', '\xFF', '\xFF'};
  std::string block;
  LeBytes out(block);
  out.zeros(4);
  out.bytes(std::string_view(kStartMark, sizeof kStartMark));
  out.bytes(std::string_view(kStartMark, sizeof kStartMark));
  out.bytes("qzx");
  out.u8(static_cast<std::uint8_t>(track_count));
  out.u8(static_cast<std::uint8_t>(image_name.size()));
  out.bytes(image_name);
  out.u8(0);
  out.zeros(10);
  out.u32(2);
  out.u32(0);
  out.u32(0x80000000);
  out.u32(360000);
  out.u32(9961472);
  return block;
}

std::string build_descriptor(const Cdrom& disc, const std::vector<std::uint32_t>* written_sectors) {
  if (disc.sessions.size() > kMaxSessions) {
    throw Failure("Error: Session count cannot be larger than 255.");
  }
  std::string descriptor;
  LeBytes head(descriptor);
  head.u8(static_cast<std::uint8_t>(disc.sessions.size()));
  head.u8(0);
  std::uint64_t position = 0;
  SectorCounter sectors(written_sectors);
  for (std::size_t i = 0; i < disc.sessions.size(); ++i) {
    position = append_session(descriptor, disc, i, position, sectors);
  }
  append_closing_block(descriptor, disc, position);
  return descriptor;
}

void Cdrom::write_out(OutputWriter writer) const {
  const std::vector<std::uint32_t> written = write_data_area(*this, writer);
  writer.write(build_descriptor(*this, &written));
  writer.close();
}

}  // namespace dj

// The track data area: session after session, 150 zero sectors of session
// pregap in front of the session's first track, then every raw sector of
// every track's file cut to the part the image keeps. Nothing is written for
// the gaps between sessions; they exist only as numbers in the descriptor.
//
// Sectors are read in batches that fit the processor's second-level cache;
// each sector's kept part is moved to the front of the batch in place and
// the batch goes out in one write. Larger batches were measured to run up
// to three times slower after other large copies, as they fall out of the
// cache between the read and the write.
#include "cdi/data_area.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "cdi/track_file.h"
#include "disc/track_mode.h"

namespace cdi {
namespace {

constexpr std::size_t kBatchSectors = 256;  // 602112 bytes

// The kernel copies into and out of a page-aligned buffer about a third
// faster than into one a few bytes into a page, where plain new puts it.
struct alignas(4096) Page {
  char bytes[4096];
};
constexpr std::size_t kBatchPages =
    (kBatchSectors * disc::kRawSectorSize + sizeof(Page) - 1) / sizeof(Page);

/// Moves the kept part of each of the `count` raw sectors at `sectors` to
/// the front, one after the other; returns the kept bytes.
std::string_view keep_stored_parts(char* sectors, std::size_t count,
                                   const disc::TrackModeFacts& mode) {
  if (mode.stored_size == disc::kRawSectorSize) {
    return std::string_view(sectors, count * disc::kRawSectorSize);
  }
  for (std::size_t s = 0; s < count; ++s) {
    // The first sector's kept part overlaps its own place: memmove.
    std::memmove(sectors + s * mode.stored_size,
                 sectors + s * disc::kRawSectorSize + mode.first_stored_byte, mode.stored_size);
  }
  return std::string_view(sectors, count * mode.stored_size);
}

/// Copies the next `count` sectors of `file`, each stored the way a track
/// of `mode` keeps a sector.
void copy_sectors(TrackFile& file, std::uint32_t count, disc::TrackMode mode, char* batch,
                  OutputWriter& out) {
  while (count > 0) {
    const std::size_t sectors = count < kBatchSectors ? count : kBatchSectors;
    file.read_sectors(batch, sectors);
    out.write(keep_stored_parts(batch, sectors, disc::facts_of(mode)));
    count -= static_cast<std::uint32_t>(sectors);
  }
}

/// The track's pregap: zero sectors in the track's own stored size.
std::uint64_t pregap_bytes(const disc::Track& track, const TrackLayout& layout) {
  return std::uint64_t{layout.pregap} * disc::facts_of(track.mode).stored_size;
}

struct SectorRun {
  std::uint32_t sectors;
  disc::TrackMode stored_as;
};

/// The track file's sectors in file order: those in front of INDEX 01,
/// stored the way the track before stores a sector, then the track's own.
std::array<SectorRun, 2> file_runs(const disc::Track& track, const TrackLayout& layout) {
  return {{{layout.sectors_before_index01, layout.mode_before_index01},
           {layout.file_sectors - layout.sectors_before_index01, track.mode}}};
}

void write_track(const disc::Track& track, const TrackLayout& layout, char* batch,
                 OutputWriter& out) {
  out.write_zeros(pregap_bytes(track, layout));
  TrackFile file(track.source);
  file.expect_reading_through();
  for (const SectorRun& run : file_runs(track, layout)) {
    copy_sectors(file, run.sectors, run.stored_as, batch, out);
  }
  // A file that grew or shrank since it was counted would leave every later
  // track at the wrong offset in an image that looks complete.
  file.require_sector_count(layout.file_sectors);
}

}  // namespace

std::uint64_t data_area_size(const disc::Cdrom& cdrom, const ImageLayout& layout) {
  std::uint64_t size = 0;
  for (std::size_t i = 0; i < layout.sessions.size(); ++i) {
    const std::vector<disc::Track>& tracks = cdrom.sessions[i].tracks;
    for (std::size_t j = 0; j < tracks.size(); ++j) {
      const TrackLayout& track = layout.sessions[i].tracks[j];
      size += pregap_bytes(tracks[j], track);
      for (const SectorRun& run : file_runs(tracks[j], track)) {
        size += std::uint64_t{run.sectors} * disc::facts_of(run.stored_as).stored_size;
      }
    }
  }
  return size;
}

void write_data_area(const disc::Cdrom& cdrom, const ImageLayout& layout, OutputWriter& out) {
  const std::unique_ptr<Page[]> pages(new Page[kBatchPages]);
  char* const batch = reinterpret_cast<char*>(pages.get());
  for (std::size_t i = 0; i < layout.sessions.size(); ++i) {
    const std::vector<disc::Track>& tracks = cdrom.sessions[i].tracks;
    for (std::size_t j = 0; j < tracks.size(); ++j) {
      write_track(tracks[j], layout.sessions[i].tracks[j], batch, out);
    }
  }
}

}  // namespace cdi

// The size of the image that a sheet gives, for the page's progress bar.
//
// The run itself says nothing of sizes, so before it starts the page asks
// here: the sheet is read and the image laid out as the run will do it, and
// the bytes are counted as the data area and the descriptor will write them.
// A disc that the run will refuse has no size; the run says why.
#include <cstddef>
#include <cstdint>

#include "cdi/descriptor.h"
#include "cdi/layout.h"
#include "cue_parse/cue_parse.h"
#include "disc/track_mode.h"

namespace {

std::uint64_t stored_bytes(std::uint32_t sectors, disc::TrackMode mode) {
  return std::uint64_t{sectors} * disc::facts_of(mode).stored_size;
}

// The layout has a record per session and track of the model, in its order.
std::uint64_t image_size(const disc::Cdrom& cdrom, const cdi::ImageLayout& layout) {
  std::uint64_t size = cdi::build_descriptor(cdrom, layout).size();
  for (std::size_t s = 0; s < layout.sessions.size(); ++s) {
    for (std::size_t t = 0; t < layout.sessions[s].tracks.size(); ++t) {
      const cdi::TrackLayout& track = layout.sessions[s].tracks[t];
      const disc::TrackMode mode = cdrom.sessions[s].tracks[t].mode;
      size += stored_bytes(track.pregap, mode) +
              stored_bytes(track.sectors_before_index01, track.mode_before_index01) +
              stored_bytes(track.file_sectors - track.sectors_before_index01, mode);
    }
  }
  return size;
}

}  // namespace

/// The image size in bytes of the sheet at `sheet`, or 0 when the disc is
/// refused. A double, as JavaScript numbers are: exact far beyond any CD.
extern "C" double cuesmelt_image_size(const char* sheet) {
  try {
    const disc::Cdrom cdrom = cue_parse::parse_cue(sheet);
    return static_cast<double>(image_size(cdrom, cdi::lay_out(cdrom)));
  } catch (...) {
    return 0;
  }
}

#include "support/disc_dump.h"

#include "support/discs.h"

namespace testing_support {

std::string dump(const disc::Cdrom& cdrom, std::string_view strip) {
  std::string out;
  if (cdrom.catalog) out += "cat=" + *cdrom.catalog;
  for (const auto& session : cdrom.sessions) {
    if (!out.empty()) out += ' ';
    out += '{';
    for (std::size_t j = 0; j < session.tracks.size(); ++j) {
      const auto& track = session.tracks[j];
      const std::string shown = path_of(track);
      std::string_view path = shown;
      if (!strip.empty() && path.starts_with(strip)) path.remove_prefix(strip.size());
      if (j > 0) out += " | ";
      out += std::string(path) + ":" + std::to_string(static_cast<int>(track.mode)) + " [";
      for (std::size_t k = 0; k < track.indexes.size(); ++k) {
        if (k > 0) out += ' ';
        out += std::to_string(track.indexes[k].number) + "@" +
               std::to_string(track.indexes[k].position);
      }
      out += ']';
      if (track.isrc) out += " isrc=" + *track.isrc;
    }
    out += '}';
  }
  return out;
}

}  // namespace testing_support

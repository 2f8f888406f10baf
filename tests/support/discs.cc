#include "support/discs.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace testing_support {

dj::Cdrom make_disc(const TempDir& dir,
                    std::initializer_list<std::initializer_list<TrackShape>> sessions, bool fill) {
  dj::Cdrom disc;
  // Numbered across calls, so that several discs can share one folder.
  static unsigned number = 0;
  for (const auto& session_shape : sessions) {
    dj::Session& session = disc.sessions.emplace_back();
    for (const TrackShape& shape : session_shape) {
      ++number;
      dj::Track track;
      track.mode = shape.mode;
      const std::string name = "track" + std::to_string(number) + ".bin";
      track.file_path = dir.write(name, fill ? raw_sectors(shape.sectors, number) : "");
      if (!fill && ::truncate(track.file_path.c_str(), off_t{shape.sectors} * 2352) != 0) {
        throw std::runtime_error("truncate failed");
      }
      if (shape.index01 != 0) track.indexes.push_back({0, 0});
      track.indexes.push_back({1, shape.index01});
      session.tracks.push_back(std::move(track));
    }
  }
  return disc;
}

std::string stored(const std::string& raw, std::size_t first, std::size_t count,
                   std::uint8_t mode) {
  const std::size_t offset = mode == dj::kModeAudio ? 0 : 16;
  std::string out;
  for (std::size_t i = first; i < first + count; ++i) {
    out += raw.substr(i * dj::kRawSectorSize + offset, dj::stored_sector_size(mode));
  }
  return out;
}

std::uint64_t le_at(const std::string& bytes, std::size_t offset, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
  }
  return value;
}

}  // namespace testing_support

namespace testing_support {

::testing::AssertionResult same_bytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  auto show = [](const std::string& bytes, std::size_t at) { return bytes.substr(at, 60); };
  return ::testing::AssertionFailure()
         << actual.size() << " bytes where " << expected.size() << " were expected; first "
         << "difference at byte " << at << ": \"" << show(actual, at) << "\" instead of \""
         << show(expected, at) << "\"";
}

}  // namespace testing_support

#include "support/discs.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace testing_support {

disc::Cdrom make_disc(const TempDir& dir,
                      std::initializer_list<std::initializer_list<TrackShape>> sessions,
                      bool fill) {
  disc::Cdrom cdrom;
  // Numbered across calls, so that several discs can share one folder.
  static unsigned number = 0;
  for (const auto& session_shape : sessions) {
    disc::Session& session = cdrom.sessions.emplace_back();
    for (const TrackShape& shape : session_shape) {
      ++number;
      disc::Track track;
      track.mode = shape.mode;
      const std::string name = "track" + std::to_string(number) + ".bin";
      const std::string path = dir.write(name, fill ? raw_sectors(shape.sectors, number) : "");
      if (!fill) std::filesystem::resize_file(fs_path(path), shape.sectors * 2352ull);
      track.source = disc::BinaryFile{path};
      if (shape.index01 != 0) track.indexes.push_back({0, 0});
      track.indexes.push_back({1, shape.index01});
      session.tracks.push_back(std::move(track));
    }
  }
  return cdrom;
}

std::string stored(const std::string& raw, std::size_t first, std::size_t count,
                   disc::TrackMode mode) {
  // Written out here rather than taken from the mode table, so that a wrong
  // entry there cannot agree with itself.
  const std::size_t offset = mode == disc::TrackMode::Audio ? 0 : 16;
  const std::size_t kept = mode == disc::TrackMode::Audio   ? 2352
                           : mode == disc::TrackMode::Mode1 ? 2048
                                                            : 2336;
  std::string out;
  for (std::size_t i = first; i < first + count; ++i) out += raw.substr(i * 2352 + offset, kept);
  return out;
}

std::string path_of(const disc::Track& track) {
  if (const auto* entry = std::get_if<disc::ArchiveEntry>(&track.source)) {
    return entry->archive_path + "/" + entry->entry.name;
  }
  return std::get<disc::BinaryFile>(track.source).path;
}

std::string to_hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 0x0F];
  }
  return hex;
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

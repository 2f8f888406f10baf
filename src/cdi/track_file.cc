#include "cdi/track_file.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "base/failure.h"
#include "base/utf8.h"

namespace cdi {

std::uint32_t sector_count(std::uint64_t file_size) {
  if (file_size % disc::kRawSectorSize != 0) {
    throw base::Failure("Error in TRACK: specified file not multiple of 2352");
  }
  if (file_size >= kTrackFileSizeLimit) {
    throw base::Failure("Error in TRACK: specified file too large");
  }
  return static_cast<std::uint32_t>(file_size / disc::kRawSectorSize);
}

TrackFile::TrackFile(std::string path)
    : path_(std::move(path)), file_(base::open_file(path_, base::Access::ReadWithoutWaiting)) {
  if (!file_.is_open()) {
    throw base::Failure("Error while opening track file " + base::quoted_path(path_));
  }
}

void TrackFile::expect_reading_through() const {
  base::expect_sequential_reading(file_);
}

std::uint32_t TrackFile::count_sectors() const {
  const std::optional<base::FileStatus> status = base::file_status(file_);
  if (!status) {
    throw base::Failure("Error reading file for TRACK. Quitting...: " + base::error_text(errno));
  }
  const std::uint32_t sectors = sector_count(status->size);
  if (!status->is_regular) fail_reading();
  return sectors;
}

void TrackFile::read_sectors(char* buffer, std::size_t count) {
  std::size_t wanted = count * disc::kRawSectorSize;
  while (wanted > 0) {
    const std::ptrdiff_t got = base::read_some(file_, buffer, wanted);
    if (got <= 0) fail_reading();  // a read error, or the file ended early
    buffer += got;
    wanted -= static_cast<std::size_t>(got);
  }
}

void TrackFile::require_sector_count(std::uint32_t sectors) const {
  const std::optional<base::FileStatus> status = base::file_status(file_);
  if (!status) fail_reading();
  if (status->size != std::uint64_t{sectors} * disc::kRawSectorSize) {
    throw base::Failure("Error: track file " + base::quoted_path(path_) +
                        " changed during the conversion. Quitting...");
  }
}

void TrackFile::fail_reading() const {
  throw base::Failure("Error while reading track file " + base::quoted_path(path_) +
                      ". Quitting...");
}

}  // namespace cdi

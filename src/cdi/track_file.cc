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

namespace {

std::string shown_path_of(const disc::TrackSource& source) {
  if (const auto* entry = std::get_if<disc::ArchiveEntry>(&source)) {
    return zip::quoted_entry_path(entry->archive_path, entry->entry.name);
  }
  return base::quoted_path(std::get<disc::BinaryFile>(source).path);
}

const std::string& file_path_of(const disc::TrackSource& source) {
  if (const auto* entry = std::get_if<disc::ArchiveEntry>(&source)) return entry->archive_path;
  return std::get<disc::BinaryFile>(source).path;
}

}  // namespace

TrackFile::TrackFile(const disc::TrackSource& source) : shown_path_(shown_path_of(source)) {
  base::File file = base::open_file(file_path_of(source), base::Access::ReadWithoutWaiting);
  if (!file.is_open()) throw base::Failure("Error while opening track file " + shown_path_);
  if (const auto* entry = std::get_if<disc::ArchiveEntry>(&source)) {
    reader_.emplace<zip::EntryReader>(std::move(file), entry->archive_path, entry->entry);
  } else {
    reader_ = std::move(file);
  }
}

const base::File& TrackFile::file() const {
  if (const auto* entry = std::get_if<zip::EntryReader>(&reader_)) return entry->file();
  return std::get<base::File>(reader_);
}

void TrackFile::expect_reading_through() const {
  base::expect_sequential_reading(file());
}

std::uint32_t TrackFile::count_sectors() const {
  if (const auto* entry = std::get_if<zip::EntryReader>(&reader_)) {
    return sector_count(entry->declared_size());
  }
  const std::optional<base::FileStatus> status = base::file_status(file());
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
    auto* entry = std::get_if<zip::EntryReader>(&reader_);
    const std::ptrdiff_t got =
        entry ? entry->read_some(buffer, wanted) : base::read_some(file(), buffer, wanted);
    if (got <= 0) fail_reading();  // a read error, or the file ended early
    buffer += got;
    wanted -= static_cast<std::size_t>(got);
  }
}

void TrackFile::require_sector_count(std::uint32_t sectors) {
  // An entry's size is the one its archive declares, and its data is checked against it.
  if (auto* entry = std::get_if<zip::EntryReader>(&reader_)) return entry->finish();
  const std::optional<base::FileStatus> status = base::file_status(file());
  if (!status) fail_reading();
  if (status->size != std::uint64_t{sectors} * disc::kRawSectorSize) {
    throw base::Failure("Error: track file " + shown_path_ +
                        " changed during the conversion. Quitting...");
  }
}

void TrackFile::fail_reading() const {
  throw base::Failure("Error while reading track file " + shown_path_ + ". Quitting...");
}

}  // namespace cdi

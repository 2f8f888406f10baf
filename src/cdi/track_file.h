// A track's BIN file as the image writer sees it: opened, measured, read;
// a file on disk, or an entry of a zip archive, inflated as it is read.
//
// Both phases of a conversion go through this class, the layout to count
// each file's sectors and the data area to copy them, so the two agree on
// what a usable track file is and refuse the same files with the same words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "base/system.h"
#include "disc/cdrom.h"
#include "disc/track_mode.h"
#include "zip/entry_reader.h"

namespace cdi {

/// A track file must be smaller than 4 GiB: the image counts sectors in 32
/// bits, and no CD track comes near that size.
inline constexpr std::uint64_t kTrackFileSizeLimit = std::uint64_t{1} << 32;
inline constexpr std::uint32_t kMaxTrackFileSectors =
    (kTrackFileSizeLimit - 1) / disc::kRawSectorSize;

/// The number of raw sectors in a track file of `file_size` bytes. Refuses
/// a size that is no whole number of sectors, and one of kTrackFileSizeLimit
/// or more.
std::uint32_t sector_count(std::uint64_t file_size);

class TrackFile {
 public:
  /// Opens the track's file for reading; refuses a file that cannot be
  /// opened, and an archive's entry that cannot be read (zip::EntryReader).
  explicit TrackFile(const disc::TrackSource& source);

  /// The number of raw sectors the file holds. Refuses a size that cannot be
  /// looked up or fails sector_count, and a file that is no regular file: a
  /// FIFO or a device reports 0 bytes whatever it would deliver.
  std::uint32_t count_sectors() const;

  /// Tells the system that the whole file will now be read, start to end;
  /// measuring it alone needs no read-ahead.
  void expect_reading_through() const;

  /// Reads the next `count` raw sectors into `buffer`; refuses a read that
  /// fails or a file that ends early.
  void read_sectors(char* buffer, std::size_t count);

  /// Refuses a file that no longer holds exactly `sectors` raw sectors: its
  /// image would not match the descriptor; an archive's entry whose bytes
  /// fail its checks.
  void require_sector_count(std::uint32_t sectors);

 private:
  [[noreturn]] void fail_reading() const;
  const base::File& file() const;

  /// The path as messages show it, quoted.
  std::string shown_path_;
  std::variant<base::File, zip::EntryReader> reader_;
};

}  // namespace cdi

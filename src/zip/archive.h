// A zip archive's table of contents: its central directory, read once.
//
// A disc's dump often comes as one zip archive holding the sheet and its
// BIN files. The archive is told by its content, the end-of-central-
// directory record at its end, never by its name, so a sheet is never taken
// for one. What can be read: entries stored or deflated, zip64 sizes and
// offsets, data descriptors. What cannot (another method, an encrypted
// entry, an archive split over several files) is refused by name, before
// anything is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/system.h"

namespace zip {

/// The compression methods that can be read.
inline constexpr std::uint16_t kStored = 0;
inline constexpr std::uint16_t kDeflated = 8;

/// One file of an archive, as its central directory describes it.
struct Entry {
  /// UTF-8, folders separated by "/".
  std::string name;
  /// Where its local header begins, from the start of the archive.
  std::uint64_t header_offset = 0;
  std::uint64_t compressed_size = 0;
  /// Its size once inflated: the size the entry declares.
  std::uint64_t size = 0;
  std::uint16_t method = kStored;
  std::uint32_t crc32 = 0;
  bool encrypted = false;
};

/// How messages show the entry `name` of the archive at `archive_path`: as
/// a path whose folder is the archive, in the quoted form of every path.
std::string quoted_entry_path(std::string_view archive_path, std::string_view name);

/// The name of the entry that `name` stands for, relative to the folder
/// `folder` of an archive ("" for its top, else ending in "/"): the parts
/// "." and ".." are taken as in a path, as far as the top. An archive has
/// no folder above its top, nor a root of its own: a name with ".." beyond
/// the top, or beginning with "/", is joined as it stands.
std::string name_in_folder(std::string_view folder, std::string_view name);

class Archive {
 public:
  /// The archive in `file`, open at `path`; nullopt when it is no zip
  /// archive: no regular file, or none that ends in an end-of-central-
  /// directory record. Refuses an archive split over several files, and one
  /// whose directory is damaged or cut short. Leaves the file's position
  /// anywhere.
  static std::optional<Archive> read_if_zip(const std::string& path, const base::File& file);

  /// The same for the file at `path`, opened without waiting on a FIFO;
  /// nullopt too when it cannot be opened.
  static std::optional<Archive> read_if_zip(const std::string& path);

  const std::string& path() const { return path_; }
  /// Its files in directory order; folders are not listed.
  const std::vector<Entry>& entries() const { return entries_; }

  /// The file named `name`, or nullptr when there is none. Refuses a name
  /// that two entries carry: which of them is meant cannot be told.
  const Entry* find(std::string_view name) const;

 private:
  Archive(std::string path, std::vector<Entry> entries);

  std::string path_;
  std::vector<Entry> entries_;
  /// Each name's place in entries_; kTwice for a name that two entries carry.
  std::unordered_map<std::string, std::size_t> places_;
};

}  // namespace zip

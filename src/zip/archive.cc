// Reading a zip archive's directory (the format of PKWARE's APPNOTE.TXT).
//
// The archive ends in an end-of-central-directory record, after a comment
// of up to 65535 bytes; a zip64 archive puts a locator in front of it that
// leads to a larger record of the same facts. That record says where the
// central directory lies: one header per entry, with its name, sizes,
// method, CRC-32 and the offset of its local header, in front of its data.
// The directory is read in pieces, so its size alone decides the memory a
// listing takes, whatever the archive's.
#include "zip/archive.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "base/failure.h"
#include "base/utf8.h"
#include "zip/records.h"

namespace zip {
namespace {

using records::u16_at;
using records::u32_at;
using records::u64_at;

constexpr std::uint32_t kEndSignature = 0x06054B50;  // "PK\5\6"
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kLongestComment = 0xFFFF;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;  // "PK\6\7"
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;  // "PK\6\6"
constexpr std::size_t kZip64EndSize = 56;
constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;  // "PK\3\4"
// The first part of a split archive begins with this, then a local header.
constexpr std::uint32_t kSplitSignature = 0x08074B50;          // "PK\7\8"
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;  // "PK\1\2"
constexpr std::size_t kCentralHeaderSize = 46;

// A 16- or 32-bit field holding all ones says: the true value is in the
// zip64 record, or in the entry's zip64 extra field.
constexpr std::uint16_t kMore16 = 0xFFFF;
constexpr std::uint32_t kMore32 = 0xFFFFFFFF;
constexpr std::uint16_t kZip64ExtraField = 0x0001;

// General purpose flags.
constexpr std::uint16_t kEncryptedFlag = 1 << 0;
constexpr std::uint16_t kStrongEncryptionFlag = 1 << 6;
constexpr std::uint16_t kUtf8NameFlag = 1 << 11;
// WinZip's AES encryption names a method of its own.
constexpr std::uint16_t kAesMethod = 99;

constexpr std::size_t kTwice = std::numeric_limits<std::size_t>::max();

/// Code page 437, the IBM PC's, in which the format reads a name that is
/// not flagged as UTF-8: the characters of bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> kCodePage437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

/// An entry's name as a person reads it. The format reads a name without
/// the UTF-8 flag in code page 437; but a name that is valid UTF-8 as it
/// stands is taken as UTF-8, since Info-ZIP's zip on Linux, and others,
/// store UTF-8 names without the flag, and code page 437 text hardly ever
/// forms valid UTF-8. Plain ASCII reads the same every way.
std::string name_of(std::string_view stored, bool flagged_utf8) {
  if (flagged_utf8 || base::is_valid_utf8(stored)) return std::string(stored);
  std::string name;
  for (const char byte : stored) {
    const auto code = static_cast<unsigned char>(byte);
    base::append_utf8(name, code < 0x80 ? code : kCodePage437[code - 0x80]);
  }
  return name;
}

/// Where the directory lies, and how many entries it holds.
struct DirectoryPlace {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t entries = 0;
  /// Where the records that describe the directory begin: it must end by then.
  std::uint64_t end = 0;
};

class DirectoryReading {
 public:
  DirectoryReading(const std::string& path, const base::File& file) : path_(path), file_(file) {}

  [[noreturn]] void fail_damaged() const {
    throw base::Failure("Error: the zip archive " + base::quoted_path(path_) +
                        " is damaged or cut short. Quitting...");
  }
  [[noreturn]] void fail_split() const {
    throw base::Failure("Error: the zip archive " + base::quoted_path(path_) +
                        " is split over several files. Quitting...");
  }
  [[noreturn]] void fail_reading() const {
    throw base::Failure("Error while reading the zip archive " + base::quoted_path(path_) +
                        ". Quitting...");
  }

  /// Exactly `size` bytes at `offset`; refuses an archive that ends first.
  std::string read_exactly(std::uint64_t offset, std::size_t size) const {
    std::optional<std::string> bytes = records::read_at(file_, offset, size);
    if (!bytes) fail_reading();
    if (bytes->size() != size) fail_damaged();
    return std::move(*bytes);
  }

  DirectoryPlace place_in_zip64(std::uint64_t locator_offset) const;
  std::vector<Entry> entries(const DirectoryPlace& place) const;

 private:
  Entry entry_from(std::string_view header, std::string_view variable) const;
  void read_zip64_field(std::string_view field, Entry& entry, std::uint32_t& disk) const;

  const std::string& path_;
  const base::File& file_;
};

/// The offset of the end-of-central-directory record within `tail`, the
/// file's last bytes: the last one whose comment reaches the file's end.
std::optional<std::size_t> end_record_in(std::string_view tail) {
  if (tail.size() < kEndSize) return std::nullopt;
  for (std::size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (u32_at(tail, at) == kEndSignature && at + kEndSize + u16_at(tail, at + 20) == tail.size()) {
      return at;
    }
  }
  return std::nullopt;
}

DirectoryPlace DirectoryReading::place_in_zip64(std::uint64_t locator_offset) const {
  const std::string locator = read_exactly(locator_offset, kZip64LocatorSize);
  if (u32_at(locator, 4) != 0 || u32_at(locator, 16) != 1) fail_split();
  const std::uint64_t record_offset = u64_at(locator, 8);
  if (record_offset > locator_offset) fail_damaged();
  const std::string record = read_exactly(record_offset, kZip64EndSize);
  if (u32_at(record, 0) != kZip64EndSignature) fail_damaged();
  if (u32_at(record, 16) != 0 || u32_at(record, 20) != 0 ||
      u64_at(record, 24) != u64_at(record, 32)) {
    fail_split();
  }
  return {u64_at(record, 48), u64_at(record, 40), u64_at(record, 32), record_offset};
}

void DirectoryReading::read_zip64_field(std::string_view field, Entry& entry,
                                        std::uint32_t& disk) const {
  // It holds, in this order, each of these whose field in the header is all ones.
  const auto take = [&](std::size_t width) {
    if (field.size() < width) fail_damaged();
    const std::uint64_t value = records::number_at(field, 0, width);
    field.remove_prefix(width);
    return value;
  };
  if (entry.size == kMore32) entry.size = take(8);
  if (entry.compressed_size == kMore32) entry.compressed_size = take(8);
  if (entry.header_offset == kMore32) entry.header_offset = take(8);
  if (disk == kMore16) disk = static_cast<std::uint32_t>(take(4));
}

Entry DirectoryReading::entry_from(std::string_view header, std::string_view variable) const {
  const std::uint16_t flags = u16_at(header, 8);
  Entry entry;
  entry.method = u16_at(header, 10);
  entry.crc32 = u32_at(header, 16);
  entry.compressed_size = u32_at(header, 20);
  entry.size = u32_at(header, 24);
  entry.header_offset = u32_at(header, 42);
  std::uint32_t disk = u16_at(header, 34);
  const std::size_t name_size = u16_at(header, 28);
  entry.name = name_of(variable.substr(0, name_size), flags & kUtf8NameFlag);
  entry.encrypted =
      (flags & (kEncryptedFlag | kStrongEncryptionFlag)) || entry.method == kAesMethod;

  std::string_view extra = variable.substr(name_size, u16_at(header, 30));
  while (extra.size() >= 4) {
    const std::uint16_t id = u16_at(extra, 0);
    const std::size_t field_size = u16_at(extra, 2);
    if (field_size > extra.size() - 4) fail_damaged();
    if (id == kZip64ExtraField) read_zip64_field(extra.substr(4, field_size), entry, disk);
    extra.remove_prefix(4 + field_size);
  }
  if (disk != 0) fail_split();
  return entry;
}

std::vector<Entry> DirectoryReading::entries(const DirectoryPlace& place) const {
  if (place.offset > place.end || place.size > place.end - place.offset ||
      place.entries > place.size / kCentralHeaderSize) {
    fail_damaged();
  }
  std::vector<Entry> entries;
  std::uint64_t offset = place.offset;
  const std::uint64_t end = place.offset + place.size;
  for (std::uint64_t i = 0; i < place.entries; ++i) {
    if (end - offset < kCentralHeaderSize) fail_damaged();
    const std::string header = read_exactly(offset, kCentralHeaderSize);
    if (u32_at(header, 0) != kCentralHeaderSignature) fail_damaged();
    const std::size_t variable_size =
        std::size_t{u16_at(header, 28)} + u16_at(header, 30) + u16_at(header, 32);
    offset += kCentralHeaderSize;
    if (end - offset < variable_size) fail_damaged();
    const std::string variable = read_exactly(offset, variable_size);
    offset += variable_size;
    Entry entry = entry_from(header, variable);
    if (entry.header_offset >= place.offset) fail_damaged();
    // A folder is a name ending in "/", and holds nothing to convert.
    if (!entry.name.ends_with('/')) entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

std::string quoted_entry_path(std::string_view archive_path, std::string_view name) {
  std::string path(archive_path);
  path += '/';
  path += name;
  return base::quoted_path(path);
}

std::string name_in_folder(std::string_view folder, std::string_view name) {
  const std::string joined = std::string(folder) + std::string(name);
  if (name.starts_with('/')) return joined;
  std::vector<std::string_view> parts;
  for (std::string_view rest = joined; !rest.empty();) {
    const std::size_t slash = std::min(rest.find('/'), rest.size());
    const std::string_view part = rest.substr(0, slash);
    rest.remove_prefix(std::min(slash + 1, rest.size()));
    if (part == "..") {
      if (parts.empty()) return joined;
      parts.pop_back();
    } else if (part != "." && !part.empty()) {
      parts.push_back(part);
    }
  }
  std::string normal;
  for (const std::string_view part : parts) {
    if (!normal.empty()) normal += '/';
    normal += part;
  }
  return normal;
}

std::optional<Archive> Archive::read_if_zip(const std::string& path, const base::File& file) {
  const std::optional<base::FileStatus> status = base::file_status(file);
  if (!status || !status->is_regular || status->size < kEndSize) return std::nullopt;
  const std::uint64_t tail_size = std::min<std::uint64_t>(status->size, kEndSize + kLongestComment);
  const std::uint64_t tail_offset = status->size - tail_size;
  const std::optional<std::string> tail =
      records::read_at(file, tail_offset, static_cast<std::size_t>(tail_size));
  // What cannot be read here is left to the reading of a sheet, which says so.
  if (!tail || tail->size() != tail_size) return std::nullopt;
  const DirectoryReading reading(path, file);
  const std::optional<std::size_t> at = end_record_in(*tail);
  if (!at) {
    // No end record, but a zip's start: the archive was cut short, or is
    // the first part of a split one.
    const std::optional<std::string> start = records::read_at(file, 0, 4);
    if (start && start->size() == 4 && u32_at(*start, 0) == kLocalHeaderSignature) {
      reading.fail_damaged();
    }
    if (start && start->size() == 4 && u32_at(*start, 0) == kSplitSignature) reading.fail_split();
    return std::nullopt;
  }

  const std::string_view end = std::string_view(*tail).substr(*at, kEndSize);
  const std::uint64_t end_offset = tail_offset + *at;
  const bool zip64 =
      end_offset >= kZip64LocatorSize &&
      u32_at(reading.read_exactly(end_offset - kZip64LocatorSize, 4), 0) == kZip64LocatorSignature;
  DirectoryPlace place;
  if (zip64) {
    place = reading.place_in_zip64(end_offset - kZip64LocatorSize);
  } else {
    if (u16_at(end, 4) != 0 || u16_at(end, 6) != 0 || u16_at(end, 8) != u16_at(end, 10)) {
      reading.fail_split();
    }
    place = {u32_at(end, 16), u32_at(end, 12), u16_at(end, 10), end_offset};
  }
  return Archive(path, reading.entries(place));
}

std::optional<Archive> Archive::read_if_zip(const std::string& path) {
  const base::File file = base::open_file(path, base::Access::ReadWithoutWaiting);
  if (!file.is_open()) return std::nullopt;
  return read_if_zip(path, file);
}

Archive::Archive(std::string path, std::vector<Entry> entries)
    : path_(std::move(path)), entries_(std::move(entries)) {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const auto [place, added] = places_.emplace(entries_[i].name, i);
    if (!added) place->second = kTwice;
  }
}

const Entry* Archive::find(std::string_view name) const {
  const auto place = places_.find(std::string(name));
  if (place == places_.end()) return nullptr;
  if (place->second == kTwice) {
    throw base::Failure("Error: " + quoted_entry_path(path_, name) +
                        " stands twice in its zip archive. Quitting...");
  }
  return &entries_[place->second];
}

}  // namespace zip

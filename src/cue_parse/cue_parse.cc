// Reading a CUE sheet line by line into a Cdrom.
//
// The sheet is streamed once; only the current line is held besides the
// model. Each command has its own short handler, and the order of the checks
// inside each handler decides which message a line with several faults gets.
#include "cue_parse/cue_parse.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <utility>

#include "base/failure.h"
#include "base/system.h"
#include "base/utf8.h"
#include "disc/track_mode.h"
#include "zip/entry_reader.h"

namespace cue_parse {
namespace {

using base::Failure;

constexpr std::uint64_t kMaxPosition = std::numeric_limits<std::uint32_t>::max();

/// One or more decimal digits after at most one "+", within 64 bits.
std::optional<std::uint64_t> parse_number(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

/// Splits at the first space; nullopt when there is none.
std::optional<std::pair<std::string_view, std::string_view>> split_first(std::string_view text) {
  const auto space = text.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  return std::pair{text.substr(0, space), text.substr(space + 1)};
}

std::optional<std::pair<std::string_view, std::string_view>> split_last(std::string_view text) {
  const auto space = text.rfind(' ');
  if (space == std::string_view::npos) return std::nullopt;
  return std::pair{text.substr(0, space), text.substr(space + 1)};
}

bool is_ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 0x7F) return false;
  }
  return true;
}

/// The track file that a FILE line's name (quotes removed) stands for;
/// refuses a name that names none.
using TrackFileFinder = std::function<disc::TrackSource(std::string_view name)>;

/// On disk, the name is joined to the sheet's folder. A path exists when its
/// status can be obtained, following symbolic links; a directory passes.
TrackFileFinder finder_on_disk(std::string_view cue_path) {
  return [folder = std::string(base::directory_of(cue_path))](std::string_view name) {
    std::string path = base::join_path(folder, name);
    if (!base::path_status(path)) {
      throw Failure("FILE not found at " + base::quoted_path(path) + ". Quitting...");
    }
    return disc::TrackSource(disc::BinaryFile{std::move(path)});
  };
}

/// In an archive, the name is taken relative to the sheet's folder there.
TrackFileFinder finder_in_archive(const zip::Archive& archive, std::string_view sheet) {
  const std::string_view folder = sheet.substr(0, sheet.rfind('/') + 1);
  return [&archive, folder = std::string(folder)](std::string_view name) {
    const std::string entry_name = zip::name_in_folder(folder, name);
    const zip::Entry* entry = archive.find(entry_name);
    if (!entry) {
      throw Failure("FILE not found in the zip archive at " +
                    zip::quoted_entry_path(archive.path(), entry_name) + ". Quitting...");
    }
    return disc::TrackSource(disc::ArchiveEntry{archive.path(), *entry});
  };
}

std::string without_quotes(std::string_view name) {
  std::string result;
  for (char c : name) {
    if (c != '"') result += c;
  }
  return result;
}

/// The sheet's own word, echoed as it stands so the user recognises it, unless
/// it holds a control character other than tab: an escape sequence in a
/// downloaded sheet must not reach the user's terminal, so such a word is
/// shown in the escaped form used for paths. `word` must be valid UTF-8.
std::string shown_command(std::string_view word) {
  for (std::string_view rest = word; !rest.empty();) {
    const base::DecodedChar c = base::decode_utf8(rest);
    rest.remove_prefix(c.length);
    const bool control = (c.code_point < 0x20 && c.code_point != '\t') ||
                         (c.code_point >= 0x7F && c.code_point <= 0x9F);
    if (control) return base::quoted_path(word);
  }
  return std::string(word);
}

std::optional<disc::TrackMode> mode_of_track_type(std::string_view type) {
  for (const disc::TrackModeFacts& facts : disc::kTrackModes) {
    if (facts.cue_type == type) return facts.mode;
  }
  return std::nullopt;
}

class SheetReader {
 public:
  explicit SheetReader(TrackFileFinder find_track_file)
      : find_track_file_(std::move(find_track_file)) {}

  void read_line(std::string_view line);
  disc::Cdrom take_disc() { return std::move(disc_); }

 private:
  void handle_command(std::string_view command, std::string_view arguments);
  void handle_rem(std::string_view arguments);
  void handle_file(std::string_view arguments);
  void handle_track(std::string_view arguments);
  void handle_index(std::string_view arguments);
  void handle_isrc(std::string_view arguments);
  void handle_catalog(std::string_view arguments);
  disc::Track& current_track(const char* command);

  TrackFileFinder find_track_file_;
  disc::TrackSource track_file_;
  /// The FILE line in force, and whether a TRACK line has taken it: each
  /// Redump track has a BIN file of its own, and a second TRACK line under
  /// one FILE line would copy the whole file once more into the image.
  enum class FileLine { None, Free, Taken } file_line_ = FileLine::None;
  disc::Cdrom disc_;
  std::uint64_t line_number_ = 0;
};

/// A line that is not valid UTF-8 may only be skipped when the reader would
/// have ignored it anyway; anything else could silently drop a FILE, TRACK
/// or session line and yield a wrong image.
bool ignored_anyway(std::string_view line) {
  const auto text = base::decode_lossy(line);
  const auto trimmed = base::trim_white_space(text);
  if (trimmed == "REM") return true;
  const auto command = split_first(trimmed);
  if (!command || command->first != "REM") return false;
  const auto remark = split_first(command->second);
  if (!remark) return false;
  const auto keyword = remark->first;
  return keyword != "SESSION" && keyword != "SINGLE-DENSITY" && keyword != "HIGH-DENSITY";
}

void SheetReader::read_line(std::string_view line) {
  ++line_number_;
  if (!base::is_valid_utf8(line)) {
    if (ignored_anyway(line)) return;
    throw Failure("Error: line " + std::to_string(line_number_) +
                  " of the CUE file is not valid UTF-8. Quitting...");
  }
  const auto trimmed = base::trim_white_space(line);
  if (trimmed == "REM") return;
  const auto command = split_first(trimmed);
  if (!command) {
    throw Failure("Error parsing CUE file -- is this a valid Redump Dreamcast CD image?");
  }
  handle_command(command->first, command->second);
}

void SheetReader::handle_command(std::string_view command, std::string_view arguments) {
  if (command == "REM") return handle_rem(arguments);
  if (command == "FILE") return handle_file(arguments);
  if (command == "TRACK") return handle_track(base::trim_white_space(arguments));
  if (command == "INDEX") return handle_index(base::trim_white_space(arguments));
  if (command == "ISRC") return handle_isrc(base::trim_white_space(arguments));
  if (command == "CATALOG") return handle_catalog(base::trim_white_space(arguments));
  throw Failure("Unrecognized command " + shown_command(command));
}

void SheetReader::handle_rem(std::string_view arguments) {
  const auto remark = split_first(arguments);
  if (!remark) throw Failure("Error in REM. Quitting...");
  const auto [keyword, value] = *remark;
  if (keyword == "SINGLE-DENSITY" || keyword == "HIGH-DENSITY") {
    throw Failure(
        "GD-ROM images not supported! This is just for Redump Dreamcast CD images. Quitting...");
  }
  if (keyword != "SESSION") return;  // LEAD-OUT, COMMENT and the like carry nothing we use
  const auto number = parse_number(value);
  if (!number) throw Failure("Error reading SESSION number. Quitting...");
  if (*number <= disc_.sessions.size()) throw Failure("Error: Invalid SESSION number. Quitting...");
  disc_.sessions.emplace_back();
}

void SheetReader::handle_file(std::string_view arguments) {
  // The name may hold spaces, so the type is what follows the last one.
  const auto parts = split_last(arguments);
  if (!parts) throw Failure("Error in FILE command. Quitting...");
  if (parts->second != "BINARY") {
    throw Failure("Error: Only BINARY file types supported. Quitting...");
  }
  track_file_ = find_track_file_(without_quotes(parts->first));
  file_line_ = FileLine::Free;
}

void SheetReader::handle_track(std::string_view arguments) {
  const auto parts = split_first(arguments);
  if (!parts) throw Failure("Error in TRACK command. Quitting...");
  const auto mode = mode_of_track_type(parts->second);
  if (!mode) {
    throw Failure(
        "Error in TRACK command. Only AUDIO, MODE1/2352, and MODE2/2352 tracks supported.");
  }
  const auto number = parse_number(parts->first);
  if (!number) throw Failure("Error reading TRACK number. Quitting...");
  if (disc_.sessions.empty()) {
    throw Failure("Error: TRACK line before the first REM SESSION line. Quitting...");
  }
  auto& tracks = disc_.sessions.back().tracks;
  // Only the count within the session matters: Redump numbers tracks across
  // the whole disc, so a second session may well start at TRACK 03.
  if (*number <= tracks.size()) throw Failure("Unexpected TRACK number. Quitting...");
  if (file_line_ == FileLine::Taken) {
    throw Failure(
        "Error: each track needs a FILE line of its own (one BIN file per track). Quitting...");
  }
  if (file_line_ == FileLine::Free) file_line_ = FileLine::Taken;
  disc::Track track;
  track.source = track_file_;
  track.mode = *mode;
  tracks.push_back(std::move(track));
}

/// minutes:seconds:frames in sectors of 1/75 second, or nullopt when the
/// result does not fit the image's 32-bit positions.
std::optional<std::uint64_t> time_to_position(std::uint64_t minutes, std::uint64_t seconds,
                                              std::uint64_t frames) {
  if (minutes > kMaxPosition || seconds > kMaxPosition || frames > kMaxPosition) {
    return std::nullopt;
  }
  const std::uint64_t position = (minutes * 60 + seconds) * 75 + frames;
  if (position > kMaxPosition) return std::nullopt;
  return position;
}

void SheetReader::handle_index(std::string_view arguments) {
  const auto parts = split_first(arguments);
  if (!parts) throw Failure("Error parsing INDEX values.");
  const auto number = parse_number(parts->first);
  if (!number) throw Failure("Error reading INDEX number. Quitting...");

  static constexpr const char* kFieldNames[] = {"minutes", "seconds", "frames"};
  std::uint64_t fields[3] = {};
  std::string_view rest = parts->second;
  bool more = true;
  for (int i = 0; i < 3; ++i) {
    const auto colon = rest.find(':');
    const auto field = parse_number(more ? rest.substr(0, colon) : std::string_view{});
    if (!field) throw Failure(std::string("Error processing INDEX: ") + kFieldNames[i]);
    fields[i] = *field;
    more = colon != std::string_view::npos;
    rest = more ? rest.substr(colon + 1) : std::string_view{};
  }
  const auto position = time_to_position(fields[0], fields[1], fields[2]);
  if (!position) throw Failure("Error processing INDEX: time out of range");

  current_track("INDEX").indexes.push_back({*number, *position});
}

void SheetReader::handle_isrc(std::string_view text) {
  constexpr std::size_t kIsrcLength = 12;
  if (text.size() < kIsrcLength) throw Failure("Invalid ISRC entry. Quitting...");
  text = text.substr(0, kIsrcLength);
  auto& track = current_track("ISRC");
  if (track.isrc) throw Failure("Error: ISRC already set for track. Quitting...");
  if (!is_ascii(text)) throw Failure("Invalid ISRC entry. Quitting...");
  track.isrc = std::string(text);
}

void SheetReader::handle_catalog(std::string_view text) {
  constexpr std::size_t kCatalogLength = 13;
  if (text.size() < kCatalogLength) throw Failure("Invalid CATALOG number. Quitting...");
  text = text.substr(0, kCatalogLength);
  if (!is_ascii(text)) throw Failure("Invalid CATALOG number. Quitting...");
  if (disc_.catalog) throw Failure("Error: CATALOG already set for this disc. Quitting...");
  disc_.catalog = std::string(text);
}

disc::Track& SheetReader::current_track(const char* command) {
  if (disc_.sessions.empty() || disc_.sessions.back().tracks.empty()) {
    throw Failure(std::string("Error: ") + command + " line outside of a TRACK. Quitting...");
  }
  return disc_.sessions.back().tracks.back();
}

/// Cuts a byte stream into lines at line feeds. A final line feed ends the
/// last line rather than starting an empty one. A carriage return in front
/// of a line feed needs no handling here: it is white space, which the
/// reader trims off every line. A UTF-8 byte-order mark in front of the
/// first line, as Windows editors save "UTF-8 with BOM", is no part of it.
class LineSplitter {
 public:
  explicit LineSplitter(SheetReader& reader) : reader_(reader) {}

  void feed(std::string_view bytes) {
    bytes = without_byte_order_mark(bytes);
    while (!bytes.empty()) {
      const auto line_feed = bytes.find('\n');
      if (line_feed == std::string_view::npos) {
        pending_.append(bytes);
        return;
      }
      if (pending_.empty()) {
        reader_.read_line(bytes.substr(0, line_feed));
      } else {
        pending_.append(bytes.substr(0, line_feed));
        reader_.read_line(pending_);
        pending_.clear();
      }
      bytes.remove_prefix(line_feed + 1);
    }
  }

  void finish() {
    if (!mark_settled_) pending_.append(kByteOrderMark.substr(0, mark_matched_));
    if (!pending_.empty()) reader_.read_line(pending_);
    pending_.clear();
  }

 private:
  static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

  /// `bytes` without the part of a byte-order mark at the very start of the
  /// stream, which may arrive split over several reads.
  std::string_view without_byte_order_mark(std::string_view bytes) {
    while (!mark_settled_ && !bytes.empty()) {
      if (bytes.front() != kByteOrderMark[mark_matched_]) {
        pending_.append(kByteOrderMark.substr(0, mark_matched_));  // text after all
        mark_settled_ = true;
      } else {
        bytes.remove_prefix(1);
        mark_settled_ = ++mark_matched_ == kByteOrderMark.size();
      }
    }
    return bytes;
  }

  SheetReader& reader_;
  std::string pending_;
  std::size_t mark_matched_ = 0;
  bool mark_settled_ = false;
};

base::File open_sheet(const std::string& path) {
  base::File sheet = base::open_file(path, base::Access::Read);
  if (!sheet.is_open()) throw Failure("File not found!");
  return sheet;
}

/// Reads a whole sheet, `read_some` handing its bytes over as
/// base::read_some does, into a disc whose track files `find_track_file`
/// finds.
disc::Cdrom read_sheet(const std::function<std::ptrdiff_t(char*, std::size_t)>& read_some,
                       TrackFileFinder find_track_file) {
  SheetReader reader(std::move(find_track_file));
  LineSplitter lines(reader);
  static constexpr std::size_t kChunkSize = 64 * 1024;
  std::string chunk(kChunkSize, '\0');
  for (;;) {
    const std::ptrdiff_t got = read_some(chunk.data(), chunk.size());
    if (got == 0) break;
    // A directory opens but cannot be read: refuse it rather than retry.
    if (got < 0) throw Failure("Error reading CUE file. Quitting...");
    lines.feed(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
  }
  lines.finish();
  return reader.take_disc();
}

/// The one sheet in `archive`; refuses an archive with none, or several.
std::string only_sheet_in(const zip::Archive& archive) {
  const std::vector<std::string> sheets = sheets_in(archive);
  const std::string archive_path = base::quoted_path(archive.path());
  if (sheets.empty()) {
    throw Failure("Error: the zip archive " + archive_path +
                  " holds no CUE sheet (.cue). Quitting...");
  }
  if (sheets.size() > 1) {
    std::string listed;
    for (const std::string& sheet : sheets) {
      listed += (listed.empty() ? "" : ", ") + base::quoted_path(sheet);
    }
    throw Failure("Error: the zip archive " + archive_path +
                  " holds several CUE sheets: " + listed + ". Quitting...");
  }
  return sheets.front();
}

}  // namespace

bool is_sheet_name(std::string_view name) {
  return base::ends_in_any_case(name, ".cue");
}

std::vector<std::string> sheets_in(const zip::Archive& archive) {
  std::vector<std::string> sheets;
  for (const zip::Entry& entry : archive.entries()) {
    if (is_sheet_name(entry.name) && !entry.name.starts_with("__MACOSX/")) {
      sheets.push_back(entry.name);
    }
  }
  return sheets;
}

disc::Cdrom parse_cue_in_archive(const zip::Archive& archive, std::string_view sheet) {
  const zip::Entry* entry = archive.find(sheet);
  if (!entry) throw Failure("File not found!");
  const auto open_entry = [&] {
    return zip::EntryReader(open_sheet(archive.path()), archive.path(), *entry);
  };
  // The sheet is checked whole before its first line is read: a damaged
  // byte would otherwise show as a fault of the sheet's own.
  zip::EntryReader checked = open_entry();
  std::string scratch(64 * 1024, '\0');
  for (std::ptrdiff_t got = 1; got != 0;) {
    got = checked.read_some(scratch.data(), scratch.size());
    if (got < 0) throw Failure("Error reading CUE file. Quitting...");
  }
  checked.finish();
  zip::EntryReader reader = open_entry();
  return read_sheet(
      [&reader](char* buffer, std::size_t size) { return reader.read_some(buffer, size); },
      finder_in_archive(archive, sheet));
}

disc::Cdrom parse_cue(std::string cue_path) {
  const base::File sheet = open_sheet(cue_path);
  if (const std::optional<zip::Archive> archive = zip::Archive::read_if_zip(cue_path, sheet)) {
    return parse_cue_in_archive(*archive, only_sheet_in(*archive));
  }
  // Telling a zip archive by its end may have read the file's end; a pipe
  // is not read there, and cannot seek.
  if (!base::seek_to(sheet, 0) && errno != ESPIPE) {
    throw Failure("Error reading CUE file. Quitting...");
  }
  return read_sheet(
      [&sheet](char* buffer, std::size_t size) { return base::read_some(sheet, buffer, size); },
      finder_on_disk(cue_path));
}

}  // namespace cue_parse

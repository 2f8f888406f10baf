// Reading one entry of a zip archive, stored or deflated, as a stream of
// the bytes it holds.
//
// The sizes in the directory bound everything: no more than the declared
// size ever comes out, however the data would inflate, and the input is
// read in pieces of a fixed size. The CRC-32 and both sizes are checked as
// the data streams, so damaged data ends the reading with a message rather
// than passing on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/inflater.h"
#include "base/system.h"
#include "zip/archive.h"

namespace zip {

class EntryReader {
 public:
  /// Reads `entry` of the archive open as `file` at `archive_path`. Refuses
  /// an encrypted entry, one of a method other than stored or deflated, and
  /// one whose local header or data lies outside the archive.
  EntryReader(base::File file, std::string archive_path, Entry entry);

  /// Reads up to `size` bytes into `buffer`: the number read, 0 once the
  /// declared size has been read, -1 with errno set when the archive cannot
  /// be read. Refuses data that is damaged: a broken deflate stream, or one
  /// that ends before the declared size.
  std::ptrdiff_t read_some(char* buffer, std::size_t size);

  /// Once the declared size has been read: refuses an entry whose bytes do
  /// not match its CRC-32, or whose data holds more than the declared size.
  void finish();

  const base::File& file() const { return file_; }
  std::uint64_t declared_size() const { return entry_.size; }

 private:
  [[noreturn]] void fail_damaged() const;
  std::ptrdiff_t read_stored(char* buffer, std::size_t size);
  std::ptrdiff_t read_deflated(char* buffer, std::size_t size);
  /// One step of the inflater from the input buffer; refuses damaged data.
  base::Inflater::Step inflate_into(char* output, std::size_t room);
  /// Refills the input buffer from the entry's data; false on a read error.
  bool refill();

  base::File file_;
  std::string archive_path_;
  Entry entry_;
  std::uint64_t data_left_ = 0;  // of the compressed data, not read yet
  std::uint64_t produced_ = 0;
  std::uint32_t crc_ = 0;
  std::optional<base::Inflater> inflater_;
  bool stream_ended_ = false;
  std::string input_;
  std::size_t input_begin_ = 0;
  std::size_t input_end_ = 0;
};

}  // namespace zip

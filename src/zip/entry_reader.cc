// An entry's data follows its local header, whose name and extra field may
// differ in length from the directory's: only the header's own lengths say
// where the data begins. Its sizes and CRC-32 may be zero there, with the
// true ones in a data descriptor behind the data: those of the directory
// are the ones that count.
#include "zip/entry_reader.h"

#include <algorithm>
#include <utility>

#include "base/crc32.h"
#include "base/failure.h"
#include "base/utf8.h"
#include "zip/records.h"

namespace zip {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;  // "PK\3\4"
constexpr std::size_t kLocalHeaderSize = 30;
// Compressed data is read in pieces of this size: large enough that the
// reads cost little, small enough to stay in the processor's cache.
constexpr std::size_t kInputPiece = 256 * 1024;

/// The method's name as the format's users know it, for a refusal.
std::string method_name(std::uint16_t method) {
  switch (method) {
    case 9:
      return "deflate64";
    case 12:
      return "bzip2";
    case 14:
      return "LZMA";
    case 20:
    case 93:
      return "Zstandard";
    case 95:
      return "XZ";
    case 98:
      return "PPMd";
    default:
      return "method " + std::to_string(method);
  }
}

}  // namespace

EntryReader::EntryReader(base::File file, std::string archive_path, Entry entry)
    : file_(std::move(file)), archive_path_(std::move(archive_path)), entry_(std::move(entry)) {
  const std::string shown = quoted_entry_path(archive_path_, entry_.name);
  if (entry_.encrypted) {
    throw base::Failure("Error: " + shown +
                        " is encrypted; unpack it with its password, then convert the unpacked "
                        "files. Quitting...");
  }
  if (entry_.method != kStored && entry_.method != kDeflated) {
    throw base::Failure("Error: " + shown + " is compressed with " + method_name(entry_.method) +
                        "; unpack it, or re-pack it as an ordinary zip. Quitting...");
  }
  const std::optional<std::string> header =
      records::read_at(file_, entry_.header_offset, kLocalHeaderSize);
  if (!header) {
    throw base::Failure("Error while reading the zip archive " + base::quoted_path(archive_path_) +
                        ". Quitting...");
  }
  const std::optional<base::FileStatus> status = base::file_status(file_);
  if (header->size() != kLocalHeaderSize || !status ||
      records::u32_at(*header, 0) != kLocalHeaderSignature ||
      records::u16_at(*header, 8) != entry_.method ||
      (entry_.method == kStored && entry_.compressed_size != entry_.size)) {
    fail_damaged();
  }
  const std::uint64_t data_offset = entry_.header_offset + kLocalHeaderSize +
                                    records::u16_at(*header, 26) + records::u16_at(*header, 28);
  if (data_offset > status->size || entry_.compressed_size > status->size - data_offset ||
      !base::seek_to(file_, data_offset)) {
    fail_damaged();
  }
  data_left_ = entry_.compressed_size;
  if (entry_.method == kDeflated) {
    inflater_.emplace();
    input_.resize(kInputPiece);
  }
}

std::ptrdiff_t EntryReader::read_some(char* buffer, std::size_t size) {
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, entry_.size - produced_));
  if (size == 0) return 0;
  const std::ptrdiff_t got = inflater_ ? read_deflated(buffer, size) : read_stored(buffer, size);
  if (got > 0) {
    crc_ = base::crc32(crc_, std::string_view(buffer, static_cast<std::size_t>(got)));
    produced_ += static_cast<std::uint64_t>(got);
  }
  return got;
}

std::ptrdiff_t EntryReader::read_stored(char* buffer, std::size_t size) {
  const std::ptrdiff_t got = base::read_some(file_, buffer, size);
  if (got == 0) fail_damaged();  // the archive ends inside the entry
  if (got > 0) data_left_ -= static_cast<std::uint64_t>(got);
  return got;
}

std::ptrdiff_t EntryReader::read_deflated(char* buffer, std::size_t size) {
  for (;;) {
    if (input_begin_ == input_end_ && data_left_ > 0 && !refill()) return -1;
    const base::Inflater::Step step = inflate_into(buffer, size);
    if (step.produced > 0) return static_cast<std::ptrdiff_t>(step.produced);
    // Nothing came out: the stream ended, or can go no further, short of
    // the declared size.
    if (stream_ended_ || !step.consumed) fail_damaged();
  }
}

base::Inflater::Step EntryReader::inflate_into(char* output, std::size_t room) {
  const std::string_view input(input_.data() + input_begin_, input_end_ - input_begin_);
  const base::Inflater::Step step = inflater_->inflate(input, output, room);
  if (step.result == base::Inflater::Result::Damaged) fail_damaged();
  input_begin_ += step.consumed;
  stream_ended_ = step.result == base::Inflater::Result::End;
  return step;
}

bool EntryReader::refill() {
  const std::size_t wanted =
      static_cast<std::size_t>(std::min<std::uint64_t>(data_left_, kInputPiece));
  const std::ptrdiff_t got = base::read_some(file_, input_.data(), wanted);
  if (got < 0) return false;
  if (got == 0) fail_damaged();
  input_begin_ = 0;
  input_end_ = static_cast<std::size_t>(got);
  data_left_ -= static_cast<std::uint64_t>(got);
  return true;
}

void EntryReader::finish() {
  // The stream must end right after the declared size, every byte of the
  // data used: inflating on may bring out nothing more.
  char beyond[64];
  while (inflater_ && !stream_ended_) {
    if (input_begin_ == input_end_ && data_left_ > 0 && !refill()) fail_damaged();
    const base::Inflater::Step step = inflate_into(beyond, sizeof beyond);
    if (step.produced > 0 || (!stream_ended_ && !step.consumed)) fail_damaged();
  }
  if (input_begin_ != input_end_ || data_left_ != 0 || crc_ != entry_.crc32) fail_damaged();
}

void EntryReader::fail_damaged() const {
  throw base::Failure("Error: " + quoted_entry_path(archive_path_, entry_.name) +
                      " is damaged in its zip archive. Quitting...");
}

}  // namespace zip

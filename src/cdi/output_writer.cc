// A buffered writer that reports every failing write, flush and close.
#include "cdi/output_writer.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "base/failure.h"

namespace cdi {
namespace {

// The track data goes out in batches far larger than this and skips the
// buffer; what is gathered here are the few small pieces around them.
constexpr std::size_t kBufferSize = 64 * 1024;

[[noreturn]] void fail_writing(int error) {
  throw base::Failure("Error while writing file. Quitting...: " + base::error_text(error));
}

}  // namespace

OutputWriter::OutputWriter(base::File file)
    : file_(std::move(file)), buffer_(new char[kBufferSize]) {}

void OutputWriter::write(std::string_view bytes) {
  if (buffered_ + bytes.size() > kBufferSize) {
    flush();
    if (bytes.size() >= kBufferSize) return write_to_file(bytes);
  }
  std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
  buffered_ += bytes.size();
}

void OutputWriter::write_zeros(std::uint64_t count) {
  static const char kZeros[kBufferSize] = {};
  while (count > 0) {
    const std::size_t piece = count < sizeof kZeros ? count : sizeof kZeros;
    write(std::string_view(kZeros, piece));
    count -= piece;
  }
}

void OutputWriter::close() {
  flush();
  // Any failing close counts, an interrupted one too: the last of the data
  // may not have reached the file.
  if (!file_.close()) fail_writing(errno);
}

void OutputWriter::flush() {
  write_to_file(std::string_view(buffer_.get(), buffered_));
  buffered_ = 0;
}

void OutputWriter::write_to_file(std::string_view bytes) {
  if (!base::write_all(file_, bytes.data(), bytes.size())) fail_writing(errno);
}

}  // namespace cdi

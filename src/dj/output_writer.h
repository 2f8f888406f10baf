// The buffered writer over the output image file.
//
// main creates it on the freshly created file and hands it to write_out by
// value; write_out alone writes through it and closes it. Every failing
// write, flush or close is a Failure: a full disk must never end in a
// successful run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include <sys/uio.h>

namespace dj {

class OutputWriter {
 public:
  /// Takes ownership of the open file descriptor `fd`.
  explicit OutputWriter(int fd);
  OutputWriter(OutputWriter&& other) noexcept;
  OutputWriter& operator=(OutputWriter&&) = delete;
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;
  /// Closes the file if close() was never reached (on a failure path);
  /// whatever is still buffered then is dropped.
  ~OutputWriter();

  void write(std::string_view bytes);
  /// Writes `count` zero bytes.
  void write_zeros(std::size_t count);
  /// Writes the stored part of each of `count` raw 2352-byte sectors at
  /// `raw`, as a track of `mode` keeps it. The stored parts go straight from
  /// `raw` to the file without being copied in between.
  void write_stored_sectors(const char* raw, std::size_t count, std::uint8_t mode);

  /// Writes out what is buffered and closes the file.
  void close();

 private:
  void flush();
  void write_to_file(std::string_view bytes);
  void write_gathered(iovec* pieces, int count);

  int fd_;
  std::unique_ptr<char[]> buffer_;
  std::size_t buffered_ = 0;
};

}  // namespace dj

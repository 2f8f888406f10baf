// The buffered writer over the output image file.
//
// The front end creates the file and hands it over; write_out alone writes
// through it and closes it. Every failing write, flush or close is a
// Failure: a full disk must never end in a successful run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "base/system.h"

namespace cdi {

class OutputWriter {
 public:
  /// Takes over `file`, open for writing.
  explicit OutputWriter(base::File file);

  /// Small pieces are gathered in the buffer; a piece at least as large as
  /// the buffer goes to the file directly, without a copy.
  void write(std::string_view bytes);
  /// Writes `count` zero bytes.
  void write_zeros(std::uint64_t count);

  /// Writes out what is buffered and closes the file. Without it (on a
  /// failure path) the file is closed and what is still buffered is dropped.
  void close();

 private:
  void flush();
  void write_to_file(std::string_view bytes);

  base::File file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t buffered_ = 0;
};

}  // namespace cdi

// Raw deflate streams (RFC 1951), the compression of zip archives, inflated
// piece by piece into the caller's buffer (their CRC-32 is in crc32.h).
//
// Natively zlib inflates. In the browser the program has no zlib: there
// the page's worker provides the inflater.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace base {

class Inflater {
 public:
  /// A new stream; throws std::bad_alloc when its state cannot be had.
  Inflater();
  ~Inflater();
  Inflater(Inflater&&) noexcept;
  Inflater& operator=(Inflater&&) noexcept;

  enum class Result {
    /// Inflated what it could: more input, or more room, lets it go on.
    More,
    /// The stream's last block is complete; nothing more comes out.
    End,
    /// The input is no deflate stream.
    Damaged,
  };
  struct Step {
    Result result;
    std::size_t consumed;  // bytes of input taken
    std::size_t produced;  // bytes written to the output
  };

  /// Inflates from `input` into the `room` bytes at `output`.
  Step inflate(std::string_view input, char* output, std::size_t room);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace base

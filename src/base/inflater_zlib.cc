// Inflating with zlib, on every system but the browser.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

#include "base/inflater.h"

namespace base {
namespace {

// zlib counts its buffers in unsigned int.
constexpr std::size_t kLargestPiece = UINT_MAX;

}  // namespace

struct Inflater::State {
  z_stream stream{};
};

Inflater::Inflater() : state_(std::make_unique<State>()) {
  // Negative window bits: a raw stream, without zlib's own header and check.
  if (inflateInit2(&state_->stream, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
}

Inflater::~Inflater() {
  if (state_) inflateEnd(&state_->stream);
}

Inflater::Inflater(Inflater&&) noexcept = default;
Inflater& Inflater::operator=(Inflater&& other) noexcept {
  if (this != &other) {
    if (state_) inflateEnd(&state_->stream);
    state_ = std::move(other.state_);
  }
  return *this;
}

Inflater::Step Inflater::inflate(std::string_view input, char* output, std::size_t room) {
  z_stream& stream = state_->stream;
  const auto offered = static_cast<uInt>(std::min(input.size(), kLargestPiece));
  const auto space = static_cast<uInt>(std::min(room, kLargestPiece));
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = offered;
  stream.next_out = reinterpret_cast<Bytef*>(output);
  stream.avail_out = space;
  const int code = ::inflate(&stream, Z_NO_FLUSH);
  const Step step{Result::More, offered - stream.avail_in, space - stream.avail_out};
  switch (code) {
    case Z_OK:
    case Z_BUF_ERROR:  // no progress: it needs more input or more room
      return step;
    case Z_STREAM_END:
      return {Result::End, step.consumed, step.produced};
    case Z_MEM_ERROR:
      throw std::bad_alloc();
    default:  // Z_DATA_ERROR, and Z_NEED_DICT, which no zip entry may ask
      return {Result::Damaged, step.consumed, step.produced};
  }
}

}  // namespace base

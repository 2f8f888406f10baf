// Inflating in the browser, where the program has no zlib: the worker that
// runs it has loaded pako, a port of zlib's own inflater, whose streams are
// driven here call by call as zlib's are natively. Each call lets it read
// and write the program's memory in place, so nothing is copied across.
#include <emscripten.h>

#include <new>

#include "base/inflater.h"

// clang-format off
EM_JS(int, cuesmelt_inflater_open, (), {
  const stream = new pako.ZStream();
  if (pako.zlibInflateInit2(stream, -15) !== pako.Z_OK) return 0;
  Module.inflaters = Module.inflaters || new Map();
  Module.lastInflater = (Module.lastInflater || 0) + 1;
  Module.inflaters.set(Module.lastInflater, stream);
  return Module.lastInflater;
});

EM_JS(int, cuesmelt_inflater_run,
      (int id, const char* input, size_t offered, char* output, size_t room, size_t* counts), {
  const stream = Module.inflaters.get(id);
  Object.assign(stream, {input: HEAPU8, next_in: input, avail_in: offered,
                         output: HEAPU8, next_out: output, avail_out: room});
  const code = pako.zlibInflate(stream, pako.Z_NO_FLUSH);
  HEAPU32[counts >> 2] = offered - stream.avail_in;
  HEAPU32[(counts >> 2) + 1] = room - stream.avail_out;
  // The memory may grow before the next call, and its view with it.
  stream.input = stream.output = null;
  return code === pako.Z_STREAM_END ? 1 : code === pako.Z_OK || code === pako.Z_BUF_ERROR ? 0 : -1;
});

EM_JS(void, cuesmelt_inflater_close, (int id), {
  pako.zlibInflateEnd(Module.inflaters.get(id));
  Module.inflaters.delete(id);
});
// clang-format on

namespace base {

struct Inflater::State {
  int id = 0;
};

Inflater::Inflater() : state_(std::make_unique<State>()) {
  state_->id = cuesmelt_inflater_open();
  if (state_->id == 0) throw std::bad_alloc();
}

Inflater::~Inflater() {
  if (state_) cuesmelt_inflater_close(state_->id);
}

Inflater::Inflater(Inflater&&) noexcept = default;
Inflater& Inflater::operator=(Inflater&& other) noexcept {
  if (this != &other) {
    if (state_) cuesmelt_inflater_close(state_->id);
    state_ = std::move(other.state_);
  }
  return *this;
}

Inflater::Step Inflater::inflate(std::string_view input, char* output, std::size_t room) {
  std::size_t counts[2] = {};
  const int code =
      cuesmelt_inflater_run(state_->id, input.data(), input.size(), output, room, counts);
  const Result result = code > 0 ? Result::End : code == 0 ? Result::More : Result::Damaged;
  return {result, counts[0], counts[1]};
}

}  // namespace base

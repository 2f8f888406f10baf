// What every refusal of a sheet or of a conversion must look like.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <string_view>

#include "base/failure.h"
#include "base/utf8.h"

namespace fuzz {

/// A refusal of the sheet or of the conversion ends the run with status 1
/// and one line on standard error. The line echoes bits of the sheet (a
/// command word, a path), which must never carry a line break or a terminal
/// escape: a control character other than tab, C0 or C1, or bytes that are
/// not UTF-8. Aborts, so that libFuzzer reports it, when that is broken.
inline void check_refusal(const base::Failure& failure) {
  const std::string_view message = failure.what();
  if (failure.exit_status() != 1 || message.empty() || !base::is_valid_utf8(message)) std::abort();
  for (std::size_t i = 0; i < message.size(); ++i) {
    const auto byte = static_cast<unsigned char>(message[i]);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) std::abort();
    // U+0080 .. U+009F, the C1 controls, in UTF-8 (being valid, a second byte follows).
    if (byte == 0xC2 && static_cast<unsigned char>(message[i + 1]) <= 0x9F) std::abort();
  }
}

}  // namespace fuzz

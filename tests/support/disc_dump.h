// A one-line picture of a disc model, so that reader tests are one line each:
//   cat=1234567890123 {a.bin:0 [1@0] | t3.bin:1 [0@0 1@150] isrc=ABCDE1234567} {}
// Sessions in braces, tracks as file:mode, then their index entries.
#pragma once

#include <string>
#include <string_view>

#include "disc/cdrom.h"

namespace testing_support {

/// `strip` is removed from the front of every track path that starts with it.
std::string dump(const disc::Cdrom& cdrom, std::string_view strip = {});

}  // namespace testing_support

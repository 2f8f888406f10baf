// Building disc models over real track files for the writer's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "disc/cdrom.h"
#include "support/temp_dir.h"

namespace testing_support {

struct TrackShape {
  disc::TrackMode mode;
  std::uint32_t sectors;
  std::uint64_t index01 = 0;  // INDEX 01 position; INDEX 00 at 0 is added when nonzero
};

/// One session per list; each track gets a file of its own in `dir`, filled
/// with raw_sectors (distinct per track) when `fill` is set, else sparse.
disc::Cdrom make_disc(const TempDir& dir,
                      std::initializer_list<std::initializer_list<TrackShape>> sessions,
                      bool fill = false);

/// The path of the track's file: its BIN file's, or, for an entry of an
/// archive, the archive's path, "/" and the entry's name.
std::string path_of(const disc::Track& track);

/// `bytes` as lower-case hexadecimal digits, two per byte.
std::string to_hex(std::string_view bytes);

/// What the data area must hold for sectors first .. first + count - 1 of
/// the raw sectors `raw`, stored the way a track of `mode` keeps them.
std::string stored(const std::string& raw, std::size_t first, std::size_t count,
                   disc::TrackMode mode);

/// Equal byte strings; otherwise the sizes and a short excerpt at the first
/// difference, rather than megabytes of bytes.
::testing::AssertionResult same_bytes(const std::string& actual, const std::string& expected);

}  // namespace testing_support

// What each track mode means, from the TRACK line of a sheet to the way the
// image stores and describes the track's sectors.
//
// The sheet reader and the image writer both go by this one table, so a
// mode cannot mean one thing to the one and another to the other. Every BIN
// file holds raw 2352-byte sectors (ECMA-130 layout: a 12-byte sync pattern
// and a 4-byte header in front of a data sector's user data, error codes
// behind it); the image keeps only part of a data sector.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace disc {

/// Every BIN file holds raw sectors of this size, whatever the track's mode.
inline constexpr std::uint32_t kRawSectorSize = 2352;

/// The three track types a sheet may name; the value is the mode code.
enum class TrackMode : std::uint8_t { Audio = 0, Mode1 = 1, Mode2 = 2 };

struct TrackModeFacts {
  TrackMode mode;
  /// The type as a TRACK line names it.
  std::string_view cue_type;
  /// Bytes the image keeps of each raw sector ...
  std::uint32_t stored_size;
  /// ... starting at this byte of the raw sector.
  std::uint32_t first_stored_byte;
  /// The descriptor's mode value.
  std::uint32_t cdi_mode;
  /// The descriptor's sector size code: 0 for 2048, 1 for 2336, 2 for 2352 bytes.
  std::uint32_t cdi_sector_size_code;
  /// The data-track bit of the CD control field: 4 for data, 0 for audio.
  std::uint32_t cdi_control;
};

// Audio keeps the whole sector; mode 1 the 2048 bytes of user data after
// sync and header (dropping the 288 bytes of error codes behind them); mode 2
// everything after sync and header, whatever it holds.
// clang-format off
inline constexpr std::array<TrackModeFacts, 3> kTrackModes = {{
    // mode             cue_type      stored first cdi_mode size_code control
    {TrackMode::Audio, "AUDIO",      2352,  0,    0,       2,        0},
    {TrackMode::Mode1, "MODE1/2352", 2048,  16,   1,       0,        4},
    {TrackMode::Mode2, "MODE2/2352", 2336,  16,   2,       1,        4},
}};
// clang-format on

constexpr const TrackModeFacts& facts_of(TrackMode mode) {
  return kTrackModes[static_cast<std::size_t>(mode)];
}

static_assert(facts_of(TrackMode::Audio).mode == TrackMode::Audio &&
                  facts_of(TrackMode::Mode1).mode == TrackMode::Mode1 &&
                  facts_of(TrackMode::Mode2).mode == TrackMode::Mode2,
              "each mode's row stands at the mode's code");

}  // namespace disc

// The two phases of writing an image, for write_out and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dj/cdrom.h"
#include "dj/output_writer.h"

namespace dj {

/// Session pregaps and every track's sectors in their stored size. Returns
/// the number of sectors written for each track, in disc order.
std::vector<std::uint32_t> write_data_area(const Cdrom& disc, OutputWriter& out);

/// The descriptor that follows the data area, its size D as its last 4 bytes.
/// Each track's sectors are counted again from its file's size; when
/// `written_sectors` is given (what write_data_area returned), a count that
/// differs from it is refused: the descriptor would not match the data area.
std::string build_descriptor(const Cdrom& disc,
                             const std::vector<std::uint32_t>* written_sectors = nullptr);

/// The sum of a track's INDEX 01 positions: the sectors in front of its
/// INDEX 01 that belong to the track before it.
std::uint64_t index01_sectors(const Track& track);

}  // namespace dj

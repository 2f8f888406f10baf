// The two phases of writing an image, for write_out and the tests.
#pragma once

#include <cstdint>
#include <string>

#include "dj/cdrom.h"
#include "dj/output_writer.h"

namespace dj {

/// Session pregaps and every track's sectors in their stored size.
void write_data_area(const Cdrom& disc, OutputWriter& out);

/// The descriptor that follows the data area, its size D as its last 4 bytes.
std::string build_descriptor(const Cdrom& disc);

/// The sum of a track's INDEX 01 positions: the sectors in front of its
/// INDEX 01 that belong to the track before it.
std::uint64_t index01_sectors(const Track& track);

}  // namespace dj

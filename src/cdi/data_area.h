// The track data area: the first and largest part of the image.
#pragma once

#include <cstdint>

#include "cdi/layout.h"
#include "cdi/output_writer.h"
#include "disc/cdrom.h"

namespace cdi {

/// Writes, track after track, each track's pregap of zero sectors and every
/// raw sector of its file cut to the part the image keeps. Refuses a track
/// file that cannot be read, or whose size is no longer what the layout
/// counted.
void write_data_area(const disc::Cdrom& cdrom, const ImageLayout& layout, OutputWriter& out);

/// The bytes that write_data_area writes for `cdrom` laid out as `layout`.
std::uint64_t data_area_size(const disc::Cdrom& cdrom, const ImageLayout& layout);

}  // namespace cdi

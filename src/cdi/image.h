// Writing a whole CDI image.
//
// A conversion first lays the image out (cdi/layout.h), which refuses every
// disc that cannot become an image, then creates the output file and writes
// it from that layout here.
#pragma once

#include <cstdint>

#include "cdi/layout.h"
#include "cdi/output_writer.h"
#include "disc/cdrom.h"

namespace cdi {

/// Writes the image of `cdrom`, laid out as `layout`, through `out`: the
/// track data area, then the descriptor; closes the file last. Refuses what
/// only the track data can reveal (a read failure, a file that changed since
/// it was measured) and every failing write, leaving whatever had reached
/// the file in place.
void write_out(const disc::Cdrom& cdrom, const ImageLayout& layout, OutputWriter out);

/// The size in bytes of the image that write_out writes, for a progress bar.
std::uint64_t image_size(const disc::Cdrom& cdrom, const ImageLayout& layout);

}  // namespace cdi

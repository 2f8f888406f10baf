// The image descriptor: what makes the data area a CDI image.
#pragma once

#include <string>

#include "cdi/layout.h"
#include "disc/cdrom.h"

namespace cdi {

/// The disc information block that precedes every track entry and stands in
/// the closing block, the same bytes in every place. The disc must be within
/// the limits that lay_out checks.
std::string discinfoblock(const disc::Cdrom& cdrom);

/// The descriptor of `cdrom` laid out as `layout`, its size D as its last 4 bytes.
std::string build_descriptor(const disc::Cdrom& cdrom, const ImageLayout& layout);

}  // namespace cdi

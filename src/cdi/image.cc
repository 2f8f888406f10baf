#include "cdi/image.h"

#include "cdi/data_area.h"
#include "cdi/descriptor.h"

namespace cdi {

void write_out(const disc::Cdrom& cdrom, const ImageLayout& layout, OutputWriter out) {
  write_data_area(cdrom, layout, out);
  out.write(build_descriptor(cdrom, layout));
  out.close();
}

std::uint64_t image_size(const disc::Cdrom& cdrom, const ImageLayout& layout) {
  return data_area_size(cdrom, layout) + build_descriptor(cdrom, layout).size();
}

}  // namespace cdi

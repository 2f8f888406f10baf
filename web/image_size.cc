// The size of the image that a sheet gives, for the page's progress bar.
//
// The run itself says nothing of sizes, so before it starts the page asks
// here: the sheet is read and the image laid out as the run will do it. A
// disc that the run will refuse has no size; the run says why.
#include "cdi/image.h"
#include "cdi/layout.h"
#include "cue_parse/cue_parse.h"

/// The image size in bytes of the sheet at `sheet`, or 0 when the disc is
/// refused. A double, as JavaScript numbers are: exact far beyond any CD.
extern "C" double cuesmelt_image_size(const char* sheet) {
  try {
    const disc::Cdrom cdrom = cue_parse::parse_cue(sheet);
    return static_cast<double>(cdi::image_size(cdrom, cdi::lay_out(cdrom)));
  } catch (...) {
    return 0;
  }
}

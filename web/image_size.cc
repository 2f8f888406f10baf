// What the page asks of a sheet before its run: the size of the image it
// gives, for the progress bar, and for a zip archive the sheet inside it,
// after which the image is named.
//
// The run itself says nothing of either, so before it starts the page asks
// here: the sheet is read and the image laid out as the run will do it. A
// disc that the run will refuse has no size; the run says why.
#include <optional>
#include <string>

#include "cdi/image.h"
#include "cdi/layout.h"
#include "cue_parse/cue_parse.h"
#include "zip/archive.h"

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

/// The name of the one sheet in the zip archive at `path`, without its
/// folder there; empty when `path` is no archive, or the run will refuse it.
extern "C" const char* cuesmelt_sheet_in_archive(const char* path) {
  static std::string name;
  name.clear();
  try {
    const std::optional<zip::Archive> archive = zip::Archive::read_if_zip(path);
    if (!archive) return "";
    const auto sheets = cue_parse::sheets_in(*archive);
    if (sheets.size() == 1) name = sheets.front().substr(sheets.front().rfind('/') + 1);
  } catch (...) {
  }
  return name.c_str();
}

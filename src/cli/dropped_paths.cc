#include "cli/dropped_paths.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "base/system.h"
#include "base/utf8.h"
#include "cli/conversion.h"
#include "cue_parse/cue_parse.h"
#include "zip/archive.h"

namespace cli {
namespace {

using base::Failure;

constexpr std::string_view kImageEnding = ".cdi";
constexpr std::string_view kArchiveEnding = ".zip";

using base::lower_ascii;

/// Name order as Explorer shows it, near enough: letters in either case
/// together ("alpha" before "Beta"), then byte order.
bool comes_before(const std::string& a, const std::string& b) {
  const auto folded_before = [](char x, char y) {
    return static_cast<unsigned char>(lower_ascii(x)) < static_cast<unsigned char>(lower_ascii(y));
  };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded_before)) {
    return true;
  }
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded_before)) {
    return false;
  }
  return a < b;
}

/// The last component of `path`, or the whole path when it has none of its
/// own (a drive's root, "D:\").
std::string_view shown_name(std::string_view path) {
  std::string_view name = path.substr(base::directory_of(path).size());
  while (!name.empty() && base::is_path_separator(name.front())) name.remove_prefix(1);
  return name.empty() ? path : name;
}

/// `name` without the extension of its last component.
std::string_view without_extension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  const std::size_t slash = name.find_last_of("/\\");
  return dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)
             ? name
             : name.substr(0, dot);
}

/// The sheets in the zip archive at `path`, or nullopt when it is none. A
/// damaged or split archive is one too, of no sheets listed: the run that
/// converts it says what is wrong.
std::optional<std::vector<std::string>> sheets_if_archive(const std::string& path) {
  try {
    const std::optional<zip::Archive> archive = zip::Archive::read_if_zip(path);
    if (!archive) return std::nullopt;
    return cue_parse::sheets_in(*archive);
  } catch (const Failure&) {
    return std::vector<std::string>{};
  }
}

/// One conversion that a dropped path stands for.
struct Conversion {
  SheetInput input;
  std::string image;
  std::string heading;
};

std::string lowered(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = lower_ascii(c);
  return lower;
}

/// The image's name for `sheet` of an archive that holds `sheets`: the
/// sheet's own name; or, where another of them has that name too (in any
/// case), its whole path in the archive, its folders joined by " - ", so
/// that no image replaces another.
std::string image_name_in_archive(const std::vector<std::string>& sheets,
                                  const std::string& sheet) {
  const auto own_name = [](std::string_view name) {
    return lowered(without_extension(name.substr(name.rfind('/') + 1)));
  };
  const auto same_name = [&](const std::string& other) {
    return own_name(other) == own_name(sheet);
  };
  if (std::count_if(sheets.begin(), sheets.end(), same_name) == 1) {
    return std::string(without_extension(sheet.substr(sheet.rfind('/') + 1))) +
           std::string(kImageEnding);
  }
  std::string name;
  for (const char c : without_extension(sheet))
    name += c == '/' ? std::string(" - ") : std::string(1, c);
  return name + std::string(kImageEnding);
}

/// The conversions of an archive's sheets, each image beside the archive.
/// An archive of one sheet, or none, converts as `--cue <archive>` does,
/// whose run says what is wrong with it.
void add_archive(const std::string& path, const std::vector<std::string>& sheets,
                 std::vector<Conversion>& conversions) {
  const std::string folder(base::directory_of(path));
  const std::string archive_name(shown_name(path));
  if (sheets.size() <= 1) {
    const std::string image =
        sheets.empty() ? std::string(without_extension(archive_name)) + std::string(kImageEnding)
                       : image_name_in_archive(sheets, sheets.front());
    const std::string heading = sheets.empty() ? archive_name : archive_name + "/" + sheets.front();
    conversions.push_back({{path, {}}, base::join_path(folder, image), heading});
    return;
  }
  for (const std::string& sheet : sheets) {
    conversions.push_back({{path, sheet},
                           base::join_path(folder, image_name_in_archive(sheets, sheet)),
                           archive_name + "/" + sheet});
  }
}

void add_sheet(const std::string& path, std::vector<Conversion>& conversions) {
  conversions.push_back({{path, {}},
                         std::string(without_extension(path)) + std::string(kImageEnding),
                         std::string(shown_name(path))});
}

/// The sheets and archives directly inside `folder`, in name order.
std::vector<Conversion> conversions_in_folder(const std::string& folder) {
  std::optional<std::vector<std::string>> names = base::folder_entries(folder);
  if (!names) {
    const int error = errno;
    throw Failure("Error while reading folder " + base::quoted_path(folder) + ": " +
                  base::error_text(error));
  }
  std::sort(names->begin(), names->end(), comes_before);
  std::vector<Conversion> conversions;
  for (const std::string& name : *names) {
    const std::string path = base::join_path(folder, name);
    if (cue_parse::is_sheet_name(name)) {
      add_sheet(path, conversions);
    } else if (base::ends_in_any_case(name, kArchiveEnding)) {
      if (const auto sheets = sheets_if_archive(path)) add_archive(path, *sheets, conversions);
    }
  }
  if (conversions.empty()) {
    throw Failure("No CUE sheet (.cue) or zip archive in the folder " + base::quoted_path(folder));
  }
  return conversions;
}

/// The conversions that the dropped `path` stands for: a folder's, an
/// archive's, or its own.
std::vector<Conversion> conversions_of(const std::string& path) {
  const std::optional<base::FileStatus> status = base::path_status(path);
  if (status && status->is_folder) return conversions_in_folder(path);
  std::vector<Conversion> conversions;
  if (const auto sheets = sheets_if_archive(path)) {
    add_archive(path, *sheets, conversions);
  } else if (cue_parse::is_sheet_name(path)) {
    // A sheet that is not there is left to the run, which says "File not found!".
    add_sheet(path, conversions);
  } else {
    throw Failure("Neither a CUE sheet (.cue), a zip archive nor a folder: " +
                  base::quoted_path(path));
  }
  return conversions;
}

void print(std::string_view text) {
  base::write_standard(base::StandardStream::Output, text);
}

void print_heading(std::string_view heading) {
  print("== ");
  print(heading);
  print("\n");
}

struct Tally {
  int converted = 0;
  int not_converted = 0;
};

/// Converts what `path` stands for, counting each conversion in `tally`; a
/// path that stands for none counts once, as not converted.
void convert_path(const std::string& path, Tally& tally) {
  std::vector<Conversion> conversions;
  try {
    conversions = conversions_of(path);
  } catch (const Failure& failure) {
    print_heading(shown_name(path));
    base::write_standard(base::StandardStream::Error, failure.what());
    base::write_standard(base::StandardStream::Error, "\n");
    ++tally.not_converted;
    return;
  }
  for (const Conversion& conversion : conversions) {
    print_heading(conversion.heading);
    const int status = run_reporting([&conversion](StandardOutput& out) {
      return convert(conversion.input, conversion.image, out);
    });
    ++(status == 0 ? tally.converted : tally.not_converted);
  }
}

}  // namespace

int convert_dropped_paths(const std::vector<std::string>& args) {
  Tally tally;
  for (std::size_t i = 1; i < args.size(); ++i) convert_path(args[i], tally);
  print(std::to_string(tally.converted) + " converted, " + std::to_string(tally.not_converted) +
        " not converted\n");
  return tally.not_converted == 0 ? 0 : 1;
}

}  // namespace cli

#include "cli/dropped_paths.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "base/system.h"
#include "base/utf8.h"
#include "cli/run.h"

namespace cli {
namespace {

using base::Failure;

constexpr std::string_view kSheetEnding = ".cue";
constexpr std::string_view kImageEnding = ".cdi";

char lower_ascii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Whether `path` names a sheet: it ends in ".cue", in any case, as Windows
/// matches names.
bool is_sheet_name(std::string_view path) {
  if (path.size() < kSheetEnding.size()) return false;
  const std::string_view ending = path.substr(path.size() - kSheetEnding.size());
  return std::equal(ending.begin(), ending.end(), kSheetEnding.begin(),
                    [](char a, char b) { return lower_ascii(a) == b; });
}

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

/// The sheets directly inside `folder`, in name order.
std::vector<std::string> sheets_in_folder(const std::string& folder) {
  const std::optional<std::vector<std::string>> names = base::folder_entries(folder);
  if (!names) {
    const int error = errno;
    throw Failure("Error while reading folder " + base::quoted_path(folder) + ": " +
                  base::error_text(error));
  }
  std::vector<std::string> sheets;
  std::copy_if(names->begin(), names->end(), std::back_inserter(sheets), is_sheet_name);
  if (sheets.empty())
    throw Failure("No CUE sheet (.cue) in the folder " + base::quoted_path(folder));
  std::sort(sheets.begin(), sheets.end(), comes_before);
  for (std::string& sheet : sheets) sheet = base::join_path(folder, sheet);
  return sheets;
}

/// The sheets that the dropped `path` stands for: itself, or a folder's.
std::vector<std::string> sheets_of(const std::string& path) {
  const std::optional<base::FileStatus> status = base::path_status(path);
  if (status && status->is_folder) return sheets_in_folder(path);
  // A sheet that is not there is left to the run, which says "File not found!".
  if (!is_sheet_name(path)) {
    throw Failure("Neither a CUE sheet (.cue) nor a folder: " + base::quoted_path(path));
  }
  return {path};
}

void print(std::string_view text) {
  base::write_standard(base::StandardStream::Output, text);
}

void print_heading(std::string_view path) {
  print("== ");
  print(shown_name(path));
  print("\n");
}

struct Tally {
  int converted = 0;
  int not_converted = 0;
};

/// Converts the sheets that `path` stands for, counting each in `tally`; a
/// path that stands for none counts once, as not converted.
void convert_path(const std::string& invocation, const std::string& path, Tally& tally) {
  std::vector<std::string> sheets;
  try {
    sheets = sheets_of(path);
  } catch (const Failure& failure) {
    print_heading(path);
    base::write_standard(base::StandardStream::Error, failure.what());
    base::write_standard(base::StandardStream::Error, "\n");
    ++tally.not_converted;
    return;
  }
  for (const std::string& sheet : sheets) {
    print_heading(sheet);
    const std::string image =
        sheet.substr(0, sheet.size() - kSheetEnding.size()) + std::string(kImageEnding);
    // The attached forms keep every name a value, whatever it begins with.
    const int status = run({invocation, "--cue=" + sheet, "--cdi=" + image});
    ++(status == 0 ? tally.converted : tally.not_converted);
  }
}

}  // namespace

int convert_dropped_paths(const std::vector<std::string>& args) {
  Tally tally;
  for (std::size_t i = 1; i < args.size(); ++i) convert_path(args[0], args[i], tally);
  print(std::to_string(tally.converted) + " converted, " + std::to_string(tally.not_converted) +
        " not converted\n");
  return tally.not_converted == 0 ? 0 : 1;
}

}  // namespace cli

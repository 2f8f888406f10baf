// One conversion, from the banner to the exit status, as the command line
// and the sheets dropped on cuesmelt.exe both run it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "cli/standard_output.h"

namespace cli {

/// The sheet that a conversion reads.
struct SheetInput {
  /// A sheet, or a zip archive holding one.
  std::string path;
  /// The name of one of the sheets in the archive at `path`; none for a
  /// sheet, or an archive of one sheet.
  std::optional<std::string> sheet_in_archive;
};

/// Runs `body` with the run's standard output, the banner printed first,
/// and returns its exit status; a failure's one message goes to standard
/// error, and its status is returned instead.
int run_reporting(const std::function<int(StandardOutput&)>& body);

/// Converts `input` into the image at `image_path`, printing the progress
/// texts to `out`; returns 0. The output file is created only after the
/// whole sheet has been read and the image laid out. Throws base::Failure.
int convert(const SheetInput& input, const std::string& image_path, StandardOutput& out);

/// Reports, without taking memory, that memory ran out; returns status 1.
int report_out_of_memory();

}  // namespace cli

// The run sequence: banner, sheet, layout, output file, image.
//
// The output file is created only after the whole sheet has been read and
// the image laid out, so a refused disc leaves an existing file at the
// output path as it was; only what needs the track data itself (a failing
// read, a file that changes meanwhile, damaged data in an archive, a
// failing write) can fail later.
#include "cli/conversion.h"

#include <cerrno>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "base/failure.h"
#include "base/system.h"
#include "cdi/image.h"
#include "cdi/layout.h"
#include "cdi/output_writer.h"
#include "cue_parse/cue_parse.h"
#include "disc/cdrom.h"
#include "zip/archive.h"

namespace cli {
namespace {

using base::Failure;

// The banner is fixed text: it stays as it is from version to version. The
// web address is the project's, given when the build is configured
// (CMakeLists.txt).
constexpr std::string_view kBannerTitle = "cuesmelt BETA 0.9 - 2024-03-30";
constexpr std::string_view kAuthorCredit = "the cuesmelt developers";
constexpr std::string_view kWebAddress = CUESMELT_HOME_PAGE;

/// The first line of every run's standard output, line feed included.
std::string banner() {
  std::string line(kBannerTitle);
  line += ' ';
  line += kAuthorCredit;
  line += " - ";
  line += kWebAddress;
  line += '\n';
  return line;
}

bool names_file(const std::string& path, const base::FileId& file) {
  const std::optional<base::FileStatus> status = base::path_status(path);
  return status && status->id == file;
}

/// The file on disk that holds the track's sectors: its BIN file, or the
/// archive that holds that.
const std::string& file_holding(const disc::Track& track) {
  if (const auto* entry = std::get_if<disc::ArchiveEntry>(&track.source)) {
    return entry->archive_path;
  }
  return std::get<disc::BinaryFile>(track.source).path;
}

/// Truncating the output would destroy the sheet or a track file (or the
/// archive holding them) before, or after, it is read, so an output path
/// that names one of them, through a symbolic or hard link too, is refused
/// before anything is touched.
void refuse_output_that_is_an_input(const std::string& output_path, const SheetInput& input,
                                    const disc::Cdrom& cdrom) {
  const std::optional<base::FileStatus> output = base::path_status(output_path);
  if (!output) {
    if (errno == ENOENT) return;  // nothing there to destroy
    // What is there cannot be told apart from the inputs; creating the file
    // would most likely fail the same way.
    throw Failure("Error while creating file. Quitting...");
  }
  bool is_input = names_file(input.path, output->id);
  for (const disc::Session& session : cdrom.sessions) {
    for (const disc::Track& track : session.tracks) {
      is_input = is_input || names_file(file_holding(track), output->id);
    }
  }
  if (is_input) throw Failure("Error: output file is the same as an input file. Quitting...");
}

cdi::OutputWriter create_output_file(const std::string& path) {
  base::File file = base::open_file(path, base::Access::CreateOrTruncate);
  if (!file.is_open()) throw Failure("Error while creating file. Quitting...");
  return cdi::OutputWriter(std::move(file));
}

disc::Cdrom read_sheet(const SheetInput& input) {
  if (!input.sheet_in_archive) return cue_parse::parse_cue(input.path);
  const std::optional<zip::Archive> archive = zip::Archive::read_if_zip(input.path);
  if (!archive) throw Failure("File not found!");  // it was one when it was listed
  return cue_parse::parse_cue_in_archive(*archive, *input.sheet_in_archive);
}

int report(std::string_view message, int exit_status) {
  // Two writes rather than a concatenation: this also reports running out of memory.
  base::write_standard(base::StandardStream::Error, message);
  base::write_standard(base::StandardStream::Error, "\n");
  return exit_status;
}

}  // namespace

int convert(const SheetInput& input, const std::string& image_path, StandardOutput& out) {
  out.print("parsing bin+cue... ");
  const disc::Cdrom cdrom = read_sheet(input);
  out.print("ok.\nwriting... \n");
  refuse_output_that_is_an_input(image_path, input, cdrom);
  const cdi::ImageLayout layout = cdi::lay_out(cdrom);
  cdi::write_out(cdrom, layout, create_output_file(image_path));
  out.print("enjoy!\n");
  return 0;
}

int run_reporting(const std::function<int(StandardOutput&)>& body) {
  StandardOutput out(base::is_terminal(base::StandardStream::Output), [](std::string_view text) {
    base::write_standard(base::StandardStream::Output, text);
  });
  try {
    out.print(banner());
    return body(out);
  } catch (const Failure& failure) {
    out.end_open_line();
    return report(failure.what(), failure.exit_status());
  } catch (const std::bad_alloc&) {
    out.end_open_line();
    return report_out_of_memory();
  }
}

int report_out_of_memory() {
  return report("Error: out of memory. Quitting...", 1);
}

}  // namespace cli

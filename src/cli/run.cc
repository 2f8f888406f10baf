// The run sequence: banner, command line, sheet, layout, output file, image.
//
// The output file is created only after the whole sheet has been read and
// the image laid out, so a refused disc leaves an existing file at the
// output path as it was; only what needs the track data itself (a failing
// read, a file that changes meanwhile, a failing write) can fail later.
#include "cli/run.h"

#include <cerrno>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "base/system.h"
#include "cdi/image.h"
#include "cdi/layout.h"
#include "cdi/output_writer.h"
#include "cli/command_line.h"
#include "cli/console_window.h"
#include "cli/dropped_paths.h"
#include "cli/standard_output.h"
#include "cli/text_style.h"
#include "cue_parse/cue_parse.h"
#include "disc/cdrom.h"

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

/// Truncating the output would destroy the sheet or a track file before (or
/// after) it is read, so an output path that names one of them, through a
/// symbolic or hard link too, is refused before anything is touched.
void refuse_output_that_is_an_input(const Cli& cli, const disc::Cdrom& cdrom) {
  const std::optional<base::FileStatus> output = base::path_status(cli.outcdi);
  if (!output) {
    if (errno == ENOENT) return;  // nothing there to destroy
    // What is there cannot be told apart from the inputs; creating the file
    // would most likely fail the same way.
    throw Failure("Error while creating file. Quitting...");
  }
  bool is_input = names_file(cli.incue, output->id);
  for (const disc::Session& session : cdrom.sessions) {
    for (const disc::Track& track : session.tracks) {
      is_input = is_input || names_file(track.file_path, output->id);
    }
  }
  if (is_input) throw Failure("Error: output file is the same as an input file. Quitting...");
}

cdi::OutputWriter create_output_file(const std::string& path) {
  base::File file = base::open_file(path, base::Access::CreateOrTruncate);
  if (!file.is_open()) throw Failure("Error while creating file. Quitting...");
  return cdi::OutputWriter(std::move(file));
}

int convert(const Cli& cli, StandardOutput& out) {
  out.print("parsing bin+cue... ");
  const disc::Cdrom cdrom = cue_parse::parse_cue(cli.incue);
  out.print("ok.\nwriting... \n");
  refuse_output_that_is_an_input(cli, cdrom);
  const cdi::ImageLayout layout = cdi::lay_out(cdrom);
  cdi::write_out(cdrom, layout, create_output_file(cli.outcdi));
  out.print("enjoy!\n");
  return 0;
}

int report(std::string_view message, int exit_status) {
  // Two writes rather than a concatenation: this also reports running out of memory.
  base::write_standard(base::StandardStream::Error, message);
  base::write_standard(base::StandardStream::Error, "\n");
  return exit_status;
}

int report_out_of_memory() {
  return report("Error: out of memory. Quitting...", 1);
}

}  // namespace

int run(const std::vector<std::string>& args) {
  StandardOutput out(base::is_terminal(base::StandardStream::Output), [](std::string_view text) {
    base::write_standard(base::StandardStream::Output, text);
  });
  try {
    out.print(banner());
    const ParsedCommandLine parsed = parse_command_line(
        args, style_for(base::StandardStream::Output), style_for(base::StandardStream::Error));
    if (parsed.action != Action::Run) {
      out.print(parsed.text);
      return 0;
    }
    return convert(parsed.cli, out);
  } catch (const Failure& failure) {
    out.end_open_line();
    return report(failure.what(), failure.exit_status());
  } catch (const std::bad_alloc&) {
    out.end_open_line();
    return report_out_of_memory();
  }
}

int run(int argc, char** argv) {
  base::open_missing_standard_streams();
  try {
    const std::vector<std::string> args = base::process_arguments(argc, argv);
    if (takes_dropped_paths(base::console_facts(), args)) return convert_dropped_paths(args);
    return run(args);
  } catch (const std::bad_alloc&) {
    return report_out_of_memory();
  }
}

}  // namespace cli

// The run sequence: banner, command line, sheet, output file, image.
//
// The output file is created only after the whole sheet has been read and
// checked, so a refused sheet leaves an existing file at the output path as
// it was.
#include "cli/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string_view>

#include "cli/command_line.h"
#include "cue_parse/cue_parse.h"
#include "dj/cdrom.h"
#include "dj/failure.h"
#include "dj/output_writer.h"

namespace cli {
namespace {

using dj::Failure;

void print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

bool same_file(const struct stat& a, const std::string& path) {
  struct stat b;
  return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// Truncating the output would destroy the sheet or a track file before (or
/// after) it is read, so an output path that names one of them, through a
/// symbolic or hard link too, is refused before anything is touched.
void refuse_output_that_is_an_input(const Cli& cli, const dj::Cdrom& disc) {
  struct stat output;
  if (::stat(cli.outcdi.c_str(), &output) != 0) {
    if (errno == ENOENT) return;  // nothing there to destroy
    // What is there cannot be told apart from the inputs; creating the file
    // would most likely fail the same way.
    throw Failure("Error while creating file. Quitting...");
  }
  bool is_input = same_file(output, cli.incue);
  for (const auto& session : disc.sessions) {
    for (const auto& track : session.tracks) {
      is_input = is_input || same_file(output, track.file_path);
    }
  }
  if (is_input) throw Failure("Error: output file is the same as an input file. Quitting...");
}

dj::OutputWriter create_output_file(const std::string& path) {
  for (;;) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd >= 0) return dj::OutputWriter(fd);
    if (errno != EINTR) throw Failure("Error while creating file. Quitting...");
  }
}

int convert(const Cli& cli) {
  print("parsing bin+cue... ");
  const dj::Cdrom disc = cue_parse::parse_cue(cli.incue);
  print("ok.\nwriting... \n");
  refuse_output_that_is_an_input(cli, disc);
  disc.write_out(create_output_file(cli.outcdi));
  print("enjoy!\n");
  return 0;
}

int report(std::string_view message, int exit_status) {
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fputc('\n', stderr);
  return exit_status;
}

}  // namespace

int run(const std::vector<std::string>& args) {
  print(banner());
  try {
    const ParsedCommandLine parsed = parse_command_line(args);
    if (parsed.action != Action::Run) {
      print(parsed.text);
      return 0;
    }
    return convert(parsed.cli);
  } catch (const Failure& failure) {
    return report(failure.what(), failure.exit_status());
  } catch (const std::bad_alloc&) {
    return report("Error: out of memory. Quitting...", 1);
  }
}

}  // namespace cli

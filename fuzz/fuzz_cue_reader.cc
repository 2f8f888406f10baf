// Fuzzes the CUE sheet reader: any bytes as a sheet on disk, read through
// parse_cue as a run reads it, beside a few track files the sheet may name.
//
// A refusal is a normal outcome; anything else that escapes, a sanitizer
// report, a hang, or a returned model that breaks what the reader promises
// is a finding.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "cue_parse/cue_parse.h"
#include "disc/cdrom.h"
#include "failure_check.h"
#include "scratch_dir.h"

namespace {

/// The track's BIN file: sheets on disk name no archive's entries.
const std::string& bin_path(const disc::Track& track) {
  return std::get<disc::BinaryFile>(track.source).path;
}

bool is_ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 0x7F) return false;
  }
  return true;
}

bool exists(const std::string& path) {
  struct stat status;
  return path.find('\0') == std::string::npos && ::stat(path.c_str(), &status) == 0;
}

void check_model(const disc::Cdrom& cdrom) {
  if (cdrom.image_name != "cuesmelt" || cdrom.volume_name != "cuesmelt") std::abort();
  if (cdrom.catalog && (cdrom.catalog->size() != 13 || !is_ascii(*cdrom.catalog))) std::abort();
  for (const disc::Session& session : cdrom.sessions) {
    for (const disc::Track& track : session.tracks) {
      if (static_cast<int>(track.mode) > 2) std::abort();
      if (track.isrc && (track.isrc->size() != 12 || !is_ascii(*track.isrc))) std::abort();
      // A TRACK line before any FILE line gets the empty path; any other path
      // is one a FILE line named and the reader found, and nothing here
      // removes files.
      if (!bin_path(track).empty() && !exists(bin_path(track))) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const fuzz::ScratchDir& dir = fuzz::scratch_dir();
  dir.write("a.bin", "");
  dir.write("b.bin", std::string(2 * disc::kRawSectorSize, '\x5A'));
  dir.write("track (1).bin", std::string(disc::kRawSectorSize, '\x01'));
  dir.write("odd.bin", std::string(1000, '\x02'));
  std::filesystem::create_directory(dir.path("disc"));
  dir.write("disc/c.bin", std::string(disc::kRawSectorSize, '\x03'));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string sheet_path = fuzz::scratch_dir().write(
      "sheet.cue", std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    check_model(cue_parse::parse_cue(sheet_path));
  } catch (const base::Failure& failure) {
    fuzz::check_refusal(failure);
  }
  return 0;
}

// Fuzzes the zip archive reader: any bytes as an archive on disk, its
// directory read, each entry streamed and checked as a conversion reads
// one, and the archive read as a sheet would be through parse_cue.
//
// A refusal is a normal outcome; anything else that escapes, a sanitizer
// report, a hang, more bytes than an entry declares, or an entry that passes
// its checks without matching its CRC-32 is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "base/failure.h"
#include "base/crc32.h"
#include "cue_parse/cue_parse.h"
#include "failure_check.h"
#include "scratch_dir.h"
#include "zip/archive.h"
#include "zip/entry_reader.h"

namespace {

// Declared sizes may be huge; past this much an entry is not read on.
constexpr std::uint64_t kMostReadPerEntry = 1 << 20;

void read_entry(const std::string& path, const zip::Entry& entry) {
  zip::EntryReader reader(base::open_file(path, base::Access::Read), path, entry);
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const std::ptrdiff_t got = reader.read_some(buffer, sizeof buffer);
    if (got < 0) std::abort();  // the file is there and readable
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
    if (bytes.size() > entry.size) std::abort();
    if (bytes.size() >= kMostReadPerEntry) return;
  }
  if (bytes.size() != entry.size) std::abort();
  reader.finish();
  if (base::crc32(0, bytes) != entry.crc32) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::ScratchDir& dir = fuzz::scratch_dir();
  const std::string path =
      dir.write("a.zip", std::string(reinterpret_cast<const char*>(data), size));
  try {
    const base::File file = base::open_file(path, base::Access::Read);
    const std::optional<zip::Archive> archive = zip::Archive::read_if_zip(path, file);
    if (!archive) return 0;
    for (const zip::Entry& entry : archive->entries()) {
      try {
        read_entry(path, entry);
      } catch (const base::Failure& failure) {
        fuzz::check_refusal(failure);
      }
    }
    cue_parse::parse_cue(path);
  } catch (const base::Failure& failure) {
    fuzz::check_refusal(failure);
  }
  return 0;
}

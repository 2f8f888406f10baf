// Fuzzes the whole conversion on tiny discs: sheet, reader, writer, image.
//
// The first three input bytes choose the sizes of the track files a.bin,
// b.bin and "track (1).bin" (a few sectors, now and then one byte more); the
// rest is the sheet. The image is written to an in-memory file and compared
// with a data area and a descriptor size worked out here from the model,
// deliberately without the writer's own helpers.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "base/system.h"
#include "cdi/image.h"
#include "cdi/layout.h"
#include "cdi/output_writer.h"
#include "cue_parse/cue_parse.h"
#include "disc/cdrom.h"
#include "failure_check.h"
#include "scratch_dir.h"

namespace {

/// The track's BIN file: sheets on disk name no archive's entries.
const std::string& bin_path(const disc::Track& track) {
  return std::get<disc::BinaryFile>(track.source).path;
}

constexpr std::size_t kSector = 2352;
constexpr std::array<std::string_view, 3> kFileNames = {"a.bin", "b.bin", "track (1).bin"};

/// The current content of each track file, rewritten only when its size changes.
std::array<std::string, 3> files;

void make_files(const std::uint8_t* choices) {
  for (std::size_t f = 0; f < files.size(); ++f) {
    const std::size_t size = (choices[f] & 0x07) * kSector + ((choices[f] & 0xF0) == 0xF0);
    if (files[f].size() == size) continue;
    // Every byte differs from its neighbours, from the same byte of the next
    // sector and from the other files, so a misplaced byte shows.
    files[f].resize(size);
    for (std::size_t i = 0; i < size; ++i) {
      files[f][i] = static_cast<char>(i * 7 + i / kSector * 31 + f * 101);
    }
    fuzz::scratch_dir().write(kFileNames[f], files[f]);
  }
}

/// The content behind a track's path; nullopt for a path that is none of ours.
std::optional<const std::string*> content_of(const std::string& path) {
  if (path.empty()) return nullptr;  // no FILE line: the writer cannot open it
  for (std::size_t f = 0; f < files.size(); ++f) {
    if (path == fuzz::scratch_dir().path(kFileNames[f])) return &files[f];
  }
  return std::nullopt;
}

std::size_t stored_size(disc::TrackMode mode) {
  return mode == disc::TrackMode::Mode1 ? 2048 : mode == disc::TrackMode::Mode2 ? 2336 : kSector;
}

/// The sectors in front of a track's INDEX 01 (only the low 32 bits of a
/// position count).
std::uint64_t index01_sum(const disc::Track& track) {
  std::uint64_t sum = 0;
  for (const disc::Index& index : track.indexes) {
    if (index.number == 1) sum += static_cast<std::uint32_t>(index.position);
  }
  return sum;
}

/// The data area the writer must produce, or nullopt when it must refuse the cdrom.
std::optional<std::string> expected_data_area(const disc::Cdrom& cdrom) {
  std::size_t track_count = 0;
  for (const disc::Session& session : cdrom.sessions) track_count += session.tracks.size();
  if (track_count > 99 || cdrom.sessions.size() > 255) return std::nullopt;
  std::string area;
  for (const disc::Session& session : cdrom.sessions) {
    for (std::size_t j = 0; j < session.tracks.size(); ++j) {
      const disc::Track& track = session.tracks[j];
      const std::string* file = *content_of(bin_path(track));
      if (file == nullptr || file->size() % kSector != 0) return std::nullopt;
      if (j == 0) area.append(150 * stored_size(track.mode), '\0');
      // The sectors in front of a later track's INDEX 01 belong to the track
      // before it, and are stored the way that track stores its sectors.
      const std::uint64_t before_index01 = j > 0 ? index01_sum(track) : 0;
      const std::size_t sectors = file->size() / kSector;
      if (before_index01 > sectors) return std::nullopt;
      for (std::size_t s = 0; s < sectors; ++s) {
        const disc::TrackMode mode = s < before_index01 ? session.tracks[j - 1].mode : track.mode;
        area.append(*file, s * kSector + (mode == disc::TrackMode::Audio ? 0 : 16),
                    stored_size(mode));
      }
    }
  }
  return area;
}

/// Descriptor head, per session a header, track records and a trailer, the closing block.
std::size_t expected_descriptor_size(const disc::Cdrom& cdrom) {
  const std::size_t n = cdrom.image_name.size();
  std::size_t size = 2 + 249 + n + cdrom.volume_name.size();
  for (const disc::Session& session : cdrom.sessions)
    size += 15 + session.tracks.size() * (236 + n);
  return size;
}

/// The disc length in sectors: the gaps in front of the second (11250) and of
/// every later session (6750), and in each session its pregap and all its
/// tracks' sectors, however INDEX 01 divides them between the tracks.
std::uint64_t expected_disc_length(const disc::Cdrom& cdrom) {
  std::uint64_t length = 0;
  for (std::size_t i = 0; i < cdrom.sessions.size(); ++i) {
    length += i == 0 ? 0 : i == 1 ? 11250 : 6750;
    for (const disc::Track& track : cdrom.sessions[i].tracks) {
      length += (*content_of(bin_path(track)))->size() / kSector;
    }
    if (!cdrom.sessions[i].tracks.empty()) length += 150;
  }
  return length;
}

/// Writes the image into an in-memory file and reads it back.
std::string convert(const disc::Cdrom& cdrom) {
  const int fd = ::memfd_create("image", MFD_CLOEXEC);
  const int reader = fd < 0 ? -1 : ::dup(fd);
  if (reader < 0) std::abort();
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } const keep{reader};
  cdi::write_out(cdrom, cdi::lay_out(cdrom), cdi::OutputWriter(base::File(fd)));
  struct stat status;
  if (::fstat(reader, &status) != 0) std::abort();
  std::string image(static_cast<std::size_t>(status.st_size), '\0');
  if (::pread(reader, image.data(), image.size(), 0) != status.st_size) std::abort();
  return image;
}

std::uint32_t le32_at(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

/// Each track entry's pregap, length and start: a track after the first of
/// its session hands the sectors in front of its INDEX 01 to the one before.
void check_track_entries(const std::string& image, std::size_t descriptor,
                         const disc::Cdrom& cdrom) {
  std::size_t offset = image.size() - descriptor + 2;  // past the head
  std::uint64_t position = 0;
  for (std::size_t i = 0; i < cdrom.sessions.size(); ++i) {
    const std::vector<disc::Track>& tracks = cdrom.sessions[i].tracks;
    position += i == 0 ? 0 : i == 1 ? 11250 : 6750;
    offset += 2;  // the session header
    for (std::size_t j = 0; j < tracks.size(); ++j) {
      offset += 60 + cdrom.image_name.size();  // the disc information block
      const std::uint64_t pregap = j == 0 ? 150 : 0;
      std::uint64_t length = (*content_of(bin_path(tracks[j])))->size() / kSector;
      if (j > 0) length -= index01_sum(tracks[j]);
      if (j + 1 < tracks.size()) length += index01_sum(tracks[j + 1]);
      if (le32_at(image, offset + 2) != pregap || le32_at(image, offset + 6) != length ||
          le32_at(image, offset + 32) != position) {
        std::abort();
      }
      position += pregap + length;
      offset += 176;
    }
    offset += 13;  // the session trailer
  }
}

void check_image(const std::string& image, const std::string& area, const disc::Cdrom& cdrom) {
  const std::size_t descriptor = expected_descriptor_size(cdrom);
  if (image.size() != area.size() + descriptor) std::abort();
  if (image.compare(0, area.size(), area) != 0) std::abort();
  if (le32_at(image, image.size() - 4) != descriptor) std::abort();
  if (le32_at(image, image.size() - 8) != 0x80000006) std::abort();  // the format version
  // The closing block: a u16, a disc information block (60 + n bytes), the disc length.
  const std::size_t closing =
      image.size() - (249 + cdrom.image_name.size() + cdrom.volume_name.size());
  if (le32_at(image, closing + 62 + cdrom.image_name.size()) != expected_disc_length(cdrom)) {
    std::abort();
  }
  check_track_entries(image, descriptor, cdrom);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (std::size_t f = 0; f < files.size(); ++f) fuzz::scratch_dir().write(kFileNames[f], "");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < files.size()) return 0;
  make_files(data);
  const std::string sheet_path = fuzz::scratch_dir().write(
      "sheet.cue", std::string_view(reinterpret_cast<const char*>(data), size).substr(3));
  try {
    const disc::Cdrom cdrom = cue_parse::parse_cue(sheet_path);
    // Other paths are the reader fuzzer's business; opening whatever the
    // sheet names (a device, a huge file) would make this one unsafe and slow.
    for (const disc::Session& session : cdrom.sessions) {
      for (const disc::Track& track : session.tracks) {
        if (!content_of(bin_path(track))) return 0;
      }
    }
    const std::optional<std::string> area = expected_data_area(cdrom);
    try {
      const std::string image = convert(cdrom);
      if (!area) std::abort();  // converted a disc it had to refuse
      check_image(image, *area, cdrom);
    } catch (const base::Failure&) {
      if (area) std::abort();  // refused a disc it could convert
      throw;
    }
  } catch (const base::Failure& failure) {
    fuzz::check_refusal(failure);
  }
  return 0;
}

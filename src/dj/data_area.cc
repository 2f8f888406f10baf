// The track data area: the first and largest part of the image.
//
// Session after session: 150 zero sectors of session pregap in front of the
// session's first track, then every raw sector of every track's BIN file cut
// to the part the image keeps for the track's mode. Nothing is written for
// the gaps between sessions; they exist only as numbers in the descriptor.
//
// The files are streamed through one buffer of kWindowSectors raw sectors,
// read in one request each; the stored part of every sector then goes from
// the buffer to the output file in one gathered write, without being moved.
// (Writing straight from a mapping of the track file was measured at a third
// of this speed: the kernel's copy out of file-backed pages is the slow part.)
#include "dj/data_area.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dj/failure.h"
#include "dj/utf8.h"

namespace dj {
namespace {

constexpr std::uint32_t kSessionPregapSectors = 150;
// 1024 sectors (2.3 MiB) is one gathered write of the largest batch.
constexpr std::uint64_t kWindowSectors = 1024;

[[noreturn]] void fail_reading(const std::string& path) {
  throw Failure("Error while reading track file " + quoted_path(path) + ". Quitting...");
}

/// One track file, open for reading, handing out windows of raw sectors.
class TrackFile {
 public:
  explicit TrackFile(const std::string& path) : path_(path) {
    if (path.find('\0') == std::string::npos) {
      // Non-blocking, so that a FIFO in place of a track cannot hang the run.
      do fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
      while (fd_ < 0 && errno == EINTR);
    }
    if (fd_ < 0) throw Failure("Error while opening track file " + quoted_path(path));
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  TrackFile(const TrackFile&) = delete;
  TrackFile& operator=(const TrackFile&) = delete;
  ~TrackFile() { ::close(fd_); }

  /// Only a regular file has the size its sectors were counted by: a FIFO
  /// or a device reports 0 bytes whatever it would deliver, and a directory
  /// cannot be read at all.
  void require_regular_file() const {
    struct stat status;
    if (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) fail_reading(path_);
  }

  /// Raw sectors first .. first + count - 1 (count at most kWindowSectors),
  /// valid until the next call.
  const char* sectors(std::uint64_t first, std::uint64_t count);

 private:
  std::string path_;
  int fd_ = -1;
  std::unique_ptr<char[]> buffer_;
};

const char* TrackFile::sectors(std::uint64_t first, std::uint64_t count) {
  if (!buffer_) buffer_.reset(new char[kWindowSectors * kRawSectorSize]);
  const std::size_t wanted = count * kRawSectorSize;
  std::size_t got = 0;
  while (got < wanted) {
    const ssize_t n = ::pread(fd_, buffer_.get() + got, wanted - got,
                              static_cast<off_t>(first * kRawSectorSize + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail_reading(path_);  // a read error, or the file ended early
    got += static_cast<std::size_t>(n);
  }
  return buffer_.get();
}

/// Copies raw sectors first .. first + count - 1 of `file`, each stored the
/// way a track of `mode` keeps a sector.
void copy_sectors(TrackFile& file, std::uint64_t first, std::uint64_t count, std::uint8_t mode,
                  OutputWriter& out) {
  const std::uint64_t end = first + count;
  for (std::uint64_t sector = first; sector < end; sector += kWindowSectors) {
    const std::uint64_t batch = end - sector < kWindowSectors ? end - sector : kWindowSectors;
    out.write_stored_sectors(file.sectors(sector, batch), batch, mode);
  }
}

/// Writes one track's sectors and returns how many it wrote.
std::uint32_t write_track(const Session& session, std::size_t index, OutputWriter& out) {
  const Track& track = session.tracks[index];
  TrackFile file(track.file_path);
  if (index == 0) out.write_zeros(kSessionPregapSectors * stored_sector_size(track.mode));
  const std::uint32_t sectors = track.sector_count();
  file.require_regular_file();
  // The descriptor counts the sectors in front of a later track's INDEX 01
  // as the end of the track before it; every reader then finds them where
  // that track's sector size puts them, so they are stored in its mode.
  std::uint64_t lead_in = 0;
  std::uint8_t lead_in_mode = track.mode;
  if (index > 0) {
    lead_in = index01_sectors(track);
    lead_in_mode = session.tracks[index - 1].mode;
    if (lead_in > sectors) {
      throw Failure("Error in TRACK: INDEX 01 lies beyond the end of its file. Quitting...");
    }
  }
  copy_sectors(file, 0, lead_in, lead_in_mode, out);
  copy_sectors(file, lead_in, sectors - lead_in, track.mode, out);
  return sectors;
}

}  // namespace

std::uint64_t index01_sectors(const Track& track) {
  std::uint64_t sum = 0;
  for (const Index& index : track.indexes) {
    // Only the low 32 bits of a position fit the image's fields.
    if (index.number == 1) sum += static_cast<std::uint32_t>(index.position);
  }
  return sum;
}

std::vector<std::uint32_t> write_data_area(const Cdrom& disc, OutputWriter& out) {
  std::vector<std::uint32_t> written;
  for (const Session& session : disc.sessions) {
    for (std::size_t index = 0; index < session.tracks.size(); ++index) {
      written.push_back(write_track(session, index, out));
    }
  }
  return written;
}

}  // namespace dj

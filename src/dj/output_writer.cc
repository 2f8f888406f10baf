// A buffered writer that reports every failing write, flush and close.
#include "dj/output_writer.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "dj/cdrom.h"
#include "dj/failure.h"

namespace dj {
namespace {

// Large enough that the data area goes out in few system calls, small enough
// to keep the process's memory small whatever the disc size.
constexpr std::size_t kBufferSize = 1024 * 1024;

// Gathered writes take at most this many pieces (the POSIX minimum of IOV_MAX).
constexpr int kMaxPieces = 1024;

[[noreturn]] void fail_writing(int error) {
  throw Failure(std::string("Error while writing file. Quitting...: ") + std::strerror(error));
}

}  // namespace

OutputWriter::OutputWriter(int fd) : fd_(fd), buffer_(new char[kBufferSize]) {}

OutputWriter::OutputWriter(OutputWriter&& other) noexcept
    : fd_(other.fd_), buffer_(std::move(other.buffer_)), buffered_(other.buffered_) {
  other.fd_ = -1;
  other.buffered_ = 0;
}

OutputWriter::~OutputWriter() {
  if (fd_ >= 0) ::close(fd_);
}

void OutputWriter::write(std::string_view bytes) {
  if (buffered_ + bytes.size() > kBufferSize) {
    flush();
    // A request as large as the buffer gains nothing from a copy.
    if (bytes.size() >= kBufferSize) return write_to_file(bytes);
  }
  std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
  buffered_ += bytes.size();
}

void OutputWriter::write_zeros(std::size_t count) {
  static const char kZeros[64 * 1024] = {};
  while (count > 0) {
    const std::size_t piece = count < sizeof kZeros ? count : sizeof kZeros;
    write(std::string_view(kZeros, piece));
    count -= piece;
  }
}

void OutputWriter::write_stored_sectors(const char* raw, std::size_t count, std::uint8_t mode) {
  if (mode == kModeAudio) return write(std::string_view(raw, count * kRawSectorSize));
  // Data sectors keep everything after the 12-byte sync and 4-byte header,
  // mode 1 only up to the end of its 2048 bytes of user data.
  constexpr std::size_t kHeaderSize = 16;
  const std::size_t stored = stored_sector_size(mode);
  flush();
  iovec pieces[kMaxPieces];
  while (count > 0) {
    const int batch = static_cast<int>(count < kMaxPieces ? count : kMaxPieces);
    for (int i = 0; i < batch; ++i) {
      pieces[i].iov_base = const_cast<char*>(raw) + kHeaderSize;
      pieces[i].iov_len = stored;
      raw += kRawSectorSize;
    }
    write_gathered(pieces, batch);
    count -= static_cast<std::size_t>(batch);
  }
}

void OutputWriter::close() {
  flush();
  const int fd = fd_;
  fd_ = -1;
  // On Linux the descriptor is released even when close is interrupted, so
  // only a real error (such as a delayed write failure on NFS) counts.
  if (::close(fd) != 0 && errno != EINTR) fail_writing(errno);
}

void OutputWriter::flush() {
  write_to_file(std::string_view(buffer_.get(), buffered_));
  buffered_ = 0;
}

void OutputWriter::write_to_file(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      fail_writing(errno);
    }
    // A write that takes nothing would loop for ever; the disk is full.
    if (written == 0) fail_writing(ENOSPC);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void OutputWriter::write_gathered(iovec* pieces, int count) {
  while (count > 0) {
    ssize_t written = ::writev(fd_, pieces, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail_writing(errno);
    }
    if (written == 0) fail_writing(ENOSPC);
    // A short write: skip what went out and resume inside the piece it stopped in.
    while (count > 0 && static_cast<std::size_t>(written) >= pieces->iov_len) {
      written -= static_cast<ssize_t>(pieces->iov_len);
      ++pieces;
      --count;
    }
    if (count > 0) {
      pieces->iov_base = static_cast<char*>(pieces->iov_base) + written;
      pieces->iov_len -= static_cast<std::size_t>(written);
    }
  }
}

}  // namespace dj

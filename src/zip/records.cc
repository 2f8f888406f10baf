#include "zip/records.h"

namespace zip::records {

std::optional<std::string> read_at(const base::File& file, std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  if (!base::seek_to(file, offset)) return std::nullopt;
  std::size_t got = 0;
  while (got < size) {
    const std::ptrdiff_t piece = base::read_some(file, bytes.data() + got, size - got);
    if (piece < 0) return std::nullopt;
    if (piece == 0) break;
    got += static_cast<std::size_t>(piece);
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace zip::records

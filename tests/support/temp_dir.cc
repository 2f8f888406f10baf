#include "support/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/cuesmelt-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::path(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

std::string TempDir::write(std::string_view name, std::string_view bytes) const {
  const std::string file = path(name);
  write_path(file, bytes);
  return file;
}

void TempDir::write_path(const std::string& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string raw_sectors(std::size_t count, unsigned seed) {
  std::string bytes(count * 2352, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t sector = i / 2352;
    const std::size_t offset = i % 2352;
    bytes[i] = static_cast<char>((offset * 7 + sector * 31 + seed * 101 + offset / 256) & 0xFF);
  }
  return bytes;
}

}  // namespace testing_support

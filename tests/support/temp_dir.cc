#include "support/temp_dir.h"

#include <stdlib.h>
#ifdef _WIN32
#include <process.h>
#endif

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/utf8.h"

namespace testing_support {
namespace {

#ifdef _WIN32
// Windows has no mkdtemp: a name of this process's own, tried until it is new.
std::string make_temp_dir() {
  static unsigned attempt = 0;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    const std::filesystem::path dir =
        base / ("cuesmelt-test-" + std::to_string(::_getpid()) + "-" + std::to_string(attempt++));
    if (std::filesystem::create_directory(dir)) return utf8_path(dir);
  }
}
#else
std::string make_temp_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/cuesmelt-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
}
#endif

}  // namespace

TempDir::TempDir() : path_(make_temp_dir()) {}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(fs_path(path_), ignored);
}

std::string TempDir::path(std::string_view name) const {
  return path_ + kPathSeparator + std::string(name);
}

std::string TempDir::write(std::string_view name, std::string_view bytes) const {
  const std::string file = path(name);
  write_path(file, bytes);
  return file;
}

void TempDir::write_path(const std::string& file, std::string_view bytes) {
  std::ofstream out(fs_path(file), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file);
}

std::filesystem::path fs_path(std::string_view path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string utf8_path(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

std::string shown_path(std::string_view path) {
  const std::string quoted = base::quoted_path(path);
  return quoted.substr(1, quoted.size() - 2);
}

std::string read_file(const std::string& path) {
  std::ifstream in(fs_path(path), std::ios::binary);
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

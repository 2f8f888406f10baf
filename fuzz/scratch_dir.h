// The one scratch folder of a fuzzing process, for sheets and track files.
//
// The reader and the writer work on paths, so the fuzz targets put their
// inputs into real files. Making a folder per execution would cost more than
// most executions, so each process makes one, on first use, and reuses it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fuzz {

class ScratchDir {
 public:
  ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/cuesmelt-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  /// `name` inside the folder.
  std::string path(std::string_view name) const { return path_ + "/" + std::string(name); }

  /// Creates or replaces the file `name` holding `bytes`; returns its path.
  std::string write(std::string_view name, std::string_view bytes) const {
    const std::string file = path(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + file);
    return file;
  }

 private:
  std::string path_;
};

/// The process's folder; removed when the process ends normally.
inline const ScratchDir& scratch_dir() {
  static const ScratchDir dir;
  return dir;
}

}  // namespace fuzz

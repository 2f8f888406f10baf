#include "support/deep_folder.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <optional>
#include <stdexcept>

#include "base/utf8.h"

namespace testing_support {
namespace {

std::wstring wide(std::string_view utf8) {
  const std::optional<std::u16string> utf16 = base::utf16_from_utf8(utf8);
  if (!utf16) throw std::invalid_argument("not UTF-8 without NUL");
  return std::wstring(utf16->begin(), utf16->end());
}

HANDLE open(const std::wstring& path, bool write) {
  const HANDLE file = CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, 0, nullptr,
                                  write ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a deep file");
  return file;
}

}  // namespace

DeepFolder::DeepFolder(const std::string& parent, std::size_t length) : path_(parent) {
  // 60-character names, each a different letter, so that a component lost
  // or repeated along the way would show.
  for (char letter = 'a'; path_.size() < length; ++letter) {
    path_ += '\\' + std::string(60, letter);
    folders_.push_back(LR"(\\?\)" + wide(path_));
    if (!CreateDirectoryW(folders_.back().c_str(), nullptr)) {
      throw std::runtime_error("cannot make a deep folder");
    }
  }
}

DeepFolder::~DeepFolder() {
  // Whatever the test left in the innermost folder goes first.
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folders_.back() + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileW((folders_.back() + L'\\' + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
    RemoveDirectoryW(folder->c_str());
  }
}

std::string DeepFolder::path(std::string_view name) const {
  return path_ + '\\' + std::string(name);
}

std::wstring DeepFolder::long_form(std::string_view name) const {
  return LR"(\\?\)" + wide(path(name));
}

void DeepFolder::write(std::string_view name, std::string_view bytes) {
  const HANDLE file = open(long_form(name), true);
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != bytes.size()) throw std::runtime_error("cannot write a deep file");
}

std::string DeepFolder::read(std::string_view name) const {
  const HANDLE file = open(long_form(name), false);
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

}  // namespace testing_support

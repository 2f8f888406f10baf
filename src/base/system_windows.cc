// The system layer on Windows. The program keeps paths, arguments and
// messages in UTF-8; here they meet the wide (UTF-16) API, so that every
// name Windows can hold works, whatever the ANSI code page.
//
// Files are opened with CreateFileW and then handed to the C runtime as a
// descriptor, so that File and the errno-based reports stay those of POSIX
// systems, while the sharing and the opening of folders are chosen here:
// _wopen cannot open a folder, which the callers expect to open and then
// fail to read, as on Linux.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <limits>
#include <memory>

#include "base/system.h"
#include "base/system_calls.h"
#include "base/utf8.h"

namespace base {
namespace {

// Others may read, write, rename and delete a file while it is open, as
// they may on Linux.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The C runtime counts bytes in an int.
constexpr std::size_t kLargestTransfer = INT_MAX;

// Characters written to a console at once.
constexpr std::size_t kConsolePiece = 8192;

/// The errno value for the Windows error `error`. The callers tell a path
/// that leads nowhere (ENOENT) from one that is there but unusable, so every
/// error of a name that does not resolve is ENOENT.
int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default:
      return EIO;
  }
}

void set_errno_from_last_error() {
  errno = errno_of(GetLastError());
}

std::string utf8_of(const wchar_t* text) {
  return utf8_from_utf16(std::u16string(text, text + std::wcslen(text)));
}

std::optional<std::wstring> wide_of(std::string_view text) {
  const std::optional<std::u16string> utf16 = utf16_from_utf8(text);
  if (!utf16) return std::nullopt;
  return std::wstring(utf16->begin(), utf16->end());
}

bool starts_with_any(const std::wstring& text, std::initializer_list<const wchar_t*> prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](const wchar_t* prefix) { return text.starts_with(prefix); });
}

/// `path` made absolute the way Windows resolves names: against the current
/// folder (of its drive), with / turned into \, "." and ".." resolved, and
/// trailing dots and spaces dropped from the last component.
std::optional<std::wstring> full_path(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) {
      set_errno_from_last_error();
      return std::nullopt;
    }
    // Too small a buffer gets the size it needs, terminating NUL included.
    const bool fits = length < full.size();
    full.resize(length);
    if (fits) return full;
  }
}

/// An absolute path in the \\?\ form, which the wide API takes beyond 260
/// characters without any setting of the system. A path already in that
/// form or naming a device (\\.\) stays as it is.
std::wstring without_length_limit(const std::wstring& full) {
  if (starts_with_any(full, {LR"(\\?\)", LR"(\\.\)"})) return full;
  if (full.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + full.substr(2);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return LR"(\\?\)" + full;
  return full;
}

/// The UTF-8 `path` as the wide API takes it. Empty, with errno ENOENT, for
/// a path that can name no file: empty, not valid UTF-8, or holding a NUL
/// (which would otherwise cut it short).
std::optional<std::wstring> system_path(std::string_view path) {
  const std::optional<std::wstring> wide = wide_of(path);
  if (!wide || wide->empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  const std::optional<std::wstring> full = full_path(*wide);
  if (!full) return std::nullopt;
  return without_length_limit(*full);
}

HANDLE handle_of(const File& file) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(file.descriptor()));
}

/// A pipe, console or device is no regular file and has no size; only disk
/// files and folders have the volume and index that identify them.
std::optional<FileStatus> status_of(HANDLE handle) {
  FileStatus status;
  if (GetFileType(handle) != FILE_TYPE_DISK) return status;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) {
    set_errno_from_last_error();
    return std::nullopt;
  }
  status.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  status.is_regular =
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
  status.is_folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.id = {info.dwVolumeSerialNumber,
               (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return status;
}

bool is_drive_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/// The length of the part of `path` that says where it starts: the
/// "\\server\share\" of a UNC path (so also "\\?\C:\" and "\\.\pipe\"),
/// "C:\", "C:" (the drive's current folder) or "\" (the current drive's
/// root); 0 for a path relative to the current folder.
std::size_t root_length(std::string_view path) {
  const auto separator_at = [&](std::size_t i) {
    return i < path.size() && is_path_separator(path[i]);
  };
  if (separator_at(0) && separator_at(1)) {
    std::size_t end = 2;
    for (int component = 0; component < 2 && end < path.size(); ++component) {
      while (end < path.size() && !is_path_separator(path[end])) ++end;
      if (end < path.size()) ++end;  // the separator after the component
    }
    return end;
  }
  if (path.size() >= 2 && path[1] == ':' && is_drive_letter(path[0])) {
    return separator_at(2) ? 3 : 2;
  }
  return separator_at(0) ? 1 : 0;
}

HANDLE standard_handle(StandardStream stream) {
  return GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

/// `text` for the console: bytes that are not UTF-8 show as U+FFFD, and a
/// NUL goes through as one.
std::wstring console_text(std::string_view text) {
  const std::string valid = decode_lossy(text);
  std::string_view rest = valid;
  std::wstring wide;
  for (;;) {
    const std::size_t nul = rest.find('\0');
    // Valid UTF-8 without a NUL always converts.
    wide += wide_of(rest.substr(0, nul)).value_or(std::wstring());
    if (nul == std::string_view::npos) return wide;
    wide += L'\0';
    rest.remove_prefix(nul + 1);
  }
}

void write_to_console(HANDLE console, std::string_view text) {
  const std::wstring wide = console_text(text);
  std::wstring_view rest = wide;
  while (!rest.empty()) {
    // A console takes a limited amount at once. A piece must not end
    // between the two halves of a surrogate pair.
    std::size_t count = std::min<std::size_t>(rest.size(), kConsolePiece);
    if (count < rest.size() && IS_HIGH_SURROGATE(rest[count - 1])) --count;
    DWORD written = 0;
    if (!WriteConsoleW(console, rest.data(), static_cast<DWORD>(count), &written, nullptr) ||
        written == 0)
      return;
    rest.remove_prefix(written);
  }
}

/// Files and pipes get the bytes as they are: UTF-8, with LF line ends.
void write_bytes(HANDLE handle, std::string_view text) {
  while (!text.empty()) {
    const DWORD count = static_cast<DWORD>(std::min(text.size(), kLargestTransfer));
    DWORD written = 0;
    if (!WriteFile(handle, text.data(), count, &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

}  // namespace

bool system_calls::close_descriptor(int descriptor) {
  return _close(descriptor) == 0;
}

std::ptrdiff_t system_calls::write_some(int descriptor, const char* bytes, std::size_t size) {
  return _write(descriptor, bytes, static_cast<unsigned>(std::min(size, kLargestTransfer)));
}

File open_file(std::string_view path, Access access) {
  const std::optional<std::wstring> name = system_path(path);
  if (!name) return File();
  // Opening a named pipe never waits for its other end, so both kinds of
  // reading open alike. Reading may open a folder, whose reads then fail.
  const bool writing = access == Access::CreateOrTruncate;
  const HANDLE handle =
      CreateFileW(name->c_str(), writing ? GENERIC_WRITE : GENERIC_READ, kShareAll, nullptr,
                  writing ? CREATE_ALWAYS : OPEN_EXISTING,
                  writing ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    set_errno_from_last_error();
    return File();
  }
  const int flags = (writing ? _O_WRONLY : _O_RDONLY) | _O_BINARY | _O_NOINHERIT;
  const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), flags);
  if (descriptor < 0) {
    const int error = errno;
    CloseHandle(handle);
    errno = error;
    return File();
  }
  return File(descriptor);
}

void expect_sequential_reading(const File&) {
  // Nothing to say: Windows reads ahead on its own once reads follow each
  // other, and its one hint for this is a flag given when the file opens.
}

std::ptrdiff_t read_some(const File& file, char* buffer, std::size_t size) {
  return _read(file.descriptor(), buffer, static_cast<unsigned>(std::min(size, kLargestTransfer)));
}

bool seek_to(const File& file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<__int64>::max())) {
    errno = EINVAL;
    return false;
  }
  return _lseeki64(file.descriptor(), static_cast<__int64>(offset), SEEK_SET) >= 0;
}

std::optional<FileStatus> file_status(const File& file) {
  const HANDLE handle = handle_of(file);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;  // errno is EBADF
  return status_of(handle);
}

std::optional<FileStatus> path_status(std::string_view path) {
  const std::optional<std::wstring> name = system_path(path);
  if (!name) return std::nullopt;
  // No access asked for: the status is there even for a file that others
  // keep from being read. Links are followed, as CreateFileW does unless
  // told otherwise; the flag lets folders open.
  const HANDLE handle = CreateFileW(name->c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    set_errno_from_last_error();
    return std::nullopt;
  }
  const std::optional<FileStatus> status = status_of(handle);
  const int error = errno;
  CloseHandle(handle);
  errno = error;
  return status;
}

std::optional<std::vector<std::string>> folder_entries(std::string_view path) {
  const std::optional<std::wstring> name = system_path(path);
  if (!name) return std::nullopt;
  // Every name, matched by no pattern but "*": patterns also match the short
  // 8.3 names, so that "*.cue" would find "Disc.cuex" too.
  std::wstring every_name = *name;
  if (!every_name.ends_with(L'\\')) every_name += L'\\';
  every_name += L'*';
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(every_name.c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    // A drive's root has no "." and "..": when empty, there is nothing to find.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<std::string>();
    set_errno_from_last_error();
    return std::nullopt;
  }
  const std::unique_ptr<void, decltype(&FindClose)> closing(search, &FindClose);
  std::vector<std::string> names;
  do {
    std::string entry = utf8_of(found.cFileName);
    if (entry != "." && entry != "..") names.push_back(std::move(entry));
  } while (FindNextFileW(search, &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) {
    set_errno_from_last_error();
    return std::nullopt;
  }
  return names;
}

bool is_path_separator(char c) {
  return c == '\\' || c == '/';
}

std::string_view directory_of(std::string_view path) {
  const std::size_t root = root_length(path);
  std::size_t end = path.size();
  while (end > root && !is_path_separator(path[end - 1])) --end;  // the file name
  while (end > root && is_path_separator(path[end - 1])) --end;   // the separators before it
  return path.substr(0, end);
}

std::string join_path(std::string_view directory, std::string_view name) {
  // A name with a root of its own ("C:\", "\", "\\server\", also "C:")
  // does not lie in the folder.
  if (directory.empty() || root_length(name) > 0) return std::string(name);
  std::string joined(directory);
  // "C:" + "t.bin" is "C:t.bin": the file in the drive's current folder.
  const bool drive_alone = joined.size() == 2 && joined[1] == ':';
  if (!is_path_separator(joined.back()) && !drive_alone) joined += '\\';
  joined += name;
  return joined;
}

void open_missing_standard_streams() {}

void write_standard(StandardStream stream, std::string_view text) {
  const HANDLE handle = standard_handle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;  // no such stream
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    write_to_console(handle, text);
  } else {
    write_bytes(handle, text);
  }
}

bool is_terminal(StandardStream stream) {
  const HANDLE handle = standard_handle(stream);
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) &&
         SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

ConsoleFacts console_facts() {
  ConsoleFacts facts;
  // Too small a list still gets the count, which is all that is asked here.
  DWORD ids[2];
  facts.processes = GetConsoleProcessList(ids, 2);
  DWORD mode = 0;
  facts.input_is_console = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode);
  facts.output_is_console = GetConsoleMode(standard_handle(StandardStream::Output), &mode);
  return facts;
}

std::optional<std::string> environment_variable(const std::string& name) {
  // The process's own wide environment: the C runtime's _wgetenv in a
  // program with a narrow main hands out a copy converted through the ANSI
  // code page, which loses what that code page cannot spell.
  const std::optional<std::wstring> key = wide_of(name);
  if (!key || key->empty()) return std::nullopt;
  std::wstring value(256, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetEnvironmentVariableW(key->c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    const bool fits = length < value.size();
    value.resize(length);
    if (fits) return utf8_of(value.c_str());
  }
}

std::vector<std::string> process_arguments(int argc, char** argv) {
  // The C runtime's argv went through the ANSI code page; the command line
  // itself is UTF-16. An unpaired surrogate in it becomes bytes that are
  // not UTF-8, which the command-line reader refuses.
  int count = 0;
  const std::unique_ptr<wchar_t*, decltype(&LocalFree)> words(
      CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  if (!words) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(utf8_of(words.get()[i]));
  return arguments;
}

}  // namespace base

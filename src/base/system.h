// What cuesmelt needs from the operating system: files, paths and their
// status, the standard streams, the arguments and the environment. This
// header and its one implementation per system are the only places that
// know which system the program runs on.
//
// Failures are reported the C way, as a false or empty result with errno
// set, because the callers turn them into messages of their own and only
// some of those messages show the system's reason (error_text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace base {

/// An open file, closed when the object goes away. Move-only.
class File {
 public:
  File() = default;
  /// Adopts the open file descriptor `descriptor`; a negative one is refused
  /// with std::invalid_argument, so that no failed open passes for a file.
  explicit File(int descriptor);
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  bool is_open() const { return descriptor_ >= 0; }
  int descriptor() const { return descriptor_; }

  /// Closes the file now. False, with errno set, when the system reports a
  /// failure: for a file that was written, its data may then be lost.
  bool close();

 private:
  int descriptor_ = -1;
};

enum class Access {
  /// Reading; waits for a writer when the path names a FIFO.
  Read,
  /// Reading, but never waiting: a FIFO in place of a regular file must not
  /// hang the run.
  ReadWithoutWaiting,
  /// Writing, created with permission bits 0666 before the umask, or
  /// truncated to length 0 when it exists.
  CreateOrTruncate,
};

/// Opens `path`, repeating an open that a signal interrupted. On failure the
/// result is not open and errno says why. A path holding a NUL character
/// names no file (ENOENT): it must not open the file named by the part
/// before the NUL.
File open_file(std::string_view path, Access access);

/// Tells the system that `file` will be read once, from start to end.
void expect_sequential_reading(const File& file);

/// Reads up to `size` bytes, repeating a read that a signal interrupted.
/// Returns the number of bytes read, 0 at the end of the file, or -1 with
/// errno set.
std::ptrdiff_t read_some(const File& file, char* buffer, std::size_t size);

/// Moves the file's position to `offset` bytes from its start, where the
/// next read_some begins. False, with errno set, on failure (a pipe, say).
bool seek_to(const File& file, std::uint64_t offset);

/// Writes all `size` bytes, going on after short and interrupted writes.
/// False, with errno set, on failure.
bool write_all(const File& file, const char* bytes, std::size_t size);

/// What tells two paths to the same file apart from paths to different ones.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;

  friend bool operator==(const FileId&, const FileId&) = default;
};

struct FileStatus {
  std::uint64_t size = 0;
  /// A plain file: not a directory, FIFO, device or socket.
  bool is_regular = false;
  /// A folder (a directory).
  bool is_folder = false;
  FileId id;
};

/// The status of an open file; empty, with errno set, on failure.
std::optional<FileStatus> file_status(const File& file);

/// The status of the file at `path`, following symbolic links; empty, with
/// errno set, when there is none or it cannot be looked up.
std::optional<FileStatus> path_status(std::string_view path);

/// The names in the folder at `path`, without "." and "..", in no
/// particular order; empty, with errno set, when it cannot be read.
std::optional<std::vector<std::string>> folder_entries(std::string_view path);

/// The system's description of the errno value `error`.
std::string error_text(int error);

/// Whether `c` separates the components of a path.
bool is_path_separator(char c);

/// The folder part of `path`: empty for a bare file name, so that names
/// joined to it stay relative to the working folder.
std::string_view directory_of(std::string_view path);

/// `name` taken relative to `directory`; an absolute `name` stands alone.
std::string join_path(std::string_view directory, std::string_view name);

enum class StandardStream { Output, Error };

/// Puts the null device in place of any standard stream (input, output,
/// error) that the caller left closed. Otherwise the next file opened takes
/// that stream's number, and text meant for the stream, or a failure's
/// message, would go into the sheet's place or into the image. On Windows a
/// missing stream has no handle, and a file never takes its place.
void open_missing_standard_streams();

/// Writes `text` (UTF-8) to the standard stream as it stands, with no
/// line-end translation; on a Windows console as the characters it spells.
/// What cannot be written is dropped: there is nowhere left to report it.
void write_standard(StandardStream stream, std::string_view text);

/// Whether the stream is a terminal that takes ANSI escape sequences for
/// colour and emphasis (on Windows, a console with virtual-terminal
/// processing, which this switches on).
bool is_terminal(StandardStream stream);

/// What the program can see of the console it runs in. A console window
/// that Windows opened for this program alone (a double-click in Explorer,
/// a file dropped on its icon) closes as soon as the program ends; one that
/// a command prompt or a script shares with it stays.
struct ConsoleFacts {
  /// Processes attached to the console, this one included; 0 without one.
  std::size_t processes = 0;
  bool input_is_console = false;
  bool output_is_console = false;
};

/// This process's console; all zero and false on systems without consoles
/// of that kind.
ConsoleFacts console_facts();

/// The environment variable `name`, if it is set.
std::optional<std::string> environment_variable(const std::string& name);

/// The process's arguments, the invocation name first, in UTF-8 where the
/// system gives them in another form; as `main` received them elsewhere.
std::vector<std::string> process_arguments(int argc, char** argv);

}  // namespace base

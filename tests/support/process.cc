#include "support/process.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <memory>

#include "base/utf8.h"
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <stdexcept>

#include "support/temp_dir.h"

namespace testing_support {

#ifdef _WIN32

namespace {

/// `word` as one word of a command line: bare when nothing in it needs
/// quoting, else in double quotes, with the backslashes before a quote (and
/// before the closing one) doubled and the quote escaped.
std::wstring quoted_word(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) return word;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

std::wstring wide(const std::string& utf8) {
  const std::optional<std::u16string> utf16 = base::utf16_from_utf8(utf8);
  if (!utf16) throw std::invalid_argument("not UTF-8 without NUL: " + utf8);
  return std::wstring(utf16->begin(), utf16->end());
}

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

/// A handle that the child inherits: a capture file written from the
/// start, or the NUL device to read from.
Handle inheritable(const std::wstring& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE handle = CreateFileW(
      path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
      &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a standard stream");
  return Handle(handle);
}

Outcome run(const std::string& program, std::wstring command_line, const std::string& cwd) {
  // Captured through files rather than pipes: no risk of a full pipe
  // blocking the child, and the bytes are exactly what the streams carried.
  TempDir capture;
  const std::string out_path = capture.path("out"), err_path = capture.path("err");
  Outcome outcome;
  {
    const Handle in = inheritable(L"NUL", false);
    const Handle out = inheritable(fs_path(out_path).wstring(), true);
    const Handle err = inheritable(fs_path(err_path).wstring(), true);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION child{};
    const std::wstring application = std::filesystem::absolute(fs_path(program)).wstring();
    const std::wstring folder = cwd.empty() ? std::wstring() : fs_path(cwd).wstring();
    if (!CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, cwd.empty() ? nullptr : folder.c_str(), &startup, &child)) {
      throw std::runtime_error("CreateProcessW failed for " + program);
    }
    const Handle process(child.hProcess), thread(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD exit_code = 0;
    if (GetExitCodeProcess(child.hProcess, &exit_code))
      outcome.status = static_cast<int>(exit_code);
  }
  outcome.out = read_file(out_path);
  outcome.err = read_file(err_path);
  return outcome;
}

}  // namespace

Outcome run_program(const std::string& program, const std::vector<std::string>& args,
                    const std::string& cwd, const std::string* argv0) {
  std::wstring command_line = quoted_word(wide(argv0 ? *argv0 : program));
  for (const std::string& arg : args) command_line += L' ' + quoted_word(wide(arg));
  return run(program, std::move(command_line), cwd);
}

Outcome run_program_utf16(const std::string& program, const std::vector<std::wstring>& args,
                          const std::string& cwd) {
  std::wstring command_line = quoted_word(wide(program));
  for (const std::wstring& arg : args) command_line += L' ' + quoted_word(arg);
  return run(program, std::move(command_line), cwd);
}

#else

Outcome run_program(const std::string& program, const std::vector<std::string>& args,
                    const std::string& cwd, const std::string* argv0) {
  // Captured through files rather than pipes: no risk of a full pipe
  // blocking the child, and the bytes are exactly what the streams carried.
  TempDir capture;
  const std::string out_path = capture.path("out"), err_path = capture.path("err");
  std::vector<std::string> words{argv0 ? *argv0 : program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int wait_status = 0;
  while (::waitpid(child, &wait_status, 0) < 0) {
  }
  Outcome outcome;
  outcome.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  outcome.out = read_file(out_path);
  outcome.err = read_file(err_path);
  return outcome;
}

#endif

}  // namespace testing_support

#include "support/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "support/temp_dir.h"

namespace testing_support {

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

}  // namespace testing_support

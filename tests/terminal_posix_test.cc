// End-to-end: help and rejections on a real terminal (a pseudo-terminal)
// are styled, and exactly the plain bytes reach a file or a pipe unless the
// environment asks otherwise.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "support/run_texts.h"

namespace {

using testing_support::kBanner;
using testing_support::kParsing;

struct Streams {
  int status = -1;
  std::string out;
  std::string err;
};

/// Reads `fd` to its end; a pseudo-terminal's master ends in EIO once the
/// last process holding the terminal is gone.
std::string drain(int fd) {
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      bytes.append(buffer, static_cast<std::size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return bytes;
    }
  }
}

/// Runs cuesmelt with `args` in an environment holding only `environment`,
/// standard output and standard error each on a terminal of its own when
/// `on_terminal` is set, or on a pipe.
Streams run_on(bool on_terminal, const std::vector<std::string>& args,
               std::vector<std::string> environment) {
  // [0] the parent reads, [1] the child writes; -1 where none could be made
  int out_ends[2] = {-1, -1}, err_ends[2] = {-1, -1};
  for (int* ends : {out_ends, err_ends}) {
    if (on_terminal) {
      struct termios raw;
      ::cfmakeraw(&raw);  // no line-end translation: the bytes as written
      if (::openpty(&ends[0], &ends[1], nullptr, &raw, nullptr) != 0) ADD_FAILURE() << "openpty";
    } else if (::pipe(ends) != 0) {
      ADD_FAILURE() << "pipe";
    }
  }
  std::vector<std::string> words{CUESMELT_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (std::string& word : words) argv.push_back(word.data());
  for (std::string& variable : environment) envp.push_back(variable.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    if (::dup2(out_ends[1], 1) < 0 || ::dup2(err_ends[1], 2) < 0) ::_exit(126);
    ::execve(CUESMELT_BINARY, argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out_ends[1]);
  ::close(err_ends[1]);
  Streams streams;
  streams.out = drain(out_ends[0]);
  streams.err = drain(err_ends[0]);
  ::close(out_ends[0]);
  ::close(err_ends[0]);
  int wait_status = 0;
  while (::waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
  }
  streams.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return streams;
}

const std::string kPlainHelp =
    "Convert Dreamcast multisession CD images in Redump CUE format to DiscJuggler CDI format\n\n"
    "Usage: cuesmelt --cue <cuesheet> --cdi <cdi>\n\n"
    "Options:\n"
    "  -i, --cue <cuesheet>  Path to input CUE file\n"
    "  -o, --cdi <cdi>       Path to output CDI file\n"
    "  -h, --help            Print help\n"
    "  -V, --version         Print version\n";
const std::string kPlainRejection =
    "error: unexpected argument 'x' found\n\n"
    "Usage: cuesmelt --cue <cuesheet> --cdi <cdi>\n\n"
    "For more information, try '--help'.\n";

std::string styled(std::string text) {
  for (const std::string heading : {"Usage:", "Options:"}) {
    const auto at = text.find(heading);
    if (at != std::string::npos)
      text.replace(at, heading.size(), "\x1b[1m\x1b[4m" + heading + "\x1b[0m");
  }
  for (const std::string names : {"-i, --cue", "-o, --cdi", "-h, --help", "-V, --version"}) {
    const auto at = text.find("  " + names);
    if (at != std::string::npos) text.replace(at + 2, names.size(), "\x1b[1m" + names + "\x1b[0m");
  }
  if (text.starts_with("error:")) text.replace(0, 6, "\x1b[1m\x1b[31merror:\x1b[0m");
  return text;
}

// A root file system without /dev/pts mounted, as a bare chroot or a minimal
// container has, gives no pseudo-terminal: the tests are skipped there.
class Terminal : public testing::Test {
 protected:
  void SetUp() override {
    int ends[2];
    if (::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr) != 0)
      GTEST_SKIP() << "no pseudo-terminal can be opened here (is /dev/pts mounted?): "
                   << std::strerror(errno);
    ::close(ends[0]);
    ::close(ends[1]);
  }
};

TEST_F(Terminal, StyledOnlyWhereItShouldBe) {
  const struct {
    bool on_terminal;
    std::vector<std::string> environment;
    bool styled;
  } cases[] = {
      {true, {"TERM=xterm"}, true},
      {true, {}, true},
      {true, {"TERM=xterm", "NO_COLOR=1"}, false},
      {true, {"TERM=dumb"}, false},
      {true, {"TERM=xterm", "CLICOLOR=0"}, false},
      {false, {"TERM=xterm"}, false},
      {false, {"CLICOLOR_FORCE=1"}, true},
      {false, {"CLICOLOR_FORCE=1", "NO_COLOR=1"}, false},
  };
  for (const auto& c : cases) {
    std::string shown = c.on_terminal ? "terminal" : "pipe";
    for (const std::string& variable : c.environment) shown += " " + variable;

    const Streams help = run_on(c.on_terminal, {"--help"}, c.environment);
    EXPECT_EQ(help.status, 0) << shown;
    EXPECT_EQ(help.out, kBanner + (c.styled ? styled(kPlainHelp) : kPlainHelp)) << shown;
    EXPECT_EQ(help.err, "") << shown;

    const Streams refused = run_on(c.on_terminal, {"x"}, c.environment);
    EXPECT_EQ(refused.status, 2) << shown;
    EXPECT_EQ(refused.out, kBanner) << shown;  // the banner is never styled
    EXPECT_EQ(refused.err, c.styled ? styled(kPlainRejection) : kPlainRejection) << shown;
  }
}

TEST_F(Terminal, AFailureEndsTheOpenProgressLineThere) {
  for (const bool on_terminal : {true, false}) {
    const Streams run =
        run_on(on_terminal, {"--cue", "/nonexistent/a.cue", "--cdi", "/nonexistent/a.cdi"}, {});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kParsing + (on_terminal ? "\n" : "")) << on_terminal;
    EXPECT_EQ(run.err, "File not found!\n");
  }
}

}  // namespace

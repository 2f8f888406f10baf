// Fuzzes the command-line parser: the input, cut at NUL bytes (which no
// argument can hold), is the argument list, the first word the invocation
// name.
//
// Checked: a rejection has status 2 and the documented frame; a run gets
// UTF-8 values that stand, as typed, at the end of some argument; help and
// version give their texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "base/utf8.h"
#include "cli/command_line.h"

namespace {

std::vector<std::string> split_at_nul(std::string_view input) {
  std::vector<std::string> args;
  if (input.empty()) return args;
  for (;;) {
    const std::size_t nul = input.find('\0');
    args.emplace_back(input.substr(0, nul));
    if (nul == std::string_view::npos) return args;
    input.remove_prefix(nul + 1);
  }
}

/// A value is a whole argument or, in an attached form, the end of one.
bool typed_in(const std::string& value, const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (std::string_view(args[i]).ends_with(value)) return true;
  }
  return false;
}

void check_run(const cli::ParsedCommandLine& parsed, const std::vector<std::string>& args) {
  if (!parsed.text.empty()) std::abort();
  for (const std::string* value : {&parsed.cli.incue, &parsed.cli.outcdi}) {
    if (!base::is_valid_utf8(*value) || !typed_in(*value, args)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> args =
      split_at_nul(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    const cli::ParsedCommandLine parsed = cli::parse_command_line(args);
    switch (parsed.action) {
      case cli::Action::Run:
        check_run(parsed, args);
        break;
      case cli::Action::ShowHelp:
        if (!parsed.text.starts_with("Convert Dreamcast multisession CD images")) std::abort();
        if (!parsed.text.ends_with("Print version\n")) std::abort();
        break;
      case cli::Action::ShowVersion:
        if (parsed.text != "cuesmelt 0.9.0\n") std::abort();
        break;
    }
  } catch (const base::Failure& failure) {
    const std::string_view message = failure.what();
    if (failure.exit_status() != 2) std::abort();
    if (!message.starts_with("error: ")) std::abort();
    if (!message.ends_with("\n\nFor more information, try '--help'.")) std::abort();
  }
  return 0;
}

// The command-line parser of cuesmelt.
//
// The command has two required value options and two flags, so a small
// hand-written reader does the job: it walks the words once, left to right,
// and stops at the first fault, the first help or version flag, or the end.
// Every rejection is one base::Failure with status 2 whose text is the whole
// frame (message line, optional tip, usage, pointer to --help).

#include "cli/command_line.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "base/system.h"
#include "base/utf8.h"

namespace cli {
namespace {

constexpr std::string_view kCommandName = "cuesmelt";
constexpr std::string_view kVersion = CUESMELT_VERSION;  // project(VERSION) in CMake
constexpr std::string_view kAbout =
    "Convert Dreamcast multisession CD images in Redump CUE format to DiscJuggler CDI format";

constexpr int kCommandLineStatus = 2;

// An unknown long option earns a tip when its name is at most this many
// character edits away from a known one (letter case ignored).
constexpr std::size_t kTipDistance = 2;

struct OptionSpec {
  char short_name;
  std::string_view long_name;
  std::string_view placeholder;  // empty for a flag
  std::string_view help;

  bool takes_value() const { return !placeholder.empty(); }
};

// Table order is the order of the help text and of the missing-options list.
// The value options come first; their indexes are their slots in Parser.
constexpr std::size_t kInCue = 0;
constexpr std::size_t kOutCdi = 1;
constexpr std::size_t kHelp = 2;
constexpr std::size_t kVersionFlag = 3;
constexpr std::size_t kValueOptionCount = 2;

constexpr std::array<OptionSpec, 4> kOptions = {{
    {'i', "cue", "cuesheet", "Path to input CUE file"},
    {'o', "cdi", "cdi", "Path to output CDI file"},
    {'h', "help", "", "Print help"},
    {'V', "version", "", "Print version"},
}};

/// " <cuesheet>" for a value option, nothing for a flag.
std::string placeholder_part(const OptionSpec& option) {
  if (!option.takes_value()) return {};
  return " <" + std::string(option.placeholder) + ">";
}

/// "--cue <cuesheet>" for a value option, "--help" for a flag.
std::string usage_form(const OptionSpec& option) {
  return "--" + std::string(option.long_name) + placeholder_part(option);
}

std::string usage_line(std::string_view name, const TextStyle& style) {
  std::string line = style.heading("Usage:");
  line += ' ';
  line += name;
  for (std::size_t i = 0; i < kValueOptionCount; ++i) {
    line += ' ';
    line += usage_form(kOptions[i]);
  }
  return line;
}

/// "-i, --cue <cuesheet>": the names emphasised, the placeholder not.
std::string option_entry(const OptionSpec& option, const TextStyle& style) {
  const std::string names =
      std::string{'-', option.short_name} + ", --" + std::string(option.long_name);
  return style.literal(names) + placeholder_part(option);
}

std::string help_text(std::string_view name, const TextStyle& style) {
  // The help texts start in one column: two spaces after the longest entry,
  // measured without the escape sequences of a styled text.
  std::size_t width = 0;
  for (const OptionSpec& option : kOptions) {
    width = std::max(width, option_entry(option, TextStyle::plain()).size());
  }
  std::string text;
  text += kAbout;
  text += "\n\n";
  text += usage_line(name, style);
  text += "\n\n";
  text += style.heading("Options:");
  text += '\n';
  for (const OptionSpec& option : kOptions) {
    text += "  ";
    text += option_entry(option, style);
    text.append(width - option_entry(option, TextStyle::plain()).size() + 2, ' ');
    text += option.help;
    text += '\n';
  }
  return text;
}

/// The name that usage lines show: the file name of the invocation name, or
/// the command name when there is none or it is not valid UTF-8. Empty and
/// "." components do not count as file names, and a path ending in ".." has
/// none.
std::string invocation_name(const std::vector<std::string>& args) {
  if (args.empty()) return std::string(kCommandName);
  std::string_view path = args.front();
  std::string_view last;
  while (!path.empty()) {
    std::size_t start = path.size();
    while (start > 0 && !base::is_path_separator(path[start - 1])) --start;
    const std::string_view component = path.substr(start);
    path = path.substr(0, start == 0 ? 0 : start - 1);
    if (component.empty() || component == ".") continue;
    last = component;
    break;
  }
  if (last.empty() || last == ".." || !base::is_valid_utf8(last)) return std::string(kCommandName);
  return std::string(last);
}

std::u32string code_points(std::string_view text) {
  std::u32string result;
  while (!text.empty()) {
    const base::DecodedChar c = base::decode_utf8(text);
    char32_t cp = c.valid ? c.code_point : U'\uFFFD';
    if (cp >= U'A' && cp <= U'Z') cp += U'a' - U'A';
    result += cp;
    text.remove_prefix(c.length);
  }
  return result;
}

std::size_t edit_distance(const std::u32string& a, const std::u32string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

/// The known long option closest to `name`, if one is close enough; the
/// earlier one in the table on a tie.
const OptionSpec* similar_option(std::string_view name) {
  const std::u32string typed = code_points(name);
  const OptionSpec* best = nullptr;
  std::size_t best_distance = kTipDistance + 1;
  for (const OptionSpec& option : kOptions) {
    const std::size_t distance = edit_distance(typed, code_points(option.long_name));
    if (distance < best_distance) {
      best = &option;
      best_distance = distance;
    }
  }
  return best;
}

const OptionSpec* find_long(std::string_view name) {
  for (const OptionSpec& option : kOptions) {
    if (option.long_name == name) return &option;
  }
  return nullptr;
}

const OptionSpec* find_short(std::string_view letter) {
  if (letter.size() != 1) return nullptr;
  for (const OptionSpec& option : kOptions) {
    if (option.short_name == letter.front()) return &option;
  }
  return nullptr;
}

std::size_t index_of(const OptionSpec& option) {
  return static_cast<std::size_t>(&option - kOptions.data());
}

bool is_option_word(std::string_view word) {
  return word.size() > 1 && word.front() == '-';
}

class Parser {
 public:
  Parser(std::string name, const TextStyle& help_style, const TextStyle& error_style)
      : name_(std::move(name)), help_style_(help_style), error_style_(error_style) {}

  ParsedCommandLine parse(const std::vector<std::string>& args) {
    bool options_ended = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
      const std::string_view word = args[i];
      if (options_ended) reject_stray(word);
      if (pending_) {
        // A word that looks like an option is never taken as a value.
        if (is_option_word(word)) reject_missing_value(kOptions[*pending_]);
        take_value(*std::exchange(pending_, std::nullopt), word);
        continue;
      }
      std::optional<std::size_t> flag;
      if (word == "--") {
        options_ended = true;
      } else if (word.starts_with("--")) {
        flag = long_option(word.substr(2));
      } else if (is_option_word(word)) {
        flag = short_cluster(word.substr(1));
      } else {
        reject_stray(word);
      }
      if (flag) return flag_result(*flag);
    }
    if (pending_) reject_missing_value(kOptions[*pending_]);

    std::string missing;
    for (std::size_t i = 0; i < kValueOptionCount; ++i) {
      if (!values_[i]) missing += "\n  " + usage_form(kOptions[i]);
    }
    if (!missing.empty()) reject("the following required arguments were not provided:" + missing);

    ParsedCommandLine result;
    result.action = Action::Run;
    result.cli.incue = std::move(*values_[kInCue]);
    result.cli.outcdi = std::move(*values_[kOutCdi]);
    return result;
  }

 private:
  /// `body` is the word without its leading "--". Returns the flag's index
  /// when a flag was reached.
  std::optional<std::size_t> long_option(std::string_view body) {
    const std::size_t equals = body.find('=');
    const std::string_view name = body.substr(0, equals);
    std::optional<std::string_view> attached;
    if (equals != std::string_view::npos) attached = body.substr(equals + 1);

    if (!base::is_valid_utf8(name)) reject_invalid_utf8();
    const OptionSpec* option = find_long(name);
    if (option == nullptr) {
      std::string tip;
      if (const OptionSpec* similar = similar_option(name)) {
        tip = "--";
        tip += similar->long_name;
      }
      reject("unexpected argument '--" + std::string(name) + "' found", tip);
    }
    if (!option->takes_value()) {
      if (attached) reject_flag_value(*option, *attached);
      return index_of(*option);
    }
    start_value_option(*option);
    if (attached) {
      take_value(index_of(*option), *attached);
    } else {
      pending_ = index_of(*option);
    }
    return std::nullopt;
  }

  /// `letters` is the word without its leading "-", read one letter at a
  /// time until a flag is reached or a value option takes the rest.
  std::optional<std::size_t> short_cluster(std::string_view letters) {
    while (!letters.empty()) {
      const base::DecodedChar c = base::decode_utf8(letters);
      if (!c.valid) reject_invalid_utf8();
      const std::string_view letter = letters.substr(0, c.length);
      letters.remove_prefix(c.length);
      const OptionSpec* option = find_short(letter);
      if (option == nullptr) reject("unexpected argument '-" + std::string(letter) + "' found");
      if (!option->takes_value()) {
        if (letters.starts_with('=')) reject_flag_value(*option, letters.substr(1));
        return index_of(*option);
      }
      start_value_option(*option);
      if (letters.empty()) {
        pending_ = index_of(*option);
      } else {
        if (letters.starts_with('=')) letters.remove_prefix(1);
        take_value(index_of(*option), letters);
      }
      return std::nullopt;
    }
    return std::nullopt;
  }

  void start_value_option(const OptionSpec& option) {
    if (values_[index_of(option)]) {
      reject("the argument '" + usage_form(option) + "' cannot be used multiple times");
    }
  }

  void take_value(std::size_t index, std::string_view value) {
    if (!base::is_valid_utf8(value)) reject_invalid_utf8();
    values_[index] = std::string(value);
  }

  ParsedCommandLine flag_result(std::size_t index) const {
    ParsedCommandLine result;
    if (index == kHelp) {
      result.action = Action::ShowHelp;
      result.text = help_text(name_, help_style_);
    } else if (index == kVersionFlag) {
      result.action = Action::ShowVersion;
      result.text = std::string(kCommandName) + " " + std::string(kVersion) + "\n";
    }
    return result;
  }

  [[noreturn]] void reject_stray(std::string_view word) const {
    if (!base::is_valid_utf8(word)) reject_invalid_utf8();
    reject("unexpected argument '" + std::string(word) + "' found");
  }

  [[noreturn]] void reject_flag_value(const OptionSpec& option, std::string_view value) const {
    if (!base::is_valid_utf8(value)) reject_invalid_utf8();
    reject("unexpected value '" + std::string(value) + "' for '" + usage_form(option) +
           "' found; no more were expected");
  }

  [[noreturn]] void reject_invalid_utf8() const {
    reject("invalid UTF-8 was detected in one or more arguments");
  }

  /// The one rejection without a usage line.
  [[noreturn]] void reject_missing_value(const OptionSpec& option) const {
    throw base::Failure(error_style_.error("error:") + " a value is required for '" +
                            usage_form(option) +
                            "' but none was supplied\n\nFor more information, try '--help'.",
                        kCommandLineStatus);
  }

  [[noreturn]] void reject(const std::string& message, const std::string& tip = "") const {
    std::string text = error_style_.error("error:") + " " + message;
    if (!tip.empty()) text += "\n\n  tip: a similar argument exists: '" + tip + "'";
    text += "\n\n" + usage_line(name_, error_style_);
    text += "\n\nFor more information, try '--help'.";
    throw base::Failure(text, kCommandLineStatus);
  }

  std::string name_;
  TextStyle help_style_;
  TextStyle error_style_;
  std::array<std::optional<std::string>, kValueOptionCount> values_;
  std::optional<std::size_t> pending_;
};

}  // namespace

ParsedCommandLine parse_command_line(const std::vector<std::string>& args,
                                     const TextStyle& help_style, const TextStyle& error_style) {
  return Parser(invocation_name(args), help_style, error_style).parse(args);
}

}  // namespace cli

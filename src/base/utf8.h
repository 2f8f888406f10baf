// UTF-8 decoding and the few Unicode character classes cuesmelt needs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace base {

/// One step of strict UTF-8 decoding (no overlong forms, no surrogates,
/// nothing above U+10FFFF).
struct DecodedChar {
  char32_t code_point;  // meaningful only when valid
  std::size_t length;   // bytes consumed: the sequence, or 1 for an invalid byte
  bool valid;
};

/// Decodes the character at the start of `text`, which must not be empty.
DecodedChar decode_utf8(std::string_view text);

bool is_valid_utf8(std::string_view text);

/// `text` with every invalid byte replaced by U+FFFD.
std::string decode_lossy(std::string_view text);

/// The Unicode White_Space property (space, tab, line feed, vertical tab,
/// form feed, carriage return, U+0085, U+00A0, U+1680, U+2000..U+200A,
/// U+2028, U+2029, U+202F, U+205F, U+3000).
bool is_white_space(char32_t c);

/// `text` without leading and trailing white space; `text` must be valid UTF-8.
std::string_view trim_white_space(std::string_view text);

/// Appends the UTF-8 form of `c` to `out`. A surrogate code point gets the
/// three bytes it would take as a character, which are not valid UTF-8.
void append_utf8(std::string& out, char32_t c);

/// UTF-16 text, as Windows hands out arguments and file names, in UTF-8. An
/// unpaired surrogate becomes the three bytes it would take as a character
/// (as in WTF-8): not valid UTF-8, so the text is refused wherever valid
/// UTF-8 is required, as a byte string that is not UTF-8 is elsewhere.
std::string utf8_from_utf16(std::u16string_view text);

/// Valid UTF-8 `text` in UTF-16, for the Windows file API; empty when the
/// text is not valid UTF-8 (or holds a NUL), since it then names no file.
std::optional<std::u16string> utf16_from_utf8(std::string_view text);

/// `c` in lower case, when it is an ASCII letter.
char lower_ascii(char c);

/// Whether `text` ends in `ending` (lower case), ASCII letters compared in
/// either case, as Windows matches file names.
bool ends_in_any_case(std::string_view text, std::string_view ending);

/// How messages show a path: between double quotes, with \\ \' \" \t \r \n \0
/// escaped, other non-printable characters and combining marks as \u{hex},
/// and bytes that are not valid UTF-8 as \xHH.
std::string quoted_path(std::string_view path);

}  // namespace base

#include "base/utf8.h"

#include <algorithm>
#include <iterator>

namespace base {
namespace {

// kEscapedRanges: the code points quoted_path writes as \u{hex}. Regenerate
// with tools/gen_unicode_tables.py when moving to a newer Unicode version.
#include "base/unicode_tables.inc"

constexpr DecodedChar kInvalid{0, 1, false};

bool is_continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

bool must_escape(char32_t c) {
  // First range whose last code point is not below c; c is inside it or in
  // the gap in front of it.
  const auto* it = std::lower_bound(
      std::begin(kEscapedRanges), std::end(kEscapedRanges), c,
      [](const CodePointRange& range, char32_t value) { return range.last < value; });
  return it != std::end(kEscapedRanges) && it->first <= c;
}

// U+FFFD REPLACEMENT CHARACTER in UTF-8.
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

}  // namespace

DecodedChar decode_utf8(std::string_view text) {
  if (text.empty()) return {0, 0, false};
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return {lead, 1, true};

  // The lead byte fixes the length and, to rule out overlong forms,
  // surrogates and code points past U+10FFFF, the range the second byte may
  // take; every later byte is a plain continuation byte.
  std::size_t length;
  unsigned char second_min = 0x80;
  unsigned char second_max = 0xBF;
  char32_t c;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    c = lead & 0x0F;
    if (lead == 0xE0) second_min = 0xA0;  // below: overlong
    if (lead == 0xED) second_max = 0x9F;  // above: surrogates D800..DFFF
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    c = lead & 0x07;
    if (lead == 0xF0) second_min = 0x90;  // below: overlong
    if (lead == 0xF4) second_max = 0x8F;  // above: past U+10FFFF
  } else {
    return kInvalid;  // continuation byte, C0/C1 (always overlong), F5..FF
  }
  if (text.size() < length) return kInvalid;

  const auto second = static_cast<unsigned char>(text[1]);
  if (second < second_min || second > second_max) return kInvalid;
  c = (c << 6) | (second & 0x3F);
  for (std::size_t i = 2; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (!is_continuation(byte)) return kInvalid;
    c = (c << 6) | (byte & 0x3F);
  }
  return {c, length, true};
}

bool is_valid_utf8(std::string_view text) {
  while (!text.empty()) {
    const DecodedChar d = decode_utf8(text);
    if (!d.valid) return false;
    text.remove_prefix(d.length);
  }
  return true;
}

std::string decode_lossy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const DecodedChar d = decode_utf8(text);
    if (d.valid) {
      out.append(text.substr(0, d.length));
    } else {
      out.append(kReplacement);
    }
    text.remove_prefix(d.length);
  }
  return out;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace {

bool is_high_surrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool is_low_surrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string utf8_from_utf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    append_utf8(out, c);
  }
  return out;
}

std::optional<std::u16string> utf16_from_utf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const DecodedChar d = decode_utf8(text);
    if (!d.valid || d.code_point == 0) return std::nullopt;
    if (d.code_point < 0x10000) {
      out += static_cast<char16_t>(d.code_point);
    } else {
      out += static_cast<char16_t>(0xD800 + ((d.code_point - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((d.code_point - 0x10000) & 0x3FF));
    }
    text.remove_prefix(d.length);
  }
  return out;
}

bool is_white_space(char32_t c) {
  switch (c) {
    case 0x0009:
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0020:
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

std::string_view trim_white_space(std::string_view text) {
  while (!text.empty()) {
    const DecodedChar d = decode_utf8(text);
    if (!d.valid || !is_white_space(d.code_point)) break;
    text.remove_prefix(d.length);
  }
  while (!text.empty()) {
    // Step back over continuation bytes to the last character's lead byte.
    std::size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 &&
           is_continuation(static_cast<unsigned char>(text[start]))) {
      --start;
    }
    const DecodedChar d = decode_utf8(text.substr(start));
    // Invalid input ends trimming rather than cutting into a broken sequence.
    if (!d.valid || d.length != text.size() - start || !is_white_space(d.code_point)) break;
    text.remove_suffix(d.length);
  }
  return text;
}

std::string quoted_path(std::string_view path) {
  std::string out;
  out.reserve(path.size() + 2);
  out += '"';
  while (!path.empty()) {
    const DecodedChar d = decode_utf8(path);
    if (!d.valid) {
      const auto byte = static_cast<unsigned char>(path[0]);
      out += "\\x";
      out += kUpperHex[byte >> 4];
      out += kUpperHex[byte & 0x0F];
    } else {
      switch (d.code_point) {
        case U'\\':
        case U'\'':
        case U'"':
          out += '\\';
          out += static_cast<char>(d.code_point);
          break;
        case U'\t':
          out += "\\t";
          break;
        case U'\r':
          out += "\\r";
          break;
        case U'\n':
          out += "\\n";
          break;
        case U'\0':
          out += "\\0";
          break;
        default:
          if (must_escape(d.code_point)) {
            out += "\\u{";
            // Lower-case hex without leading zeros.
            int shift = 20;
            while (shift > 0 && (d.code_point >> shift) == 0) shift -= 4;
            for (; shift >= 0; shift -= 4) out += kLowerHex[(d.code_point >> shift) & 0x0F];
            out += '}';
          } else {
            out.append(path.substr(0, d.length));
          }
      }
    }
    path.remove_prefix(d.length);
  }
  out += '"';
  return out;
}

char lower_ascii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ends_in_any_case(std::string_view text, std::string_view ending) {
  if (text.size() < ending.size()) return false;
  const std::string_view end = text.substr(text.size() - ending.size());
  return std::equal(end.begin(), end.end(), ending.begin(),
                    [](char a, char b) { return lower_ascii(a) == b; });
}

}  // namespace base

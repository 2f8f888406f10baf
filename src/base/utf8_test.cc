#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace base {
namespace {

#include "base/unicode_tables.inc"

using namespace std::string_view_literals;

std::string encode(char32_t c) {
  std::string out;
  append_utf8(out, c);
  return out;
}

TEST(DecodeUtf8, EdgeCases) {
  struct Case {
    std::string_view name;
    std::string_view text;
    DecodedChar want;
  };
  const Case cases[] = {
      {"ascii", "A", {U'A', 1, true}},
      {"nul", "\0x"sv, {0, 1, true}},
      {"smallest two-byte", "\xC2\x80", {0x80, 2, true}},
      {"largest two-byte", "\xDF\xBF", {0x7FF, 2, true}},
      {"smallest three-byte", "\xE0\xA0\x80", {0x800, 3, true}},
      {"just below surrogates", "\xED\x9F\xBF", {0xD7FF, 3, true}},
      {"just above surrogates", "\xEE\x80\x80", {0xE000, 3, true}},
      {"smallest four-byte", "\xF0\x90\x80\x80", {0x10000, 4, true}},
      {"max code point", "\xF4\x8F\xBF\xBF", {0x10FFFF, 4, true}},
      {"only the first character", "\xE2\x82\xAC rest", {0x20AC, 3, true}},
      {"overlong nul", "\xC0\x80", {0, 1, false}},
      {"overlong two-byte", "\xC1\xBF", {0, 1, false}},
      {"overlong three-byte", "\xE0\x9F\xBF", {0, 1, false}},
      {"overlong four-byte", "\xF0\x8F\xBF\xBF", {0, 1, false}},
      {"first surrogate", "\xED\xA0\x80", {0, 1, false}},
      {"last surrogate", "\xED\xBF\xBF", {0, 1, false}},
      {"above max", "\xF4\x90\x80\x80", {0, 1, false}},
      {"lead F5", "\xF5\x80\x80\x80", {0, 1, false}},
      {"byte FF", "\xFF", {0, 1, false}},
      {"lone continuation", "\x80", {0, 1, false}},
      {"truncated at end", "\xE2\x82", {0, 1, false}},
      {"truncated four-byte", "\xF0\x9F\x98", {0, 1, false}},
      {"truncated by ascii",
       "\xE2\x82"
       "A",
       {0, 1, false}},
      {"third byte not continuation", "\xE2\x82\xC0", {0, 1, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodedChar got = decode_utf8(c.text);
    EXPECT_EQ(got.valid, c.want.valid);
    EXPECT_EQ(got.length, c.want.length);
    if (c.want.valid) {
      EXPECT_EQ(static_cast<unsigned>(got.code_point), c.want.code_point);
    }
  }
}

TEST(IsValidUtf8, WholeStrings) {
  struct Case {
    std::string_view text;
    bool want;
  };
  const Case cases[] = {
      {"", true},
      {"discs/Track 02.bin", true},
      {"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80", true},
      {"abc\xFF", false},
      {"\xC3", false},
      {"\xED\xA0\xBD\xED\xB8\x80", false},  // surrogate pair encoded separately
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(is_valid_utf8(c.text), c.want);
  }
}

TEST(DecodeLossy, ReplacesEachInvalidByte) {
  struct Case {
    std::string_view text;
    std::string_view want;
  };
  const Case cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"\xC3\xA9\xE2\x82\xAC", "\xC3\xA9\xE2\x82\xAC"},
      {"a\xFF"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
      {"\xE2\x82"
       "A",
       "\xEF\xBF\xBD\xEF\xBF\xBD"
       "A"},
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(decode_lossy(c.text), c.want);
  }
}

TEST(IsWhiteSpace, PropertyMembers) {
  const char32_t white[] = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,   0xA0,  0x1680,
                            0x2000, 0x2005, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  // Neighbours of the ranges, and look-alikes that are not White_Space.
  const char32_t not_white[] = {0x00,   0x08,   0x0E,   0x1F,   0x21,   0x84,   0x86,
                                0x180E, 0x1FFF, 0x200B, 0x2060, 0xFEFF, 0x3001, 0x110000};
  for (char32_t c : white) EXPECT_TRUE(is_white_space(c)) << std::hex << +c;
  for (char32_t c : not_white) EXPECT_FALSE(is_white_space(c)) << std::hex << +c;
}

TEST(TrimWhiteSpace, BothEnds) {
  struct Case {
    std::string_view text;
    std::string_view want;
  };
  const Case cases[] = {
      {"", ""},
      {" \t ", ""},
      {"  FILE a b.bin  ", "FILE a b.bin"},
      {"\t\r\nTRACK 01\x0B\x0C", "TRACK 01"},
      {"\xE3\x80\x80"
       "abc\xC2\xA0",
       "abc"},  // U+3000, U+00A0
      {"\xE2\x80\xA8"
       "a\xE2\x80\xAF\xE2\x81\x9F\xE1\x9A\x80",
       "a"},                   // U+2028 / 202F 205F 1680
      {"abc\xC2\x85", "abc"},  // U+0085
      {"\xE2\x80\x8B"
       "abc\xE2\x80\x8B",
       "\xE2\x80\x8B"
       "abc\xE2\x80\x8B"},         // U+200B is not
      {"a\xC5\x85", "a\xC5\x85"},  // U+0145 ends in byte 85 but is no space
      {"a\xF0\x9F\x98\x80 ", "a\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(trim_white_space(c.text), c.want);
  }
}

TEST(QuotedPath, Escapes) {
  struct Case {
    std::string_view name;
    std::string_view path;
    std::string_view want;
  };
  const Case cases[] = {
      {"plain", "discs/Track 02.bin", R"("discs/Track 02.bin")"},
      {"empty", "", R"("")"},
      {"quotes and backslash", R"(a"b'c\d)", R"("a\"b\'c\\d")"},
      {"tab cr lf nul", "a\tb\rc\nd\0e"sv, R"("a\tb\rc\nd\0e")"},
      {"no-break space",
       "a\xC2\xA0"
       "b",
       R"("a\u{a0}b")"},
      {"escape", "\x1B[0m", R"("\u{1b}[0m")"},
      {"delete", "\x7F", R"("\u{7f}")"},
      {"next line", "\xC2\x85", R"("\u{85}")"},
      {"combining acute", "e\xCC\x81", R"("e\u{301}")"},
      {"spacing mark", "\xE0\xA4\x83", R"("\u{903}")"},
      {"enclosing mark", "\xE2\x83\x9D", R"("\u{20dd}")"},
      {"zero width space", "\xE2\x80\x8B", R"("\u{200b}")"},
      {"byte order mark", "\xEF\xBB\xBF", R"("\u{feff}")"},
      {"line separator", "\xE2\x80\xA8", R"("\u{2028}")"},
      {"ideographic space", "\xE3\x80\x80", R"("\u{3000}")"},
      {"private use", "\xEE\x80\x80", R"("\u{e000}")"},
      {"unassigned", "\xCD\xB8", R"("\u{378}")"},
      {"max code point", "\xF4\x8F\xBF\xBF", R"("\u{10ffff}")"},
      {"e acute", "caf\xC3\xA9", "\"caf\xC3\xA9\""},
      {"cjk", "\xE6\x97\xA5\xE6\x9C\xAC", "\"\xE6\x97\xA5\xE6\x9C\xAC\""},
      {"emoji", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
      {"invalid byte", "a\xFF", R"("a\xFF")"},
      {"truncated sequence",
       "\xE2\x82"
       "A",
       R"("\xE2\x82A")"},
      {"lone continuation",
       "\x80"
       "b",
       R"("\x80b")"},
      {"encoded surrogate", "\xED\xA0\x80", R"("\xED\xA0\x80")"},
      {"overlong slash", "\xC0\xAF", R"("\xC0\xAF")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(quoted_path(c.path), c.want);
  }
}

// The lookup is a binary search, so a table out of order or with touching
// ranges would give wrong answers only for some code points.
TEST(EscapedRanges, SortedAndMerged) {
  ASSERT_GT(std::size(kEscapedRanges), 0u);
  for (std::size_t i = 0; i < std::size(kEscapedRanges); ++i) {
    EXPECT_LE(kEscapedRanges[i].first, kEscapedRanges[i].last) << i;
    if (i > 0) {
      EXPECT_GT(kEscapedRanges[i].first, kEscapedRanges[i - 1].last + 1) << i;
    }
  }
  EXPECT_LE(kEscapedRanges[std::size(kEscapedRanges) - 1].last, char32_t{0x10FFFF});
}

// Every range edge, seen through quoted_path: both ends are escaped, the code
// points just outside are not.
TEST(EscapedRanges, EdgesThroughQuotedPath) {
  auto escaped = [](char32_t c) {
    const std::string q = quoted_path(encode(c));
    return q.size() > 3 && q[1] == '\\';
  };
  auto encodable = [](char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); };
  for (const CodePointRange& r : kEscapedRanges) {
    SCOPED_TRACE(static_cast<unsigned>(r.first));
    if (encodable(r.first)) {
      EXPECT_TRUE(escaped(r.first));
    }
    if (encodable(r.last)) {
      EXPECT_TRUE(escaped(r.last));
    }
    if (r.first > 0 && encodable(r.first - 1)) {
      EXPECT_FALSE(escaped(r.first - 1));
    }
    if (encodable(r.last + 1)) {
      EXPECT_FALSE(escaped(r.last + 1));
    }
  }
}

}  // namespace
}  // namespace base

namespace base {
namespace {

TEST(Utf16, RoundTripsAndRefusals) {
  const std::u16string_view kText = u"Disc \u00e9 \u30c7\u30a3\u30b9\u30af \U0001F4BF.bin";
  const std::string utf8 = utf8_from_utf16(kText);
  EXPECT_EQ(utf8, "Disc \u00e9 \u30c7\u30a3\u30b9\u30af \U0001F4BF.bin");
  EXPECT_EQ(utf16_from_utf8(utf8), std::u16string(kText));
  // The first and the last character whose high surrogate is 0xD800.
  EXPECT_EQ(utf8_from_utf16(u"\U00010000\U000103FF"), "\xF0\x90\x80\x80\xF0\x90\x8F\xBF");

  // Unpaired surrogates, alone, at the end, or the wrong way round, come out
  // as bytes that are not valid UTF-8.
  for (const std::u16string& lone :
       {std::u16string(u"a") + char16_t{0xD800}, std::u16string(1, char16_t{0xDC00}) + u"b",
        std::u16string{char16_t{0xDC00}, char16_t{0xD800}}}) {
    EXPECT_FALSE(is_valid_utf8(utf8_from_utf16(lone)));
  }
  EXPECT_EQ(utf8_from_utf16(std::u16string(1, char16_t{0xD800})), "\xED\xA0\x80");

  EXPECT_EQ(utf16_from_utf8("a\xFF"), std::nullopt);
  EXPECT_EQ(utf16_from_utf8(std::string("a\0b", 3)), std::nullopt);
}

}  // namespace
}  // namespace base

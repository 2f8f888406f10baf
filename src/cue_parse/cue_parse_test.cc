#include "cue_parse/cue_parse.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/failure.h"
#include "support/disc_dump.h"
#include "support/discs.h"
#include "support/temp_dir.h"

namespace {

using testing_support::dump;
using testing_support::fs_path;
using testing_support::shown_path;
using testing_support::TempDir;

// Every sheet is written to a folder holding these track files and read
// from there, as a run reads it.
class CueParseTest : public ::testing::Test {
 protected:
  CueParseTest() {
    for (const char* name : {"a.bin", "b.bin", "Game (Track 1).bin"}) dir_.write(name, "");
  }

  std::string cue_path() const { return dir_.path("x.cue"); }
  disc::Cdrom read(const std::string& sheet, const std::string& path) const {
    TempDir::write_path(path, sheet);
    return cue_parse::parse_cue(path);
  }
  std::string parse(const std::string& sheet) const {
    return dump(read(sheet, cue_path()), dir_.path(""));
  }
  std::string refusal(const std::string& sheet) const { return refusal_at(sheet, cue_path()); }
  std::string refusal_at(const std::string& sheet, const std::string& path) const {
    try {
      read(sheet, path);
    } catch (const base::Failure& failure) {
      EXPECT_EQ(failure.exit_status(), 1);
      return failure.what();
    }
    return "(accepted)";
  }

  TempDir dir_;
};

constexpr const char* kSession = "REM SESSION 01\nFILE a.bin BINARY\nTRACK 01 AUDIO\n";
constexpr const char* kFileOfItsOwn =
    "Error: each track needs a FILE line of its own (one BIN file per track). Quitting...";

struct Accepted {
  const char* sheet;
  const char* model;
};

TEST_F(CueParseTest, AcceptedSheets) {
  const Accepted cases[] = {
      {"", ""},
      {"REM SESSION 01\n", "{}"},
      {"REM SESSION 02\n", "{}"},
      {"REM SESSION 1\nREM SESSION 3\nREM SESSION 3\n", "{} {} {}"},
      {"REM SESSION +1\n", "{}"},
      {"REM SESSION 01\nFILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "{a.bin:0 [1@0]}"},
      // CR LF ends, indentation, and white space of any kind around a line.
      {"REM SESSION 01\r\n  FILE a.bin BINARY\r\n\tTRACK 01 MODE1/2352\r\n\u3000INDEX 01 00:02:00 "
       "\r\n",
       "{a.bin:1 [1@150]}"},
      {"REM SESSION 01\nTRACK 01 MODE2/2352", "{:2 []}"},  // no FILE: empty path; no final LF
      // A byte-order mark in front of the first line is no part of it.
      {"\xEF\xBB\xBFREM SESSION 01\n", "{}"},
      {"\xEF\xBB\xBF", ""},
      {"REM\n  REM  \nREM COMMENT some text\nREM LEAD-OUT 01:00:00\n", ""},
      {"REM  SESSION 01\n", ""},  // empty keyword: just a remark
      {"FILE \"Game (Track 1).bin\" BINARY\nREM SESSION 01\nTRACK 01 AUDIO\n",
       "{Game (Track 1).bin:0 []}"},
      {"FILE \"a\".bin BINARY\nREM SESSION 1\nTRACK 1 AUDIO\nFILE a.bin BINARY\nTRACK 2 AUDIO\n",
       "{a.bin:0 [] | a.bin:0 []}"},
      // Track numbers only have to grow within their session.
      {"REM SESSION 1\nTRACK 1 AUDIO\nTRACK 5 AUDIO\nTRACK 3 AUDIO\nREM SESSION 2\nTRACK 3 AUDIO\n",
       "{:0 [] | :0 [] | :0 []} {:0 []}"},
      {"REM SESSION 1\nTRACK  01 AUDIO\n", "{:0 []}"},
      {"REM SESSION 1\nTRACK 1 AUDIO\nINDEX 00 00:00:00\nINDEX 01 01:00:00\nINDEX 01 00:61:80\n"
       "INDEX 7 +1:2:3:99\nINDEX 01 00:02:00\n",
       "{:0 [0@0 1@4500 1@4655 7@4653 1@150]}"},
      {"REM SESSION 1\nTRACK 1 AUDIO\nINDEX 1 954437:10:45\n", "{:0 [1@4294967295]}"},
      {"REM SESSION 1\nTRACK 1 AUDIO\nISRC ABCDE1234567\n", "{:0 [] isrc=ABCDE1234567}"},
      {"REM SESSION 1\nTRACK 1 AUDIO\nISRC AB DE1234567XYZ\n", "{:0 [] isrc=AB DE1234567}"},
      {"CATALOG 1234567890123\n", "cat=1234567890123"},
      {"CATALOG ABCDEFGHIJKLMNOP\nREM SESSION 1\n", "cat=ABCDEFGHIJKLM {}"},
      // A line that is not UTF-8 but would be ignored anyway is skipped.
      {"REM COMMENT caf\xE9 time\nREM SESSION 1\n", "{}"},
      {"REM SESS\xC0ION 1\n", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.sheet), c.model) << c.sheet;
}

TEST_F(CueParseTest, TheRedumpExampleSheet) {
  const std::string sheet =
      "CATALOG 0123456789012\n"
      "REM SESSION 01\n"
      "FILE \"a.bin\" BINARY\n"
      "  TRACK 01 AUDIO\n"
      "    INDEX 01 00:00:00\n"
      "REM SESSION 02\n"
      "FILE \"b.bin\" BINARY\n"
      "  TRACK 02 MODE1/2352\n"
      "    INDEX 01 00:00:00\n"
      "FILE \"Game (Track 1).bin\" BINARY\n"
      "  TRACK 03 MODE1/2352\n"
      "    INDEX 00 00:00:00\n"
      "    INDEX 01 00:02:00\n";
  const disc::Cdrom cdrom = read(sheet, cue_path());
  EXPECT_EQ(dump(cdrom, dir_.path("")),
            "cat=0123456789012 {a.bin:0 [1@0]} {b.bin:1 [1@0] | Game (Track 1).bin:1 [0@0 1@150]}");
  EXPECT_EQ(cdrom.image_name, "cuesmelt");
  EXPECT_EQ(cdrom.volume_name, "cuesmelt");
}

struct Refused {
  std::string sheet;
  const char* message;
};

TEST_F(CueParseTest, RefusedSheets) {
  const std::string s = kSession;
  const Refused cases[] = {
      {"\n", "Error parsing CUE file -- is this a valid Redump Dreamcast CD image?"},
      {"REM SESSION 1\n\nTRACK 1 AUDIO\n",
       "Error parsing CUE file -- is this a valid Redump Dreamcast CD image?"},
      {"FLAGS DCP\n", "Unrecognized command FLAGS"},
      {"file a.bin BINARY\n", "Unrecognized command file"},
      // Only the first byte-order mark is dropped, and only on the first line.
      {"\xEF\xBB\xBF\xEF\xBB\xBFREM SESSION 01\n", "Unrecognized command \xEF\xBB\xBFREM"},
      {"REM SESSION 01\n\xEF\xBB\xBFREM SESSION 02\n", "Unrecognized command \xEF\xBB\xBFREM"},
      {"\xEF\xBB", "Error: line 1 of the CUE file is not valid UTF-8. Quitting..."},
      // A word with a control character is escaped, so a sheet cannot send
      // escape sequences to the terminal; tab and other characters are not.
      {"\x1B[2JREM SESSION 01\n", "Unrecognized command \"\\u{1b}[2JREM\""},
      {"X\x7F\xC2\x9B y\n", "Unrecognized command \"X\\u{7f}\\u{9b}\""},
      {"X\x7F y\n", "Unrecognized command \"X\\u{7f}\""},
      {"A\tB C\n", "Unrecognized command A\tB"},
      {"caf\xC3\xA9\xE2\x80\x8B x\n", "Unrecognized command caf\xC3\xA9\xE2\x80\x8B"},
      {"REM COMMENT\n", "Error in REM. Quitting..."},
      {"REM HIGH-DENSITY\n", "Error in REM. Quitting..."},
      {"REM HIGH-DENSITY AREA\n",
       "GD-ROM images not supported! This is just for Redump Dreamcast CD images. Quitting..."},
      {"REM SINGLE-DENSITY AREA\n",
       "GD-ROM images not supported! This is just for Redump Dreamcast CD images. Quitting..."},
      {"REM SESSION 1x\n", "Error reading SESSION number. Quitting..."},
      {"REM SESSION -1\n", "Error reading SESSION number. Quitting..."},
      {"REM SESSION ++1\n", "Error reading SESSION number. Quitting..."},
      {"REM SESSION 18446744073709551616\n", "Error reading SESSION number. Quitting..."},
      {"REM SESSION 00\n", "Error: Invalid SESSION number. Quitting..."},
      {"REM SESSION 01\nREM SESSION 01\n", "Error: Invalid SESSION number. Quitting..."},
      {"REM SESSION 2\nREM SESSION 1\n", "Error: Invalid SESSION number. Quitting..."},
      {"FILE a.bin\n", "Error in FILE command. Quitting..."},
      {"FILE a.bin binary\n", "Error: Only BINARY file types supported. Quitting..."},
      {"FILE \"a b.bin\"\n", "Error: Only BINARY file types supported. Quitting..."},
      {"TRACK 01\n", "Error in TRACK command. Quitting..."},
      {"TRACK xx MODE1/2048\n",
       "Error in TRACK command. Only AUDIO, MODE1/2352, and MODE2/2352 tracks supported."},
      {"TRACK 01  AUDIO\n",
       "Error in TRACK command. Only AUDIO, MODE1/2352, and MODE2/2352 tracks supported."},
      {"TRACK xx AUDIO\n", "Error reading TRACK number. Quitting..."},
      {"TRACK 01 AUDIO\n", "Error: TRACK line before the first REM SESSION line. Quitting..."},
      {s + "TRACK 01 AUDIO\n", "Unexpected TRACK number. Quitting..."},
      {"REM SESSION 1\nTRACK 0 AUDIO\n", "Unexpected TRACK number. Quitting..."},
      // One BIN file holding several tracks is another layout: refused, in
      // a session or across sessions, before any later line is read.
      {s + "TRACK 02 AUDIO\nFLAGS DCP\n", kFileOfItsOwn},
      {s + "REM SESSION 02\nTRACK 02 AUDIO\n", kFileOfItsOwn},
      {s + "INDEX 01\n", "Error parsing INDEX values."},
      {s + "INDEX x1 00:00:00\n", "Error reading INDEX number. Quitting..."},
      {s + "INDEX 01  00:02:00\n", "Error processing INDEX: minutes"},
      {s + "INDEX 01 :02:00\n", "Error processing INDEX: minutes"},
      {s + "INDEX 01 00\n", "Error processing INDEX: seconds"},
      {s + "INDEX 01 00:x:00\n", "Error processing INDEX: seconds"},
      {s + "INDEX 01 00:02\n", "Error processing INDEX: frames"},
      {s + "INDEX 01 00:02:\n", "Error processing INDEX: frames"},
      {s + "INDEX 01 954437:10:46\n", "Error processing INDEX: time out of range"},
      {s + "INDEX 01 18446744073709551615:0:0\n", "Error processing INDEX: time out of range"},
      {s + "INDEX 01 0:0:4294967296\n", "Error processing INDEX: time out of range"},
      // The time is checked before whether there is a track to take it.
      {"INDEX 01 00:02\n", "Error processing INDEX: frames"},
      {"INDEX 01 00:00:00\n", "Error: INDEX line outside of a TRACK. Quitting..."},
      {"REM SESSION 1\nINDEX 01 00:00:00\n", "Error: INDEX line outside of a TRACK. Quitting..."},
      {s + "REM SESSION 2\nINDEX 01 00:00:00\n",
       "Error: INDEX line outside of a TRACK. Quitting..."},
      {s + "ISRC ABCDE123456\n", "Invalid ISRC entry. Quitting..."},
      {s + "ISRC ABCDE123456\xC3\xA9\n", "Invalid ISRC entry. Quitting..."},  // é straddles the cut
      {"REM SESSION 1\nISRC ABCDE1234567\n", "Error: ISRC line outside of a TRACK. Quitting..."},
      {s + "ISRC ABCDE1234567\nISRC \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\n",
       "Error: ISRC already set for track. Quitting..."},
      {"CATALOG 123456789012\n", "Invalid CATALOG number. Quitting..."},
      {"CATALOG 123456789012\xC3\xA9\n", "Invalid CATALOG number. Quitting..."},
      {"CATALOG 1234567890123\nCATALOG 1234567890123\n",
       "Error: CATALOG already set for this disc. Quitting..."},
      // Lines that are not UTF-8 and would not have been ignored.
      {"\xEF\xBB\xBFREM SESSION 1\nTRACK 1 AUDIO\xFF\n",
       "Error: line 2 of the CUE file is not valid UTF-8. Quitting..."},
      {"REM SESSION\xFF 1\n", "(accepted)"},
      {"REM SESSION \xFF\n", "Error: line 1 of the CUE file is not valid UTF-8. Quitting..."},
      {"REM HIGH-DENSITY \xFF\n", "Error: line 1 of the CUE file is not valid UTF-8. Quitting..."},
      {"REM\xFF\n", "Error: line 1 of the CUE file is not valid UTF-8. Quitting..."},
      {"REM \xFF\n", "Error: line 1 of the CUE file is not valid UTF-8. Quitting..."},
      // The first refused line ends the reading.
      {"FLAGS DCP\nREM HIGH-DENSITY AREA\n", "Unrecognized command FLAGS"},
  };
  for (const auto& c : cases) EXPECT_EQ(refusal(c.sheet), c.message) << c.sheet;
}

TEST_F(CueParseTest, FileNamesAreResolvedAgainstTheSheetsFolder) {
  const TempDir elsewhere;
  const std::string absolute = dir_.path("a.bin");
  const struct {
    std::string cue_path;
    std::string file_name;
    std::string track_path;
  } cases[] = {
      {dir_.path("x.cue"), "\"Game (Track 1).bin\"", dir_.path("Game (Track 1).bin")},
      {dir_.path() + "//x.cue", "a.bin", dir_.path("a.bin")},
      {elsewhere.path("x.cue"), absolute, absolute},
  };
  for (const auto& c : cases) {
    const auto disc =
        read("FILE " + c.file_name + " BINARY\nREM SESSION 1\nTRACK 1 AUDIO\n", c.cue_path);
    EXPECT_EQ(testing_support::path_of(disc.sessions.at(0).tracks.at(0)), c.track_path)
        << c.cue_path;
  }
}

TEST_F(CueParseTest, MissingFilesAreNamedInTheQuotedForm) {
  const std::string quoted_dir = shown_path(dir_.path(""));
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"missing.bin", "missing.bin"},
      {"Track 02.bin", "Track 02.bin"},
      {"it's\ta.bin", "it\\'s\\ta.bin"},
      {std::string("a.bin\0x", 7), "a.bin\\0x"},  // the part before a NUL must not be found
  };
  for (const auto& c : cases) {
    EXPECT_EQ(refusal("FILE " + c.name + " BINARY\n"),
              "FILE not found at \"" + quoted_dir + c.shown + "\". Quitting...");
  }
  // With a bare sheet name, FILE names are relative to the working folder.
  const TempDir working;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(fs_path(working.path()));
  EXPECT_EQ(refusal_at("FILE a.bin BINARY\n", "x.cue"), "FILE not found at \"a.bin\". Quitting...");
  std::filesystem::current_path(previous);
}

TEST_F(CueParseTest, ADoubledSpaceBeforeTheTypeStaysInTheName) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows drops trailing spaces from a file name: \"a.bin \" names a.bin";
#endif
  EXPECT_EQ(refusal("FILE a.bin  BINARY\n"),
            "FILE not found at \"" + shown_path(dir_.path("a.bin ")) + "\". Quitting...");
}

TEST_F(CueParseTest, ReadsTheSheetFromDisk) {
  // The last line needs no line feed.
  const std::string path = dir_.write("x.cue", std::string(kSession) + "INDEX 01 00:02:00");
  EXPECT_EQ(dump(cue_parse::parse_cue(path), dir_.path("")), "{a.bin:0 [1@150]}");

  // A sheet larger than one read, with a line across the boundary.
  std::string big = kSession;
  while (big.size() < 200000) big += "INDEX 01 00:00:01\n";
  dir_.write("x.cue", big);
  EXPECT_EQ(cue_parse::parse_cue(path).sessions[0].tracks[0].indexes.size(),
            (big.size() - std::string(kSession).size()) / 18);

  for (const auto& [sheet, message] :
       {std::pair<std::string, std::string>{dir_.path("none.cue"), "File not found!"},
        {dir_.path(), "Error reading CUE file. Quitting..."}}) {
    try {
      cue_parse::parse_cue(sheet);
      ADD_FAILURE() << sheet;
    } catch (const base::Failure& failure) {
      EXPECT_EQ(std::string(failure.what()), message);
    }
  }
}

}  // namespace

// End-to-end on Windows: what only Windows brings to the real binary. Names
// in any script through the UTF-16 API, paths beyond 260 characters, the
// UTF-16 command line, and the many spellings of one path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/deep_folder.h"
#include "support/discs.h"
#include "support/process.h"
#include "support/run_texts.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::DeepFolder;
using testing_support::fs_path;
using testing_support::kBanner;
using testing_support::kSuccess;
using testing_support::kWriting;
using testing_support::Outcome;
using testing_support::read_file;
using testing_support::run_program;
using testing_support::run_program_utf16;
using testing_support::same_bytes;
using testing_support::shown_path;
using testing_support::TempDir;
using testing_support::utf8_path;

const std::string kSampleDir = utf8_path(fs::absolute(fs_path(SAMPLE_DISC_DIR)));
const std::string kSampleCue = kSampleDir + "\\Sample Disc.cue";
const std::string kSameFile = "Error: output file is the same as an input file. Quitting...\n";

// Japanese, Latin with accents, and characters beyond the 16-bit range, two
// of them (U+10000 and U+10330) with the lowest high surrogate, 0xD800.
const std::string kNames[] = {"ソニックアドベンチャー (日本)", "Éclair à la crème brûlée",
                              "🎮 Dreamcast 🌀", "𐀀 Linear B, 𐌰 Gothic"};

Outcome cuesmelt(const std::vector<std::string>& args, const std::string& cwd = {}) {
  return run_program(CUESMELT_BINARY, args, cwd);
}

/// The sample disc's image, converted from its own files.
std::string reference_image(const TempDir& dir) {
  const std::string image = dir.path("reference.cdi");
  EXPECT_EQ(cuesmelt({"--cue", kSampleCue, "--cdi", image}).status, 0);
  return read_file(image);
}

/// The sample disc's files renamed after `name`: the sheet `name`.cue and
/// its tracks `name` (Track N).bin, handed to `write` by file name.
template <typename Write>
void write_sample_as(const std::string& name, Write&& write) {
  std::string sheet = read_file(kSampleCue);
  const std::string original = "Sample Disc";
  for (std::size_t at = 0; (at = sheet.find(original, at)) != std::string::npos;) {
    sheet.replace(at, original.size(), name);
    at += name.size();
  }
  write(name + ".cue", sheet);
  for (const char* track : {"1", "2", "3"}) {
    const std::string file = " (Track " + std::string(track) + ").bin";
    write(name + file, read_file(kSampleDir + "\\Sample Disc" + file));
  }
}

TEST(WindowsEndToEnd, NamesInAnyScriptConvertLikeTheSample) {
  TempDir dir;
  const std::string reference = reference_image(dir);
  for (const std::string& name : kNames) {
    SCOPED_TRACE(name);
    const std::string folder = dir.path(name);
    fs::create_directory(fs_path(folder));
    write_sample_as(name, [&](const std::string& file, const std::string& bytes) {
      TempDir::write_path(folder + "\\" + file, bytes);
    });
    const std::string image = folder + "\\" + name + ".cdi";
    Outcome run = cuesmelt({"--cue", folder + "\\" + name + ".cue", "--cdi", image});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kSuccess);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(same_bytes(read_file(image), reference));

    run = cuesmelt({"--cue=" + name + ".cue", "--cdi=" + name + " 2.cdi"}, folder);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(same_bytes(read_file(folder + "\\" + name + " 2.cdi"), reference));
  }
}

TEST(WindowsEndToEnd, AMissingTrackFileIsNamedAsItIsSpelt) {
  TempDir dir;
  for (const std::string& name : kNames) {
    const std::string cue =
        dir.write("d.cue", "REM SESSION 01\nFILE \"" + name + ".bin\" BINARY\nTRACK 01 AUDIO\n");
    const Outcome run = cuesmelt({"--cue", cue, "--cdi", dir.path(name + ".cdi")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "FILE not found at \"" + shown_path(dir.path("")) + name + ".bin\". Quitting...\n");
  }
}

TEST(WindowsEndToEnd, PathsLongerThan260Characters) {
  TempDir dir;
  const std::string reference = reference_image(dir);
  DeepFolder deep(dir.path(), 300);
  write_sample_as("Sample Disc", [&](const std::string& file, const std::string& bytes) {
    deep.write(file, bytes);
  });
  const std::string image = deep.path("Sample Disc.cdi");
  ASSERT_GT(image.size(), 300u);
  const Outcome run = cuesmelt({"--cue", deep.path("Sample Disc.cue"), "--cdi", image});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, kSuccess);
  EXPECT_TRUE(same_bytes(deep.read("Sample Disc.cdi"), reference));

  // The same sheet without one of its tracks: the whole path shows.
  deep.write("Sample Disc.cue",
             "REM SESSION 01\nFILE \"Sample Disc (Track 9).bin\" BINARY\nTRACK 01 AUDIO\n");
  EXPECT_EQ(cuesmelt({"--cue", deep.path("Sample Disc.cue"), "--cdi", image}).err,
            "FILE not found at \"" + shown_path(deep.path("Sample Disc (Track 9).bin")) +
                "\". Quitting...\n");
}

TEST(WindowsEndToEnd, OtherSpellingsOfTheSheetsPath) {
  TempDir dir;
  const std::string reference = reference_image(dir);
  std::string slashed = kSampleCue;
  for (char& c : slashed) c = c == '\\' ? '/' : c;
  const struct {
    std::string cue;
    std::string cwd;
  } cases[] = {
      {slashed, ""},
      {R"(\\?\)" + kSampleCue, ""},
      {"Sample Disc.cue", kSampleDir},
      {R"(.\Sample Disc.cue)", kSampleDir},
      {"SAMPLE DISC.CUE", kSampleDir},
      {kSampleCue.substr(0, 2) + "Sample Disc.cue", kSampleDir},  // the drive's current folder
  };
  for (const auto& c : cases) {
    const Outcome run = cuesmelt({"--cue", c.cue, "--cdi", dir.path("out.cdi")}, c.cwd);
    EXPECT_EQ(run.status, 0) << c.cue << ": " << run.err;
    EXPECT_TRUE(same_bytes(read_file(dir.path("out.cdi")), reference)) << c.cue;
  }
}

TEST(WindowsEndToEnd, AnOutputThatIsAnInputUnderAnotherSpellingIsRefused) {
  TempDir dir;
  const std::string track = dir.write("t.bin", std::string(2352 * 3, 'a'));
  const std::string cue =
      dir.write("d.cue", "REM SESSION 01\nFILE t.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
  fs::create_directory(fs_path(dir.path("sub")));
  std::string slashed = track;
  for (char& c : slashed) c = c == '\\' ? '/' : c;
  const struct {
    std::string cue;
    std::string output;
    std::string cwd = {};
  } cases[] = {
      {cue, slashed},
      {cue, dir.path("T.BIN")},
      {cue, dir.path(R"(.\t.bin)")},
      {cue, dir.path(R"(sub\..\t.bin)")},
      {cue, R"(\\?\)" + track},
      {cue, dir.path("t.bin. ")},
      {cue, dir.path("D.Cue")},
      {"d.cue", R"(.\t.bin)", dir.path()},
      {"d.cue", "T.bin", dir.path()},
  };
  for (const auto& c : cases) {
    const Outcome run = cuesmelt({"--cue", c.cue, "--cdi", c.output}, c.cwd);
    EXPECT_EQ(run.status, 1) << c.output;
    EXPECT_EQ(run.out, kWriting) << c.output;
    EXPECT_EQ(run.err, kSameFile) << c.output;
  }
  EXPECT_EQ(read_file(track), std::string(2352 * 3, 'a'));
  EXPECT_EQ(read_file(cue),
            "REM SESSION 01\nFILE t.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
}

TEST(WindowsEndToEnd, ArgumentsComeInUtf16) {
  const std::string usage =
      "\n\nUsage: " + utf8_path(fs_path(CUESMELT_BINARY).filename()) +
      " --cue <cuesheet> --cdi <cdi>\n\nFor more information, try '--help'.\n";
  const std::string invalid = "error: invalid UTF-8 was detected in one or more arguments" + usage;
  // A surrogate alone, high or low, in each place an argument can hold it.
  const struct {
    std::vector<std::wstring> args;
    std::string err;
  } cases[] = {
      {{L"--cue",
        L"a\xD800"
        L".cue",
        L"--cdi", L"x.cdi"},
       invalid},
      {{L"--cue=\xDC00", L"--cdi", L"x.cdi"}, invalid},
      {{L"-i", L"x.cue", L"-o\xD83C"}, invalid},
      {{L"--c\xDFFF"
        L"e",
        L"x.cue"},
       invalid},
      {{L"\xD800"}, invalid},
      // Paired, they are one character.
      {{L"\xD83C\xDFAE"}, "error: unexpected argument '\U0001F3AE' found" + usage},
      {{L"--\u30BD\u30CB\u30C3\u30AF"},
       "error: unexpected argument '--\u30BD\u30CB\u30C3\u30AF' found" + usage},
  };
  for (const auto& c : cases) {
    const Outcome run = run_program_utf16(CUESMELT_BINARY, c.args);
    EXPECT_EQ(run.status, 2) << c.err;
    EXPECT_EQ(run.out, kBanner);
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace

// End-to-end: the real binary, its streams, its exit status and its files.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "disc/cdrom.h"
#include "support/discs.h"
#include "support/golden_descriptors.h"
#include "support/process.h"
#include "support/run_texts.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::fs_path;
using testing_support::kBanner;
using testing_support::kParsing;
using testing_support::kPathSeparator;
using testing_support::kSuccess;
using testing_support::kWriting;
using testing_support::Outcome;
using testing_support::read_file;
using testing_support::run_program;
using testing_support::same_bytes;
using testing_support::shown_path;
using testing_support::stored;
using testing_support::TempDir;
using testing_support::to_hex;
using testing_support::utf8_path;

// In the system's own form: on Windows the build folder's path from CMake
// may be a Unix one, taken by Wine as one on the current drive.
const std::string kSampleDir = utf8_path(fs::absolute(fs_path(SAMPLE_DISC_DIR)));
const std::string kSampleCue = kSampleDir + kPathSeparator + "Sample Disc.cue";
// What usage lines show: the file name of the binary, "cuesmelt.exe" on Windows.
const std::string kUsage =
    "Usage: " + utf8_path(fs_path(CUESMELT_BINARY).filename()) + " --cue <cuesheet> --cdi <cdi>\n";

Outcome cuesmelt(const std::vector<std::string>& args, const std::string& cwd = {}) {
  return run_program(CUESMELT_BINARY, args, cwd);
}

std::string sample_track(int number) {
  return read_file(kSampleDir + kPathSeparator + "Sample Disc (Track " + std::to_string(number) +
                   ").bin");
}

TEST(EndToEnd, ConvertsTheSampleDisc) {
  TempDir dir;
  const std::string image_path = dir.path("Sample Disc.cdi");
  // A longer older image in its place: nothing of it may remain.
  dir.write("Sample Disc.cdi", std::string(4 << 20, 'x'));
  const Outcome run = cuesmelt({"--cue", kSampleCue, "--cdi", image_path});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kSuccess);
  EXPECT_EQ(run.err, "");

  // Session 1: one audio track. Session 2: a mode 1 track, then an audio
  // track whose 150 sectors before INDEX 01 count with the mode 1 track and
  // are therefore stored the way it stores a sector.
  const std::string t1 = sample_track(1), t2 = sample_track(2), t3 = sample_track(3);
  const std::size_t n3 = t3.size() / 2352;
  const std::string data_area = std::string(150 * 2352, '\0') + t1 + std::string(150 * 2048, '\0') +
                                stored(t2, 0, t2.size() / 2352, disc::TrackMode::Mode1) +
                                stored(t3, 0, 150, disc::TrackMode::Mode1) +
                                stored(t3, 150, n3 - 150, disc::TrackMode::Audio);
  const std::string image = read_file(image_path);
  const std::size_t descriptor_size = 2 + 2 * 15 + 3 * 244 + 265;
  ASSERT_EQ(image.size(), data_area.size() + descriptor_size);
  EXPECT_TRUE(same_bytes(image.substr(0, data_area.size()), data_area));
  EXPECT_EQ(to_hex(image.substr(data_area.size())), cdi_test_data::kSampleDiscHex);
}

TEST(EndToEnd, CommandLineOutcomes) {
  const std::string& usage = kUsage;
  const std::string more = "\nFor more information, try '--help'.\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{},
       2,
       kBanner,
       "error: the following required arguments were not provided:\n  --cue <cuesheet>\n  --cdi "
       "<cdi>\n\n" +
           usage + more},
      {{"--cdi", "out.cdi"},
       2,
       kBanner,
       "error: the following required arguments were not provided:\n  --cue <cuesheet>\n\n" +
           usage + more},
      {{"--cue"},
       2,
       kBanner,
       "error: a value is required for '--cue <cuesheet>' but none was supplied\n" + more},
      {{"disc.cue"}, 2, kBanner, "error: unexpected argument 'disc.cue' found\n\n" + usage + more},
      // Sheets as Explorer drops them, but with the streams redirected: a command line.
      {{kSampleCue, kSampleDir},
       2,
       kBanner,
       "error: unexpected argument '" + kSampleCue + "' found\n\n" + usage + more},
      {{"-V", "--bogus"}, 0, kBanner + "cuesmelt 0.9.0\n", ""},
      {{"--help", "--cue"},
       0,
       kBanner +
           "Convert Dreamcast multisession CD images in Redump CUE format to DiscJuggler CDI "
           "format\n\n" +
           usage +
           "\nOptions:\n"
           "  -i, --cue <cuesheet>  Path to input CUE file\n"
           "  -o, --cdi <cdi>       Path to output CDI file\n"
           "  -h, --help            Print help\n"
           "  -V, --version         Print version\n",
       ""},
  };
  for (const auto& c : cases) {
    const Outcome run = run_program(CUESMELT_BINARY, c.args, {}, nullptr);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(EndToEnd, EveryFormOfTheRunGivesTheSameImage) {
  TempDir dir;
  const std::string reference = dir.path("reference.cdi");
  ASSERT_EQ(cuesmelt({"--cue", kSampleCue, "--cdi", reference}).status, 0);
  // The sheet as an editor saves "UTF-8 with BOM", beside copies of its files.
  for (const auto& entry : fs::directory_iterator(fs_path(kSampleDir))) {
    fs::copy_file(entry.path(), fs_path(dir.path(utf8_path(entry.path().filename()))));
  }
  const std::string marked = dir.write("marked.cue", "\xEF\xBB\xBF" + read_file(kSampleCue));
  const std::vector<std::vector<std::string>> forms = {
      {"--cue", marked, "--cdi", dir.path("a.cdi")},
      {"-i" + kSampleCue, "-o=" + dir.path("a.cdi")},
      {"--cdi=" + dir.path("a.cdi"), "--cue", kSampleCue},
      {"-o", dir.path("a.cdi"), "-i=" + kSampleCue},
  };
  for (const auto& args : forms) {
    const Outcome run = cuesmelt(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir.path("a.cdi")), read_file(reference));
  }
}

TEST(EndToEnd, ARefusedSheetLeavesTheOutputAsItWas) {
  TempDir dir;
  const std::string cue = dir.write("bad.cue", "REM SESSION 01\nFLAGS DCP\n");
  const std::string output = dir.write("out.cdi", "precious");
  const Outcome run = cuesmelt({"--cue", cue, "--cdi", output});
  EXPECT_EQ(run.status, 1);
  // The progress text without its line end still reaches standard output.
  EXPECT_EQ(run.out, kParsing);
  EXPECT_EQ(run.err, "Unrecognized command FLAGS\n");
  EXPECT_EQ(read_file(output), "precious");

  const Outcome missing = cuesmelt({"--cue", dir.path("none.cue"), "--cdi", output});
  EXPECT_EQ(missing.err, "File not found!\n");
  EXPECT_EQ(missing.status, 1);
}

TEST(EndToEnd, OutputThatCannotBeCreatedOrWritten) {
  TempDir dir;
  const struct {
    std::string output;
    std::string err;
  } cases[] = {
      {dir.path("missing/out.cdi"), "Error while creating file. Quitting...\n"},
      {dir.path(), "Error while creating file. Quitting...\n"},
      {"", "Error while creating file. Quitting...\n"},
  };
  for (const auto& c : cases) {
    const Outcome run = cuesmelt({"--cue", kSampleCue, "--cdi", c.output});
    EXPECT_EQ(run.status, 1) << c.output;
    EXPECT_EQ(run.out, kWriting);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(EndToEnd, TheImageTakesThePermissionsTheUmaskLeaves) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows keeps access in access control lists, not in permission bits";
#else
  TempDir dir;
  for (const auto& [umask, mode] : {std::pair{022, 0644}, {077, 0600}}) {
    const std::string image = dir.path("umask" + std::to_string(umask) + ".cdi");
    const mode_t previous = ::umask(static_cast<mode_t>(umask));
    const Outcome run = cuesmelt({"--cue", kSampleCue, "--cdi", image});
    ::umask(previous);
    struct stat status {};
    ASSERT_EQ(::stat(image.c_str(), &status), 0) << run.err;
    EXPECT_EQ(status.st_mode & 0777, static_cast<mode_t>(mode)) << "umask " << umask;
  }
#endif
}

TEST(EndToEnd, ClosedStandardStreamsChangeNothing) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows gives a missing standard stream no handle that a file could take";
#else
  TempDir dir;
  const std::string reference = dir.path("reference.cdi");
  ASSERT_EQ(cuesmelt({"--cue", kSampleCue, "--cdi", reference}).status, 0);
  for (const char* closed : {"<&-", ">&-", "2>&-", "<&- >&- 2>&-"}) {
    const std::string image = dir.path("closed.cdi");
    const Outcome run = run_program(
        "/bin/sh", {"-c", "exec \"$0\" --cue \"$1\" --cdi \"$2\" " + std::string(closed),
                    CUESMELT_BINARY, kSampleCue, image});
    EXPECT_EQ(run.status, 0) << closed;
    EXPECT_TRUE(same_bytes(read_file(image), read_file(reference))) << closed;
  }
  // With standard output closed, /dev/stdout names the null device put in its
  // place, which takes the image as it does natively, not a number left free.
  const Outcome into_stdout = run_program(
      "/bin/sh",
      {"-c", "exec \"$0\" --cue \"$1\" --cdi /dev/stdout >&-", CUESMELT_BINARY, kSampleCue});
  EXPECT_EQ(into_stdout.status, 0);
  EXPECT_EQ(into_stdout.err, "");
#endif
}

TEST(EndToEnd, AFullDiskIsReported) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no device that is always full, like Linux's /dev/full";
#endif
  const Outcome run = cuesmelt({"--cue", kSampleCue, "--cdi", "/dev/full"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kWriting);
  EXPECT_EQ(run.err, "Error while writing file. Quitting...: No space left on device\n");
}

TEST(EndToEnd, AnOutputThatIsAnInputIsRefused) {
  TempDir dir;
  const std::string track = dir.write("t.bin", std::string(2352 * 3, 'a'));
  const std::string cue =
      dir.write("d.cue", "REM SESSION 01\nFILE t.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
  fs::create_hard_link(fs_path(track), fs_path(dir.path("hard.cdi")));
  const std::string cue_text = read_file(cue), track_bytes = read_file(track);
  for (const std::string& output : {cue, track, dir.path("hard.cdi")}) {
    const Outcome run = cuesmelt({"--cue", cue, "--cdi", output});
    EXPECT_EQ(run.status, 1) << output;
    EXPECT_EQ(run.err, "Error: output file is the same as an input file. Quitting...\n");
  }
  EXPECT_EQ(read_file(cue), cue_text);
  EXPECT_EQ(read_file(track), track_bytes);

  // A relative sheet path with the image beside it is fine.
  const Outcome run = cuesmelt({"--cue", "d.cue", "--cdi", "d.cdi"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_file(dir.path("d.cdi")).size(), 150 * 2352 + track_bytes.size() + 526);
}

TEST(EndToEnd, AnOutputThatLinksToAnInputIsRefused) {
  TempDir dir;
  const std::string track = dir.write("t.bin", std::string(2352 * 3, 'a'));
  const std::string cue =
      dir.write("d.cue", "REM SESSION 01\nFILE t.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
  const std::string link = dir.path("link.cdi");
  std::error_code error;
  fs::create_symlink(fs_path(track), fs_path(link), error);
  if (error || !fs::exists(fs_path(link))) {
    GTEST_SKIP() << "no symbolic link can be made here (Windows lets only administrators and "
                    "developer mode make them; Wine 8 reports success but makes none)";
  }
  const Outcome run = cuesmelt({"--cue", cue, "--cdi", link});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Error: output file is the same as an input file. Quitting...\n");
  EXPECT_EQ(read_file(track), std::string(2352 * 3, 'a'));
}

/// A sheet of `count` audio tracks of t.bin, each under a FILE line of its
/// own, over `sessions` sessions; `last_file` names the last track's file.
std::string sheet_of_tracks(int sessions, int count, const std::string& last_file = "t.bin") {
  std::string sheet;
  const int per_session = count / sessions;
  for (int t = 0; t < count; ++t) {
    if (t % per_session == 0) sheet += "REM SESSION " + std::to_string(t / per_session + 1) + "\n";
    sheet += "FILE " + (t + 1 == count ? last_file : "t.bin") + " BINARY\n";
    sheet += "TRACK " + std::to_string(t + 1) + " AUDIO\n";
  }
  return sheet;
}

/// Converts the sheet `sheet`, beside the files in `dir`, into out.cdi there,
/// with no image there and over an older one: the run must be refused with
/// `err` (or `or_err`), "%" standing for the folder with its separator,
/// after printing `out`, and leave the output as it was.
void expect_refused_untouched(const TempDir& dir, const std::string& sheet, const std::string& err,
                              const std::string& or_err = {}, const std::string& out = kWriting) {
  const std::string cue = dir.write("d.cue", sheet);
  const std::string output = dir.path("out.cdi");
  std::string expected = err;
  if (expected.find('%') != std::string::npos) {
    expected.replace(expected.find('%'), 1, shown_path(dir.path("")));
  }
  for (const bool existing : {false, true}) {
    if (existing) dir.write("out.cdi", "an older image");
    const Outcome run = cuesmelt({"--cue", cue, "--cdi", output});
    EXPECT_EQ(run.status, 1) << err;
    EXPECT_EQ(run.out, out) << err;
    EXPECT_TRUE(run.err == expected || run.err == or_err) << run.err;
    if (existing) {
      EXPECT_EQ(read_file(output), "an older image") << err;
    } else {
      EXPECT_FALSE(fs::exists(fs_path(output))) << err;
    }
    fs::remove(fs_path(output));
  }
}

TEST(EndToEnd, ADiscRefusedBeforeWritingNeverTouchesTheOutput) {
  std::string sessions_256;
  for (int i = 1; i <= 256; ++i) sessions_256 += "REM SESSION " + std::to_string(i) + "\n";
  const std::string too_many = "Error: Track count cannot be larger than 99.\n";
  const std::string bad_size = "Error in TRACK: specified file not multiple of 2352\n";
  const struct {
    std::string sheet;
    std::string err;
    std::string or_err = {};  // whichever check sees the file first
    std::string out = kWriting;
  } cases[] = {
      {sheet_of_tracks(1, 100), too_many},
      {sheet_of_tracks(2, 100), too_many},
      {sessions_256, "Error: Session count cannot be larger than 255.\n"},
      // The size error of the last file wins over the track count.
      {sheet_of_tracks(1, 100, "odd.bin"), bad_size},
      {"REM SESSION 01\nFILE big.bin BINARY\nTRACK 01 MODE1/2352\n"
       "FILE odd.bin BINARY\nTRACK 02 MODE1/2352\n",
       bad_size},
      {"REM SESSION 01\nFILE huge.bin BINARY\nTRACK 01 MODE1/2352\n",
       "Error in TRACK: specified file too large\n"},
      {"REM SESSION 01\nFILE t.bin BINARY\nTRACK 01 AUDIO\nFILE t.bin BINARY\nTRACK 02 AUDIO\n"
       "INDEX 01 00:00:02\n",
       "Error in TRACK: INDEX 01 lies beyond the end of its file. Quitting...\n"},
      // One BIN file for the whole disc, as other dumping tools write it.
      {"REM SESSION 01\nFILE t.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n"
       "TRACK 02 AUDIO\nINDEX 01 00:00:01\n",
       "Error: each track needs a FILE line of its own (one BIN file per track). Quitting...\n",
       {},
       kParsing},
      // A directory's size is its file system's business.
      {"REM SESSION 01\nFILE folder BINARY\nTRACK 01 AUDIO\n",
       "Error while reading track file \"%folder\". Quitting...\n", bad_size},
  };
  TempDir dir;
  dir.write("t.bin", std::string(2352, 't'));
  dir.write("odd.bin", std::string(2353, 'o'));
  dir.write("big.bin", std::string(2352 * 4000, 'b'));
  // Sparse: the first whole number of sectors from 4 GiB on.
  fs::resize_file(fs_path(dir.write("huge.bin", "")), std::uintmax_t{1826092} * 2352);
  fs::create_directory(fs_path(dir.path("folder")));
  for (const auto& c : cases) expect_refused_untouched(dir, c.sheet, c.err, c.or_err, c.out);
}

TEST(EndToEnd, AFifoTrackFileIsRefusedUnread) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no FIFOs among its files (named pipes live apart, in \\\\.\\pipe\\)";
#else
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0600), 0);
  expect_refused_untouched(dir, "REM SESSION 01\nFILE fifo BINARY\nTRACK 01 AUDIO\n",
                           "Error while reading track file \"%fifo\". Quitting...\n");
#endif
}

TEST(EndToEnd, AnOutputFolderWithoutWritePermission) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows keeps access in access control lists, not in permission bits, and has "
                  "no setpriv to drop root";
#else
  TempDir dir;
  const std::string cue =
      dir.write("d.cue", "REM SESSION 01\nFILE t.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
  dir.write("t.bin", std::string(2352, 'a'));
  const std::string locked = dir.path("locked");
  ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(cue.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(dir.path("t.bin").c_str(), 0644), 0);

  // Root writes anywhere, so it runs the program as nobody, from a copy that
  // nobody can reach wherever the build tree lies.
  std::string program = CUESMELT_BINARY;
  if (::geteuid() == 0) {
    program = dir.write("cuesmelt", read_file(CUESMELT_BINARY));
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
  }
  std::vector<std::string> args = {"--cue", cue, "--cdi", locked + "/out.cdi"};
  if (::geteuid() == 0) {
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv to drop root";
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
    program = "/usr/bin/setpriv";
  }
  const Outcome run = run_program(program, args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kWriting);
  EXPECT_EQ(run.err, "Error while creating file. Quitting...\n");
  EXPECT_NE(::access((locked + "/out.cdi").c_str(), F_OK), 0);
#endif
}

namespace zips {

enum class Image { Same, Untouched, Partial };

// The archives that tests/zips/make_test_zips.py packs from the sample disc,
// each converted from a copy in a scratch folder, by its name there.
TEST(EndToEnd, ZipArchivesConvertOrAreRefusedByName) {
  const std::string damaged = " is damaged in its zip archive. Quitting...\n";
  const std::string to_unpack = "; unpack it, or re-pack it as an ordinary zip. Quitting...\n";
  const struct {
    std::string archive;
    Image image;
    std::string out;
    std::string err;
  } cases[] = {
      {"deflated.zip", Image::Same, kSuccess, ""},
      {"stored.zip", Image::Same, kSuccess, ""},
      {"in a folder.zip", Image::Same, kSuccess, ""},
      {"descriptors.zip", Image::Same, kSuccess, ""},
      {"zip64.zip", Image::Same, kSuccess, ""},
      {"zip64 by zip.zip", Image::Same, kSuccess, ""},
      {"cp437 names.zip", Image::Same, kSuccess, ""},
      {"utf-8 names.zip", Image::Same, kSuccess, ""},
      {"bzip2.zip", Image::Untouched, kParsing,
       "Error: \"bzip2.zip/Sample Disc.cue\" is compressed with bzip2" + to_unpack},
      {"lzma.zip", Image::Untouched, kParsing,
       "Error: \"lzma.zip/Sample Disc.cue\" is compressed with LZMA" + to_unpack},
      {"encrypted.zip", Image::Untouched, kParsing,
       "Error: \"encrypted.zip/Sample Disc.cue\" is encrypted; unpack it with its password, then "
       "convert the unpacked files. Quitting...\n"},
      {"split.zip", Image::Untouched, kParsing,
       "Error: the zip archive \"split.zip\" is split over several files. Quitting...\n"},
      {"no sheet.zip", Image::Untouched, kParsing,
       "Error: the zip archive \"no sheet.zip\" holds no CUE sheet (.cue). Quitting...\n"},
      {"two sheets.zip", Image::Untouched, kParsing,
       "Error: the zip archive \"two sheets.zip\" holds several CUE sheets: \"Sample Disc.cue\", "
       "\"Disc 2/Sample Disc.cue\". Quitting...\n"},
      {"missing track.zip", Image::Untouched, kParsing,
       "FILE not found in the zip archive at \"missing track.zip/Sample Disc (Track 3).bin\". "
       "Quitting...\n"},
      {"odd size.zip", Image::Untouched, kWriting,
       "Error in TRACK: specified file not multiple of 2352\n"},
      {"cut short.zip", Image::Untouched, kParsing,
       "Error: the zip archive \"cut short.zip\" is damaged or cut short. Quitting...\n"},
      {"directory out of place.zip", Image::Untouched, kParsing,
       "Error: the zip archive \"directory out of place.zip\" is damaged or cut short. "
       "Quitting...\n"},
      {"flipped stored.zip", Image::Partial, kWriting,
       "Error: \"flipped stored.zip/Sample Disc (Track 2).bin\"" + damaged},
      {"flipped deflated.zip", Image::Partial, kWriting,
       "Error: \"flipped deflated.zip/Sample Disc (Track 2).bin\"" + damaged},
      {"longer than its data.zip", Image::Partial, kWriting,
       "Error: \"longer than its data.zip/Sample Disc (Track 2).bin\"" + damaged},
      {"shorter than its data.zip", Image::Partial, kWriting,
       "Error: \"shorter than its data.zip/Sample Disc (Track 2).bin\"" + damaged},
  };
  TempDir dir;
  const std::string reference = dir.path("reference.cdi");
  ASSERT_EQ(cuesmelt({"--cue", kSampleCue, "--cdi", reference}).status, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.archive);
    fs::copy_file(fs_path(std::string(TEST_ZIP_DIR) + "/" + c.archive),
                  fs_path(dir.path(c.archive)));
    dir.write("out.cdi", "an older image");
    const Outcome run = cuesmelt({"--cue", c.archive, "--cdi", "out.cdi"}, dir.path());
    EXPECT_EQ(run.status, c.err.empty() ? 0 : 1);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    const std::string image = read_file(dir.path("out.cdi"));
    switch (c.image) {
      case Image::Same:
        EXPECT_TRUE(same_bytes(image, read_file(reference)));
        break;
      case Image::Untouched:
        EXPECT_EQ(image, "an older image");
        break;
      case Image::Partial:
        EXPECT_LT(image.size(), read_file(reference).size());
        break;
    }
  }
  // The archive is an input like any other.
  const std::string archive = read_file(dir.path("deflated.zip"));
  const Outcome into_archive =
      cuesmelt({"--cue", "deflated.zip", "--cdi", "deflated.zip"}, dir.path());
  EXPECT_EQ(into_archive.err, "Error: output file is the same as an input file. Quitting...\n");
  EXPECT_EQ(read_file(dir.path("deflated.zip")), archive);
}

}  // namespace zips

}  // namespace

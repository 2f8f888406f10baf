// End-to-end: the real binary, its streams, its exit status and its files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cdi/descriptor_test_data.h"
#include "disc/cdrom.h"
#include "support/discs.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace {

using testing_support::Outcome;
using testing_support::read_file;
using testing_support::run_program;
using testing_support::same_bytes;
using testing_support::stored;
using testing_support::TempDir;
using testing_support::to_hex;

const std::string kBanner =
    "cuesmelt BETA 0.9 - 2024-03-30 the cuesmelt developers - https://cuesmelt.example.org\n";
const std::string kSuccess = kBanner + "parsing bin+cue... ok.\nwriting... \nenjoy!\n";
const std::string kSampleDir = SAMPLE_DISC_DIR;
const std::string kSampleCue = kSampleDir + "/Sample Disc.cue";

Outcome cuesmelt(const std::vector<std::string>& args, const std::string& cwd = {}) {
  return run_program(CUESMELT_BINARY, args, cwd);
}

std::string sample_track(int number) {
  return read_file(kSampleDir + "/Sample Disc (Track " + std::to_string(number) + ").bin");
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
  const std::string usage = "Usage: cuesmelt --cue <cuesheet> --cdi <cdi>\n";
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

TEST(EndToEnd, EveryValueFormGivesTheSameImage) {
  TempDir dir;
  const std::string reference = dir.path("reference.cdi");
  ASSERT_EQ(cuesmelt({"--cue", kSampleCue, "--cdi", reference}).status, 0);
  const std::vector<std::vector<std::string>> forms = {
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
  EXPECT_EQ(run.out, kBanner + "parsing bin+cue... ");
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
      {"/dev/full", "Error while writing file. Quitting...: No space left on device\n"},
  };
  for (const auto& c : cases) {
    const Outcome run = cuesmelt({"--cue", kSampleCue, "--cdi", c.output});
    EXPECT_EQ(run.status, 1) << c.output;
    EXPECT_EQ(run.out, kBanner + "parsing bin+cue... ok.\nwriting... \n");
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(EndToEnd, AnOutputThatIsAnInputIsRefused) {
  TempDir dir;
  const std::string track = dir.write("t.bin", std::string(2352 * 3, 'a'));
  const std::string cue =
      dir.write("d.cue", "REM SESSION 01\nFILE t.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
  ASSERT_EQ(::symlink(track.c_str(), dir.path("link.cdi").c_str()), 0);
  ASSERT_EQ(::link(track.c_str(), dir.path("hard.cdi").c_str()), 0);
  const std::string cue_text = read_file(cue), track_bytes = read_file(track);
  for (const std::string& output : {cue, track, dir.path("link.cdi"), dir.path("hard.cdi")}) {
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

/// A sheet of `count` one-file audio tracks of t.bin, over `sessions`
/// sessions; `last_file` names the last track's file instead.
std::string sheet_of_tracks(int sessions, int count, const std::string& last_file = "t.bin") {
  std::string sheet = "FILE t.bin BINARY\n";
  const int per_session = count / sessions;
  for (int t = 0; t < count; ++t) {
    if (t % per_session == 0) sheet += "REM SESSION " + std::to_string(t / per_session + 1) + "\n";
    if (t + 1 == count) sheet += "FILE " + last_file + " BINARY\n";
    sheet += "TRACK " + std::to_string(t + 1) + " AUDIO\n";
  }
  return sheet;
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
  } cases[] = {
      {sheet_of_tracks(1, 100), too_many},
      {sheet_of_tracks(2, 100), too_many},
      {sessions_256, "Error: Session count cannot be larger than 255.\n"},
      // The size error of the last file wins over the track count.
      {sheet_of_tracks(1, 100, "odd.bin"), bad_size},
      {"REM SESSION 01\nFILE big.bin BINARY\nTRACK 01 MODE1/2352\n"
       "FILE odd.bin BINARY\nTRACK 02 MODE1/2352\n",
       bad_size},
      {"REM SESSION 01\nFILE t.bin BINARY\nTRACK 01 AUDIO\nTRACK 02 AUDIO\nINDEX 01 00:00:02\n",
       "Error in TRACK: INDEX 01 lies beyond the end of its file. Quitting...\n"},
      {"REM SESSION 01\nFILE fifo BINARY\nTRACK 01 AUDIO\n",
       "Error while reading track file \"%/fifo\". Quitting...\n"},
      // A directory's size is its file system's business.
      {"REM SESSION 01\nFILE folder BINARY\nTRACK 01 AUDIO\n",
       "Error while reading track file \"%/folder\". Quitting...\n", bad_size},
  };
  TempDir dir;
  dir.write("t.bin", std::string(2352, 't'));
  dir.write("odd.bin", std::string(2353, 'o'));
  dir.write("big.bin", std::string(2352 * 4000, 'b'));
  ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.path("folder").c_str(), 0700), 0);
  const std::string output = dir.path("out.cdi");
  for (const auto& c : cases) {
    const std::string cue = dir.write("d.cue", c.sheet);
    for (const bool existing : {false, true}) {
      if (existing) dir.write("out.cdi", "an older image");
      const Outcome run = cuesmelt({"--cue", cue, "--cdi", output});
      EXPECT_EQ(run.status, 1) << c.err;
      EXPECT_EQ(run.out, kBanner + "parsing bin+cue... ok.\nwriting... \n");
      std::string err = c.err;
      if (err.find('%') != std::string::npos) err.replace(err.find('%'), 1, dir.path());
      EXPECT_TRUE(run.err == err || run.err == c.or_err) << run.err;
      if (existing) {
        EXPECT_EQ(read_file(output), "an older image") << c.err;
      } else {
        EXPECT_NE(::access(output.c_str(), F_OK), 0) << c.err;
      }
      ::unlink(output.c_str());
    }
  }
}

TEST(EndToEnd, AnOutputFolderWithoutWritePermission) {
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
  EXPECT_EQ(run.out, kBanner + "parsing bin+cue... ok.\nwriting... \n");
  EXPECT_EQ(run.err, "Error while creating file. Quitting...\n");
  EXPECT_NE(::access((locked + "/out.cdi").c_str(), F_OK), 0);
}

}  // namespace

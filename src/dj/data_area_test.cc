#include "dj/data_area.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "dj/cdrom.h"
#include "dj/failure.h"
#include "dj/output_writer.h"
#include "dj/utf8.h"
#include "support/discs.h"
#include "support/temp_dir.h"

namespace {

using dj::kMode1;
using dj::kMode2;
using dj::kModeAudio;
using testing_support::make_disc;
using testing_support::raw_sectors;
using testing_support::read_file;
using testing_support::same_bytes;
using testing_support::stored;
using testing_support::TempDir;

std::string pregap(std::uint8_t mode) {
  return std::string(150 * dj::stored_sector_size(mode), '\0');
}

class DataAreaTest : public ::testing::Test {
 protected:
  /// Writes the data area of `disc` and returns the output file's bytes, or
  /// the failure message followed by whatever had reached the file.
  std::string write(const dj::Cdrom& disc) {
    const std::string path = dir_.path("out.cdi");
    dj::OutputWriter out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    try {
      dj::write_data_area(disc, out);
      out.close();
    } catch (const dj::Failure& failure) {
      out.close();
      return std::string(failure.what()) + "|" + read_file(path);
    }
    return read_file(path);
  }
  std::string track_bytes(const dj::Cdrom& disc, std::size_t session, std::size_t track) {
    return read_file(disc.sessions[session].tracks[track].file_path);
  }

  TempDir dir_;
};

TEST_F(DataAreaTest, EachModeKeepsItsPartOfEverySector) {
  for (const std::uint8_t mode : {kModeAudio, kMode1, kMode2}) {
    // Over 2 windows of sectors, so window edges are crossed.
    const dj::Cdrom disc = make_disc(dir_, {{{mode, 2100}}}, true);
    EXPECT_TRUE(
        same_bytes(write(disc), pregap(mode) + stored(track_bytes(disc, 0, 0), 0, 2100, mode)))
        << int{mode};
  }
}

TEST_F(DataAreaTest, OnePregapPerSessionInItsFirstTracksMode) {
  const dj::Cdrom disc =
      make_disc(dir_, {{{kModeAudio, 100}, {kModeAudio, 200}}, {{kMode2, 1000}}}, true);
  const std::string image = write(disc);
  ASSERT_EQ(image.size(), 3744800u);
  EXPECT_TRUE(same_bytes(image, pregap(kModeAudio) + track_bytes(disc, 0, 0) +
                                    track_bytes(disc, 0, 1) + pregap(kMode2) +
                                    stored(track_bytes(disc, 1, 0), 0, 1000, kMode2)));
  EXPECT_TRUE(same_bytes(image.substr(1058400, 350400), pregap(kMode2)));
}

TEST_F(DataAreaTest, SectorsBeforeIndex01AreStoredLikeThePreviousTrack) {
  // The descriptor counts them with the previous track, so a reader expects
  // them in that track's sector size. The INDEX 01 offset of 300 is not on
  // a page-aligned sector, and track 3 repeats the case after an audio track.
  const dj::Cdrom disc = make_disc(
      dir_, {{{kMode1, 20}, {kMode2, 1500, 300}, {kModeAudio, 400, 150}, {kMode1, 5, 0}}}, true);
  const std::string t1 = track_bytes(disc, 0, 1), t2 = track_bytes(disc, 0, 2);
  EXPECT_TRUE(
      same_bytes(write(disc), pregap(kMode1) + stored(track_bytes(disc, 0, 0), 0, 20, kMode1) +
                                  stored(t1, 0, 300, kMode1) + stored(t1, 300, 1200, kMode2) +
                                  stored(t2, 0, 150, kMode2) + stored(t2, 150, 250, kModeAudio) +
                                  stored(track_bytes(disc, 0, 3), 0, 5, kMode1)));
}

TEST_F(DataAreaTest, TheTypicalDiscWithItsMixedSession) {
  const dj::Cdrom disc =
      make_disc(dir_, {{{kModeAudio, 1000}}, {{kMode2, 5000}, {kModeAudio, 600, 150}}});
  EXPECT_EQ(write(disc).size(), 16144000u);

  // The whole image: data area, then the 1029-byte descriptor.
  const std::string path = dir_.path("whole.cdi");
  disc.write_out(dj::OutputWriter(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666)));
  const std::string image = read_file(path);
  ASSERT_EQ(image.size(), 16145029u);
  EXPECT_EQ(image.substr(16144000), dj::build_descriptor(disc));
}

TEST_F(DataAreaTest, EmptyTracksAndSessions) {
  const dj::Cdrom disc = make_disc(dir_, {{}, {{kMode1, 0}, {kModeAudio, 0}}, {}});
  EXPECT_TRUE(same_bytes(write(disc), pregap(kMode1)));
  // Two tracks under one FILE line each copy the whole file.
  dj::Cdrom twice = make_disc(dir_, {{{kModeAudio, 3}}}, true);
  twice.sessions[0].tracks.push_back(twice.sessions[0].tracks[0]);
  const std::string once = track_bytes(twice, 0, 0);
  EXPECT_TRUE(same_bytes(write(twice), pregap(kModeAudio) + once + once));
}

TEST_F(DataAreaTest, Refusals) {
  dj::Cdrom missing = make_disc(dir_, {{{kModeAudio, 2}, {kMode1, 1}}}, true);
  missing.sessions[0].tracks[1].file_path = dir_.path("it's gone.bin");
  dj::Cdrom no_path = make_disc(dir_, {{{kModeAudio, 2}}});
  no_path.sessions[0].tracks[0].file_path.clear();
  dj::Cdrom odd_size = make_disc(dir_, {{{kMode2, 1}}});
  TempDir::write_path(odd_size.sessions[0].tracks[0].file_path, std::string(2353, 'x'));
  dj::Cdrom beyond = make_disc(dir_, {{{kMode1, 1}, {kModeAudio, 10, 11}}});
  // A FIFO reports 0 bytes however much it would deliver.
  dj::Cdrom fifo = make_disc(dir_, {{{kMode1, 1}}});
  fifo.sessions[0].tracks[0].file_path = dir_.path("fifo.bin");
  ASSERT_EQ(::mkfifo(fifo.sessions[0].tracks[0].file_path.c_str(), 0600), 0);

  const std::string prefix = dir_.path();
  const struct {
    const dj::Cdrom& disc;
    std::string expected;
  } cases[] = {
      {missing, "Error while opening track file \"" + prefix + "/it\\'s gone.bin\"|" +
                    pregap(kModeAudio) + track_bytes(missing, 0, 0)},
      {no_path, "Error while opening track file \"\"|"},
      // The pregap goes out before the size is checked.
      {odd_size, "Error in TRACK: specified file not multiple of 2352|" + pregap(kMode2)},
      {beyond, "Error in TRACK: INDEX 01 lies beyond the end of its file. Quitting...|" +
                   pregap(kMode1) + std::string(2048, '\0')},
      {fifo,
       "Error while reading track file \"" + prefix + "/fifo.bin\". Quitting...|" + pregap(kMode1)},
  };
  for (const auto& c : cases) EXPECT_TRUE(same_bytes(write(c.disc), c.expected));
}

TEST_F(DataAreaTest, TheDescriptorRefusesATrackFileThatChangedAfterItWasCopied) {
  for (const std::uint32_t now : {4u, 6u}) {
    const dj::Cdrom disc = make_disc(dir_, {{{kModeAudio, 3}}, {{kMode1, 5}, {kMode2, 2}}});
    dj::OutputWriter out(::open(dir_.path("out.cdi").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    const std::vector<std::uint32_t> written = dj::write_data_area(disc, out);
    EXPECT_EQ(written, (std::vector<std::uint32_t>{3, 5, 2}));
    EXPECT_EQ(dj::build_descriptor(disc, &written), dj::build_descriptor(disc));

    const std::string& path = disc.sessions[1].tracks[0].file_path;
    ASSERT_EQ(::truncate(path.c_str(), now * dj::kRawSectorSize), 0);
    try {
      dj::build_descriptor(disc, &written);
      ADD_FAILURE() << "a descriptor for a changed file was built";
    } catch (const dj::Failure& failure) {
      EXPECT_EQ(failure.what(), "Error: track file " + dj::quoted_path(path) +
                                    " changed during the conversion. Quitting...");
    }
    out.close();
  }
}

TEST(OutputWriter, ReportsAFullDisk) {
  dj::OutputWriter out(::open("/dev/full", O_WRONLY));
  out.write("some bytes");
  try {
    out.close();
    FAIL() << "a write to /dev/full succeeded";
  } catch (const dj::Failure& failure) {
    EXPECT_STREQ(failure.what(), "Error while writing file. Quitting...: No space left on device");
  }
}

}  // namespace

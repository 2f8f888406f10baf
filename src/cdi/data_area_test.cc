#include "cdi/data_area.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/system.h"
#include "cdi/image.h"
#include "cdi/layout.h"
#include "cdi/output_writer.h"
#include "support/discs.h"
#include "support/failure_of.h"
#include "support/temp_dir.h"

namespace {

using disc::TrackMode;
using testing_support::failure_of;
using testing_support::fs_path;
using testing_support::make_disc;
using testing_support::path_of;
using testing_support::read_file;
using testing_support::same_bytes;
using testing_support::shown_path;
using testing_support::stored;
using testing_support::TempDir;

std::string pregap(std::size_t sector_size) {
  return std::string(150 * sector_size, '\0');
}

cdi::OutputWriter writer_to(const std::string& path) {
  return cdi::OutputWriter(base::open_file(path, base::Access::CreateOrTruncate));
}

class DataAreaTest : public ::testing::Test {
 protected:
  /// Lays out `cdrom`, writes its data area and returns the output file's bytes.
  std::string write(const disc::Cdrom& cdrom) {
    const cdi::ImageLayout layout = cdi::lay_out(cdrom);
    cdi::OutputWriter out = writer_to(dir_.path("out.cdi"));
    cdi::write_data_area(cdrom, layout, out);
    out.close();
    const std::string bytes = read_file(dir_.path("out.cdi"));
    EXPECT_EQ(bytes.size(), cdi::data_area_size(cdrom, layout));
    return bytes;
  }
  std::string track_bytes(const disc::Cdrom& cdrom, std::size_t session, std::size_t track) {
    return read_file(path_of(cdrom.sessions[session].tracks[track]));
  }

  TempDir dir_;
};

TEST_F(DataAreaTest, EachModeKeepsItsPartOfEverySector) {
  const struct {
    TrackMode mode;
    std::size_t stored_size;
  } modes[] = {{TrackMode::Audio, 2352}, {TrackMode::Mode1, 2048}, {TrackMode::Mode2, 2336}};
  for (const auto& m : modes) {
    // Many batches and a partial one, so batch edges are crossed.
    const disc::Cdrom cdrom = make_disc(dir_, {{{m.mode, 2100}}}, true);
    EXPECT_TRUE(same_bytes(
        write(cdrom), pregap(m.stored_size) + stored(track_bytes(cdrom, 0, 0), 0, 2100, m.mode)))
        << m.stored_size;
  }
}

TEST_F(DataAreaTest, OnePregapPerSessionInItsFirstTracksMode) {
  const disc::Cdrom cdrom = make_disc(
      dir_, {{{TrackMode::Audio, 100}, {TrackMode::Audio, 200}}, {{TrackMode::Mode2, 1000}}}, true);
  const std::string image = write(cdrom);
  ASSERT_EQ(image.size(), 3744800u);
  EXPECT_TRUE(same_bytes(image, pregap(2352) + track_bytes(cdrom, 0, 0) + track_bytes(cdrom, 0, 1) +
                                    pregap(2336) +
                                    stored(track_bytes(cdrom, 1, 0), 0, 1000, TrackMode::Mode2)));
  EXPECT_TRUE(same_bytes(image.substr(1058400, 350400), pregap(2336)));
}

TEST_F(DataAreaTest, SectorsBeforeIndex01AreStoredLikeThePreviousTrack) {
  // The descriptor counts them with the previous track, so a reader expects
  // them in that track's sector size. The INDEX 01 offset of 300 is not on
  // a batch edge, and track 3 repeats the case after an audio track.
  const disc::Cdrom cdrom = make_disc(dir_,
                                      {{{TrackMode::Mode1, 20},
                                        {TrackMode::Mode2, 1500, 300},
                                        {TrackMode::Audio, 400, 150},
                                        {TrackMode::Mode1, 5, 0}}},
                                      true);
  const std::string t1 = track_bytes(cdrom, 0, 1), t2 = track_bytes(cdrom, 0, 2);
  EXPECT_TRUE(same_bytes(
      write(cdrom),
      pregap(2048) + stored(track_bytes(cdrom, 0, 0), 0, 20, TrackMode::Mode1) +
          stored(t1, 0, 300, TrackMode::Mode1) + stored(t1, 300, 1200, TrackMode::Mode2) +
          stored(t2, 0, 150, TrackMode::Mode2) + stored(t2, 150, 250, TrackMode::Audio) +
          stored(track_bytes(cdrom, 0, 3), 0, 5, TrackMode::Mode1)));
}

TEST_F(DataAreaTest, EmptyTracksAndSessions) {
  const disc::Cdrom cdrom =
      make_disc(dir_, {{}, {{TrackMode::Mode1, 0}, {TrackMode::Audio, 0}}, {}});
  EXPECT_TRUE(same_bytes(write(cdrom), pregap(2048)));
  // Two tracks of one file (two FILE lines naming it) each copy all of it.
  disc::Cdrom twice = make_disc(dir_, {{{TrackMode::Audio, 3}}}, true);
  twice.sessions[0].tracks.push_back(twice.sessions[0].tracks[0]);
  const std::string once = track_bytes(twice, 0, 0);
  EXPECT_TRUE(same_bytes(write(twice), pregap(2352) + once + once));
}

TEST_F(DataAreaTest, TheWholeImageIsAsLargeAsImageSizeSays) {
  // The web page's progress bar and its storage check go by image_size.
  const auto check = [&](const disc::Cdrom& cdrom) {
    const cdi::ImageLayout layout = cdi::lay_out(cdrom);
    cdi::write_out(cdrom, layout, writer_to(dir_.path("image.cdi")));
    EXPECT_EQ(std::filesystem::file_size(fs_path(dir_.path("image.cdi"))),
              cdi::image_size(cdrom, layout));
  };
  check(make_disc(dir_, {{{TrackMode::Audio, 3}}}));
  check(make_disc(dir_, {{},
                         {{TrackMode::Mode1, 20}, {TrackMode::Mode2, 1500, 300}},
                         {{TrackMode::Audio, 400, 150}}}));
  // As large as the longest CDs, 870 MB.
  check(make_disc(dir_, {{{TrackMode::Audio, 370000}}}));
}

TEST_F(DataAreaTest, ATrackFileThatChangedSinceItWasMeasured) {
  const struct {
    std::uint32_t sectors_now;
    std::string message;
  } cases[] = {
      {4, "Error while reading track file \"%\". Quitting..."},  // ends early
      {6, "Error: track file \"%\" changed during the conversion. Quitting..."},
  };
  for (const auto& c : cases) {
    const disc::Cdrom cdrom =
        make_disc(dir_, {{{TrackMode::Audio, 3}}, {{TrackMode::Mode1, 5}, {TrackMode::Mode2, 2}}});
    const cdi::ImageLayout layout = cdi::lay_out(cdrom);
    const std::string& path = path_of(cdrom.sessions[1].tracks[0]);
    std::filesystem::resize_file(fs_path(path), c.sectors_now * 2352);
    cdi::OutputWriter out = writer_to(dir_.path("out.cdi"));
    std::string expected = c.message;
    expected.replace(expected.find('%'), 1, shown_path(path));
    EXPECT_EQ(failure_of([&] { cdi::write_data_area(cdrom, layout, out); }), expected);
  }
}

TEST(OutputWriter, ReportsAFullDisk) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no device that is always full, like Linux's /dev/full";
#endif
  cdi::OutputWriter full(base::open_file("/dev/full", base::Access::CreateOrTruncate));
  full.write("some bytes");
  EXPECT_EQ(failure_of([&] { full.close(); }),
            "Error while writing file. Quitting...: No space left on device");
}

}  // namespace

#include "cdi/layout.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "support/discs.h"
#include "support/failure_of.h"
#include "support/temp_dir.h"

namespace {

using disc::TrackMode;
using testing_support::failure_of;
using testing_support::fs_path;
using testing_support::make_disc;
using testing_support::shown_path;
using testing_support::TempDir;

/// "start/pregap+length(before@mode)" per track, sessions as "S<start>{...}",
/// then the disc length.
std::string picture(const cdi::ImageLayout& layout) {
  std::string out;
  for (const cdi::SessionLayout& session : layout.sessions) {
    out += "S" + std::to_string(session.start) + "{";
    for (const cdi::TrackLayout& track : session.tracks) {
      if (out.back() != '{') out += ' ';
      out += std::to_string(track.start) + "/" + std::to_string(track.pregap) + "+" +
             std::to_string(track.length);
      if (track.sectors_before_index01 > 0) {
        out += "(" + std::to_string(track.sectors_before_index01) + "@" +
               std::to_string(static_cast<int>(track.mode_before_index01)) + ")";
      }
    }
    out += "} ";
  }
  return out + std::to_string(layout.disc_length);
}

TEST(Layout, Geometry) {
  TempDir dir;
  const struct {
    disc::Cdrom cdrom;
    std::string picture;
  } cases[] = {
      // The typical disc: the 150 sectors in front of the audio track's
      // INDEX 01 count with the mode 2 track and keep its stored size.
      {make_disc(dir, {{{TrackMode::Audio, 1000}},
                       {{TrackMode::Mode2, 5000}, {TrackMode::Audio, 600, 150}}}),
       "S0{0/150+1000} S12400{12400/150+5150 17700/0+450(150@2)} 18150"},
      // Empty sessions keep their gaps; the first track of a session keeps
      // the sectors in front of its own INDEX 01.
      {make_disc(dir, {{{TrackMode::Mode1, 10, 5}}, {}, {}, {{TrackMode::Audio, 20}}}),
       "S0{0/150+10} S11410{} S18160{} S24910{24910/150+20} 25080"},
      {make_disc(dir, {{{TrackMode::Mode1, 1000, 150},
                        {TrackMode::Audio, 600, 150},
                        {TrackMode::Audio, 300, 0}}}),
       "S0{0/150+1150 1300/0+450(150@1) 1750/0+300} 2050"},
      {make_disc(dir, {}), "0"},
      // The largest track file there may be, a sector short of 4 GiB.
      {make_disc(dir, {{{TrackMode::Mode1, 1826091}}}), "S0{0/150+1826091} 1826241"},
  };
  for (const auto& c : cases) EXPECT_EQ(picture(cdi::lay_out(c.cdrom)), c.picture);
}

TEST(Layout, OnlyTheLowBitsOfEveryIndex01Count) {
  TempDir dir;
  disc::Cdrom cdrom = make_disc(dir, {{{TrackMode::Audio, 10}, {TrackMode::Audio, 10}}});
  // 2^32 + 2 and 3 (INDEX 02 and 00 do not count): 5 sectors in all.
  cdrom.sessions[0].tracks[1].indexes = {{1, (std::uint64_t{1} << 32) + 2}, {2, 7}, {1, 3}, {0, 1}};
  EXPECT_EQ(picture(cdi::lay_out(cdrom)), "S0{0/150+15 165/0+5(5@0)} 170");
}

/// A disc of `count` one-sector tracks over `sessions` sessions.
disc::Cdrom many_tracks(const TempDir& dir, std::size_t sessions, std::size_t count) {
  disc::Cdrom cdrom = make_disc(dir, {{{TrackMode::Audio, 1}}});
  const disc::Track track = cdrom.sessions[0].tracks[0];
  cdrom.sessions.assign(sessions, {});
  for (std::size_t t = 0; t < count; ++t) cdrom.sessions[t % sessions].tracks.push_back(track);
  return cdrom;
}

TEST(Layout, Refusals) {
  TempDir dir;
  const std::string odd = dir.write("odd.bin", std::string(2353, 'x'));
  const std::string huge = dir.write("huge.bin", "");
  // Sparse: the first whole number of sectors from 4 GiB on, of nothing.
  std::filesystem::resize_file(fs_path(huge), std::uintmax_t{1826092} * 2352);

  auto with_path = [&](disc::Cdrom cdrom, std::size_t track, const std::string& path) {
    cdrom.sessions[0].tracks.at(track).source = disc::BinaryFile{path};
    return cdrom;
  };
  const disc::Cdrom two = make_disc(dir, {{{TrackMode::Audio, 2}, {TrackMode::Mode1, 1}}});
  disc::Cdrom hundred_odd = many_tracks(dir, 1, 100);
  hundred_odd.sessions[0].tracks[60].source = disc::BinaryFile{odd};
  const disc::Cdrom sessions_and_tracks = many_tracks(dir, 256, 300);

  const struct {
    disc::Cdrom cdrom;
    std::string message;
  } cases[] = {
      {with_path(two, 1, dir.path("it's gone.bin")),
       "Error while opening track file \"" + shown_path(dir.path("")) + "it\\'s gone.bin\""},
      {with_path(two, 0, ""), "Error while opening track file \"\""},
      {with_path(two, 1, odd), "Error in TRACK: specified file not multiple of 2352"},
      {with_path(two, 1, huge), "Error in TRACK: specified file too large"},
      {make_disc(dir, {{{TrackMode::Mode1, 1}, {TrackMode::Audio, 10, 11}}}),
       "Error in TRACK: INDEX 01 lies beyond the end of its file. Quitting..."},
      {many_tracks(dir, 256, 0), "Error: Session count cannot be larger than 255."},
      {many_tracks(dir, 1, 100), "Error: Track count cannot be larger than 99."},
      {many_tracks(dir, 2, 100), "Error: Track count cannot be larger than 99."},
      // Every file is checked before the disc's limits, sessions before tracks.
      {hundred_odd, "Error in TRACK: specified file not multiple of 2352"},
      {sessions_and_tracks, "Error: Session count cannot be larger than 255."},
  };
  for (const auto& c : cases) EXPECT_EQ(failure_of([&] { cdi::lay_out(c.cdrom); }), c.message);

  EXPECT_EQ(cdi::lay_out(many_tracks(dir, 255, 99)).sessions.size(), 255u);
}

TEST(Layout, AFifoIsRefusedBeforeItIsRead) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no FIFOs among its files (named pipes live apart, in \\\\.\\pipe\\)";
#else
  TempDir dir;
  const std::string fifo = dir.path("fifo.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  disc::Cdrom cdrom = make_disc(dir, {{{TrackMode::Audio, 2}, {TrackMode::Mode1, 1}}});
  cdrom.sessions[0].tracks[0].source = disc::BinaryFile{fifo};
  EXPECT_EQ(failure_of([&] { cdi::lay_out(cdrom); }),
            "Error while reading track file \"" + fifo + "\". Quitting...");
#endif
}

}  // namespace

#include <gtest/gtest.h>

#include <string>

#include "dj/cdrom.h"
#include "dj/data_area.h"
#include "dj/failure.h"
#include "support/discs.h"
#include "support/temp_dir.h"

namespace {

using dj::kMode1;
using dj::kMode2;
using dj::kModeAudio;
using testing_support::le_at;
using testing_support::make_disc;
using testing_support::TempDir;

std::string failure_of(const dj::Cdrom& disc) {
  try {
    dj::build_descriptor(disc);
  } catch (const dj::Failure& failure) {
    return failure.what();
  }
  return "(no failure)";
}

// Frozen: the block as every existing image carries it.
TEST(DiscInfoBlock, MatchesTheFormatByteForByte) {
  dj::Cdrom disc;
  disc.sessions.resize(2);
  disc.sessions[0].tracks.resize(1);
  disc.sessions[1].tracks.resize(2);
  const std::string expected(
      "\0\0\0\0"
      "\0\0\1\0\0\0\xFF\xFF\xFF\xFF"
      "\0\0\1\0\0\0\xFF\xFF\xFF\xFF"
      "qzx\x03\x08"
      "cuesmelt"
      "\0\0\0\0\0\0\0\0\0\0\0"
      "\x02\0\0\0\0\0\0\0\0\0\0\x80\x40\x7E\x05\0\0\0\x98\0",
      68);
  EXPECT_EQ(disc.discinfoblock(), expected);
}

TEST(DiscInfoBlock, CountsTheWholeDiscUpToNinetyNineTracks) {
  dj::Cdrom disc;
  EXPECT_EQ(disc.discinfoblock()[27], 0);
  disc.sessions.resize(3);
  disc.sessions[0].tracks.resize(50);
  disc.sessions[2].tracks.resize(49);
  EXPECT_EQ(disc.discinfoblock()[27], 99);
  disc.sessions[1].tracks.resize(1);
  EXPECT_THROW(
      {
        try {
          disc.discinfoblock();
        } catch (const dj::Failure& failure) {
          EXPECT_STREQ(failure.what(), "Error: Track count cannot be larger than 99.");
          throw;
        }
      },
      dj::Failure);
}

struct Field {
  std::size_t offset;
  int width;
  std::uint64_t value;
};

void expect_fields(const std::string& bytes, std::initializer_list<Field> fields) {
  for (const Field& f : fields) {
    EXPECT_EQ(le_at(bytes, f.offset, f.width), f.value) << "at offset " << f.offset;
  }
}

TEST(Descriptor, OneModeOneTrackOfTenSectors) {
  TempDir dir;
  dj::Cdrom disc = make_disc(dir, {{{kMode1, 10}}});
  disc.sessions[0].tracks[0].indexes.clear();
  const std::string d = dj::build_descriptor(disc);
  ASSERT_EQ(d.size(), 526u);
  EXPECT_EQ(d.substr(4, 68), disc.discinfoblock());
  EXPECT_EQ(d.substr(263, 68), disc.discinfoblock());
  expect_fields(d, {
                       {0, 2, 1},
                       {2, 2, 1},  // head, session header
                       {72, 2, 2},
                       {74, 4, 150},  // pregap
                       {78, 4, 10},
                       {82, 4, 0},  // length
                       {86, 2, 0},
                       {88, 4, 1},  // mode value
                       {92, 4, 0},
                       {96, 4, 0},  // session index
                       {100, 4, 0},
                       {104, 4, 0},  // track index, start
                       {108, 4, 160},
                       {112, 8, 0},  // total
                       {120, 8, 0},
                       {128, 4, 0},  // sector size code
                       {132, 4, 4},
                       {136, 1, 0},  // control
                       {137, 4, 160},
                       {141, 4, 0},  // total again
                       {145, 8, 0},
                       {153, 8, 0},  // no ISRC
                       {161, 1, 0},
                       {162, 8, ~0ull},  // all bits set
                       {170, 4, 1},
                       {174, 4, 128},  //
                       {178, 4, 2},
                       {182, 4, 16},  //
                       {186, 4, 44100},
                       {190, 8, 0},  //
                       {226, 6, 0},
                       {232, 4, 0xFFFFFFFF},
                       {236, 8, 0},
                       {244, 4, 0},  // end of the track entry
                       {248, 4, 1},
                       {252, 4, 0},  // session type 1
                       {256, 4, 0},
                       {260, 1, 0},  // session start
                       {261, 2, 0},
                       {331, 4, 160},  // final position
                       {335, 1, 8},
                       {344, 1, 0},  // volume name
                       {345, 4, 1},
                       {349, 4, 1},  //
                       {353, 8, 0},
                       {361, 5, 0},  // no catalog
                       {366, 4, 0},
                       {370, 4, 0},  //
                       {374, 4, 0x80000000},
                       {378, 8, 0},  //
                       {510, 8, 0},
                       {518, 4, 0x80000006},
                       {522, 4, 526},
                   });
  EXPECT_EQ(d.substr(336, 8), "cuesmelt");
}

TEST(Descriptor, TheTypicalTwoSessionDisc) {
  TempDir dir;
  const dj::Cdrom disc =
      make_disc(dir, {{{kModeAudio, 1000}}, {{kMode2, 5000}, {kModeAudio, 600, 150}}});
  const std::string d = dj::build_descriptor(disc);
  ASSERT_EQ(d.size(), 1029u);
  const std::size_t a = 4 + 68, b = 2 + 259 + 2 + 68, c = b + 176 + 68;
  expect_fields(d, {
                       {a + 2, 4, 150},
                       {a + 6, 4, 1000},
                       {a + 32, 4, 0},
                       {a + 36, 4, 1150},
                       {a + 56, 4, 2},
                       {a + 60, 4, 0},  // audio codes
                       {a + 176, 4, 0},
                       {a + 184, 4, 0},  // trailer: type 0, start 0
                       {b + 2, 4, 150},
                       {b + 6, 4, 5150},
                       {b + 16, 4, 2},
                       {b + 24, 4, 1},
                       {b + 28, 4, 0},
                       {b + 32, 4, 12400},
                       {b + 36, 4, 5300},
                       {b + 56, 4, 1},
                       {c + 2, 4, 0},
                       {c + 6, 4, 450},
                       {c + 24, 4, 1},
                       {c + 28, 4, 1},
                       {c + 32, 4, 17700},
                       {c + 36, 4, 450},
                       {c + 65, 4, 450},
                       {c + 176, 4, 2},
                       {c + 184, 4, 12400},         // trailer: type 2
                       {d.size() - 195, 4, 18150},  // final position
                       {d.size() - 4, 4, 1029},
                   });
}

TEST(Descriptor, SessionGapsAndSessionsWithoutTracks) {
  TempDir dir;
  // Sessions 0 and 3 hold a track; 1 and 2 are empty but keep their gaps.
  dj::Cdrom disc = make_disc(dir, {{{kMode1, 10}}, {}, {}, {{kModeAudio, 20}}});
  const std::string d = dj::build_descriptor(disc);
  ASSERT_EQ(d.size(), 2u + 15 + 244 + 15 + 15 + 15 + 244 + 265);
  const std::size_t empty1 = 2 + 15 + 244, empty2 = empty1 + 15, last = empty2 + 15;
  expect_fields(d, {
                       {empty1, 2, 0},
                       {empty1 + 2, 4, 0},
                       {empty1 + 10, 4, 160 + 11250},
                       {empty2 + 10, 4, 160 + 11250 + 6750},
                       {last + 2 + 68 + 24, 4, 3},                          // session index
                       {last + 2 + 68 + 32, 4, 160 + 11250 + 6750 + 6750},  // start
                       {last + 2 + 68 + 36, 4, 170},
                   });
  expect_fields(d, {{d.size() - 195, 4, 160 + 11250 + 6750 + 6750 + 170}});
}

TEST(Descriptor, DiscWithoutSessions) {
  dj::Cdrom disc;
  disc.catalog = "1234567890123";
  const std::string d = dj::build_descriptor(disc);
  ASSERT_EQ(d.size(), 267u);
  EXPECT_EQ(d.substr(0, 4), std::string("\0\0\0\0", 4));
  EXPECT_EQ(d.substr(4, 68), disc.discinfoblock());
  EXPECT_EQ(d.substr(2 + 76 + 8 + 8, 13), "1234567890123");
  expect_fields(d, {{4 + 27, 1, 0}, {2 + 62 + 8, 4, 0}, {2 + 89 + 16, 4, 1}, {263, 4, 267}});
}

TEST(Descriptor, TrackLengthsMoveTheSectorsBeforeIndex01) {
  TempDir dir;
  // Session: first track keeps its INDEX 01 sectors; the second gives its 150
  // to the first; the third, with INDEX 01 at 0, gives nothing.
  dj::Cdrom disc =
      make_disc(dir, {{{kMode1, 1000, 150}, {kModeAudio, 600, 150}, {kModeAudio, 300, 0}}});
  disc.sessions[0].tracks[1].indexes.push_back({2, 99});  // only INDEX 01 counts
  const std::string d = dj::build_descriptor(disc);
  const std::size_t t0 = 4 + 68, t1 = t0 + 244, t2 = t1 + 244;
  expect_fields(d, {{t0 + 6, 4, 1150},
                    {t0 + 36, 4, 1300},
                    {t1 + 2, 4, 0},
                    {t1 + 6, 4, 450},
                    {t1 + 32, 4, 1300},
                    {t2 + 6, 4, 300},
                    {t2 + 32, 4, 1750}});
  expect_fields(d, {{t2 + 176, 4, 1}});  // audio and mode 1: session type 1
}

TEST(Descriptor, IsrcAndCatalogFields) {
  TempDir dir;
  dj::Cdrom disc = make_disc(dir, {{{kModeAudio, 1}}});
  disc.sessions[0].tracks[0].isrc = "ABCDE1234567";
  disc.catalog = "0123456789012";
  const std::string d = dj::build_descriptor(disc);
  ASSERT_EQ(d.size(), 526u);
  EXPECT_EQ(d.substr(72 + 73, 12), "ABCDE1234567");
  expect_fields(d, {{72 + 85, 4, 1}, {72 + 89, 1, 0}, {261 + 89 + 16, 4, 1}});
  EXPECT_EQ(d.substr(261 + 76 + 16, 13), "0123456789012");
}

TEST(Descriptor, Refusals) {
  TempDir dir;
  dj::Cdrom too_many_sessions;
  too_many_sessions.sessions.resize(256);
  dj::Cdrom bad_size = make_disc(dir, {{{kMode1, 1}}});
  testing_support::TempDir::write_path(bad_size.sessions[0].tracks[0].file_path, "odd");
  dj::Cdrom gone = bad_size;
  gone.sessions[0].tracks[0].file_path = dir.path("gone.bin");
  dj::Cdrom shrunk = make_disc(dir, {{{kMode1, 1}, {kModeAudio, 10, 160}}});
  // 100 tracks and a missing file: the track count is checked first.
  dj::Cdrom hundred;
  hundred.sessions.resize(1);
  hundred.sessions[0].tracks.resize(100);

  EXPECT_EQ(failure_of(too_many_sessions), "Error: Session count cannot be larger than 255.");
  EXPECT_EQ(failure_of(bad_size), "Error in TRACK: specified file not multiple of 2352");
  EXPECT_EQ(failure_of(gone),
            "Error reading file for TRACK. Quitting...: No such file or directory");
  EXPECT_EQ(failure_of(shrunk),
            "Error in TRACK: INDEX 01 lies beyond the end of its file. Quitting...");
  EXPECT_EQ(failure_of(hundred), "Error: Track count cannot be larger than 99.");

  dj::Cdrom fits;
  fits.sessions.resize(255);
  EXPECT_EQ(dj::build_descriptor(fits).size(), 2u + 255 * 15 + 265);
}

TEST(Descriptor, NothingWrapsPastThirtyTwoBits) {
  TempDir dir;
  // 1826000 sectors of 2352 bytes are just under 4 GiB each; a handful of
  // such (sparse) tracks with large INDEX 01 offsets pass 2^32 sectors.
  dj::Cdrom disc = make_disc(dir, {{{kModeAudio, 1826000}}});
  disc.sessions[0].tracks.push_back(disc.sessions[0].tracks[0]);
  disc.sessions[0].tracks[1].indexes = {{1, 0xFFFFFFFFull}};
  EXPECT_EQ(failure_of(disc), "Error: disc too long for the CDI format. Quitting...");
}

}  // namespace

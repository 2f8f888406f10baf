#include "cdi/descriptor.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "cdi/layout.h"
#include "support/discs.h"
#include "support/golden_descriptors.h"
#include "support/temp_dir.h"

namespace {

using disc::TrackMode;
using testing_support::make_disc;
using testing_support::TempDir;
using testing_support::to_hex;

std::string descriptor_of(const disc::Cdrom& cdrom) {
  return cdi::build_descriptor(cdrom, cdi::lay_out(cdrom));
}

// Frozen: the block as every existing image carries it.
TEST(DiscInfoBlock, MatchesTheFormatByteForByte) {
  disc::Cdrom cdrom;
  cdrom.sessions.resize(2);
  cdrom.sessions[0].tracks.resize(1);
  cdrom.sessions[1].tracks.resize(2);
  const std::string expected(
      "\0\0\0\0"
      "\0\0\1\0\0\0\xFF\xFF\xFF\xFF"
      "\0\0\1\0\0\0\xFF\xFF\xFF\xFF"
      "qzx\x03\x08"
      "cuesmelt"
      "\0\0\0\0\0\0\0\0\0\0\0"
      "\x02\0\0\0\0\0\0\0\0\0\0\x80\x40\x7E\x05\0\0\0\x98\0",
      68);
  EXPECT_EQ(cdi::discinfoblock(cdrom), expected);
}

TEST(DiscInfoBlock, CountsTheWholeDisc) {
  disc::Cdrom cdrom;
  EXPECT_EQ(cdi::discinfoblock(cdrom)[27], 0);
  cdrom.sessions.resize(3);
  cdrom.sessions[0].tracks.resize(50);
  cdrom.sessions[2].tracks.resize(49);
  EXPECT_EQ(cdi::discinfoblock(cdrom)[27], 99);
}

TEST(Descriptor, GoldenBytes) {
  TempDir dir;
  disc::Cdrom one = make_disc(dir, {{{TrackMode::Mode1, 10}}});
  one.sessions[0].tracks[0].indexes.clear();
  const disc::Cdrom sample = make_disc(
      dir, {{{TrackMode::Audio, 300}}, {{TrackMode::Mode1, 500}, {TrackMode::Audio, 300, 150}}});
  disc::Cdrom mixed = make_disc(
      dir, {{{TrackMode::Audio, 4}}, {{TrackMode::Mode1, 20}, {TrackMode::Mode2, 30, 5}}});
  mixed.catalog = "0123456789012";
  mixed.sessions[1].tracks[1].isrc = "ABCDE1234567";

  const struct {
    const disc::Cdrom& cdrom;
    std::string_view golden;
  } cases[] = {
      {one, cdi_test_data::kOneMode1TrackHex},
      {sample, cdi_test_data::kSampleDiscHex},
      {mixed, cdi_test_data::kMixedSessionHex},
  };
  for (const auto& c : cases) EXPECT_EQ(to_hex(descriptor_of(c.cdrom)), c.golden);
}

TEST(Descriptor, SizesFollowTheNamesAndTheSessions) {
  TempDir dir;
  disc::Cdrom cdrom;
  cdrom.image_name = "n";
  cdrom.volume_name = "volume";
  // Head, closing block (249 + n + m) and D: a disc without sessions.
  EXPECT_EQ(descriptor_of(cdrom).size(), 2u + 249 + 1 + 6);
  cdrom.sessions.resize(255);
  EXPECT_EQ(descriptor_of(cdrom).size(), 2u + 255 * 15 + 249 + 1 + 6);
}

}  // namespace

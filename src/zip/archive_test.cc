#include "zip/archive.h"

#include <gtest/gtest.h>

namespace {

TEST(NameInFolder, TakesANameAsAPathWithinTheArchive) {
  const struct {
    std::string folder;
    std::string name;
    std::string entry;
  } cases[] = {
      {"", "Game (Track 1).bin", "Game (Track 1).bin"},
      {"Disc/", "Game (Track 1).bin", "Disc/Game (Track 1).bin"},
      {"Disc/", "./Game.bin", "Disc/Game.bin"},
      {"Set/Disc/", "../Other/Game.bin", "Set/Other/Game.bin"},
      {"Disc/", "Audio//Game.bin", "Disc/Audio/Game.bin"},
      // Nothing lies above the archive's top, and it has no root.
      {"Disc/", "../../Game.bin", "Disc/../../Game.bin"},
      {"Disc/", "/Game.bin", "Disc//Game.bin"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zip::name_in_folder(c.folder, c.name), c.entry) << c.folder << c.name;
  }
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "transfer/fat_names.h"
#include "transfer/file_copy.h"

namespace sorvina::transfer {
namespace {

std::string Times(std::size_t count, const std::string& text) {
  std::string repeated;
  for (std::size_t i = 0; i < count; ++i)
    repeated += text;
  return repeated;
}

const std::string kA = "a";
const std::string kE = "\xC3\xA9";             // é: 2 bytes, 1 UTF-16 unit
const std::string kEuro = "\xE2\x82\xAC";      // €: 3 bytes, 1 unit
const std::string kClef = "\xF0\x9D\x84\x9E";  // 𝄞: 4 bytes, 2 units (a surrogate pair)

TEST(NameLimitTest, NamesAreShortenedToTheVolumesLimitKeepingExtensionAndNumber) {
  const NameLimit bytes = NameLimitFor(false);
  const NameLimit fat = NameLimitFor(true);
  struct Case {
    const char* what;
    std::string made;
    std::string expected;
    NameLimit limit;
  };
  const Case cases[] = {
      {"fits", FitName("Song.mp3"), "Song.mp3", bytes},
      {"at the limit", FitName(Times(251, kA) + ".mp3"), Times(251, kA) + ".mp3", bytes},
      {"one over", FitName(Times(252, kA) + ".mp3"), Times(251, kA) + ".mp3", bytes},
      {"2-byte characters", FitName(Times(126, kE) + ".mp3"), Times(125, kE) + ".mp3", bytes},
      {"3-byte characters", FitName(Times(84, kEuro) + ".mp3"), Times(83, kEuro) + ".mp3", bytes},
      {"4-byte characters", FitName(Times(63, kClef) + ".mp3"), Times(62, kClef) + ".mp3", bytes},
      {"no extension", FitName(Times(256, kA)), Times(255, kA), bytes},
      {"leading dot", FitName("." + Times(300, kA)), "." + Times(254, kA), bytes},
      {"long extension", FitName("a." + Times(260, "b")), "a." + Times(253, "b"), bytes},
      {"FAT counts characters", FitName(Times(251, kE) + ".mp3", fat), Times(251, kE) + ".mp3",
       fat},
      {"FAT one over", FitName(Times(252, kEuro) + ".mp3", fat), Times(251, kEuro) + ".mp3", fat},
      {"FAT surrogate pairs", FitName(Times(126, kClef) + ".mp3", fat), Times(125, kClef) + ".mp3",
       fat},

      {"numbered", NumberedName("a.mp3", 2), "a (2).mp3", bytes},
      {"numbered, no extension", NumberedName("notes", 2), "notes (2)", bytes},
      {"numbered, leading dot", NumberedName(".cfg", 3), ".cfg (3)", bytes},
      {"numbered in a folder", NumberedName("x/a.b.mp3", 2), "x/a.b (2).mp3", bytes},
      {"numbered at the limit", NumberedName(Times(251, kA) + ".mp3", 2),
       Times(247, kA) + " (2).mp3", bytes},
      {"numbered twice over", NumberedName(Times(251, kA) + ".mp3", 10),
       Times(246, kA) + " (10).mp3", bytes},
      {"numbered, cut between characters", NumberedName("d/" + Times(125, kE) + "x.mp3", 2),
       "d/" + Times(123, kE) + " (2).mp3", bytes},
      {"numbered on FAT", NumberedName(Times(251, kE) + ".mp3", 2, fat),
       Times(247, kE) + " (2).mp3", fat},
      {"numbered, long extension", NumberedName("a." + Times(250, "b"), 2),
       "a." + Times(249, "b") + " (2)", bytes},

      {"FAT-safe, device name grown", FatSafeName("CON." + Times(251, kA)),
       "CON_." + Times(250, kA), fat},
      {"FAT-safe, cut before a blank", FatSafeName(Times(254, kA) + " bc"), Times(254, kA), fat},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.made, c.expected) << c.what;
    const std::string name = c.made.substr(c.made.rfind('/') + 1);
    EXPECT_LE(NameLength(name, c.limit), c.limit.length) << c.what;
  }
}

}  // namespace
}  // namespace sorvina::transfer

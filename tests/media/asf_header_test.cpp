// SPDX-License-Identifier: GPL-3.0-or-later
// ASF headers that claim more than they hold are told from those that hold what they
// claim, whatever part of them lies: a reader that trusts them spends far more time and
// memory than the file has bytes.
#include "media/tags/asf_header.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace sorvina::media {
namespace {

std::string Little(std::uint64_t value, int width) {
  std::string bytes;
  for (int i = 0; i < width; ++i)
    bytes.push_back(static_cast<char>(value >> (8 * i)));
  return bytes;
}

const std::string kExtendedContentDescription(
    "\x40\xA4\xD0\xD2\x07\xE3\xD2\x11\x97\xF0\x00\xA0\xC9\x5E\xA8\x50", 16);

// A header object holding an extended content description object of one descriptor
// ("T" = "x"), with the counts and sizes each case puts in.
struct Lies {
  std::uint64_t descriptors = 1;
  std::uint64_t objectSizeMore = 0;
  std::uint64_t headerSizeMore = 0;
  std::uint64_t objectCount = 1;
};

std::string Header(const Lies& lies) {
  // Name and value are UTF-16 text with its final NUL.
  const std::string descriptor =
      Little(2, 2) + std::string("T\0", 2) + Little(0, 2) + Little(2, 2) + std::string("x\0", 2);
  const std::string body = Little(lies.descriptors, 2) + descriptor;
  const std::string object =
      kExtendedContentDescription + Little(24 + body.size() + lies.objectSizeMore, 8) + body;
  return std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16) +
         Little(30 + object.size() + lies.headerSizeMore, 8) + Little(lies.objectCount, 4) +
         "\x01\x02" + object;
}

TEST(AsfHeaderTest, HeadersThatClaimMoreThanTheyHoldAreTold) {
  const std::string honest = Header({});
  EXPECT_EQ(AsfHeaderSize(honest.substr(0, 30)), honest.size());
  EXPECT_TRUE(AsfHeaderHoldsWhatItClaims(honest));
  struct Case {
    const char* what;
    Lies lies;
  };
  const Case cases[] = {
      {"sixty thousand descriptors in one object", {60000, 0, 0, 1}},
      {"an object larger than the header", {1, 1000, 0, 1}},
      {"an object larger than any file", {1, std::uint64_t{1} << 62, 0, 1}},
      {"more objects than the header holds", {1, 0, 0, 2}},
  };
  for (const Case& c : cases)
    EXPECT_FALSE(AsfHeaderHoldsWhatItClaims(Header(c.lies))) << c.what;
  // A header larger than what is read of it: the reader would have to look past its end.
  const std::string longer = Header({1, 0, 100, 1});
  EXPECT_FALSE(AsfHeaderHoldsWhatItClaims(longer));
  EXPECT_EQ(AsfHeaderSize(std::string(30, 'x')), 0u);
}

}  // namespace
}  // namespace sorvina::media

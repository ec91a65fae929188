// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/fitted_pictures.h"

#include <gtest/gtest.h>

#include <string>

namespace sorvina::media {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int value : values)
    bytes += static_cast<char>(value);
  return bytes;
}

// The size a picture's header states, from the formats covers come in, and nothing from
// headers cut short or of other formats.
TEST(FittedPicturesTest, PictureSizeComesFromTheImageHeader) {
  const std::string app0 = Bytes({0xFF, 0xE0, 0x00, 0x04, 'J', 'F'});
  const std::string sof0 = Bytes({0xFF, 0xC0, 0x00, 0x11, 0x08, 0x03, 0x20, 0x04, 0xB0, 0x03});
  const std::string huffman = Bytes({0xFF, 0xC4, 0x00, 0x04, 0x00, 0x00});
  const std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + Bytes({0, 0, 0, 13}) + "IHDR" +
                          Bytes({0, 0, 0x07, 0xD0, 0, 0, 0x03, 0xE8, 8, 2, 0, 0, 0});
  struct Case {
    const char* what;
    std::string image;
    std::optional<PictureSize> size;
  };
  const Case cases[] = {
      {"JPEG after an APP0 and a DHT segment", "\xFF\xD8" + app0 + huffman + sof0,
       PictureSize{1200, 800}},
      {"JPEG with fill bytes", "\xFF\xD8\xFF" + sof0, PictureSize{1200, 800}},
      {"JPEG cut in its frame header", "\xFF\xD8" + sof0.substr(0, 7), std::nullopt},
      {"JPEG whose scan comes first", "\xFF\xD8" + Bytes({0xFF, 0xDA, 0x00, 0x02}) + sof0,
       std::nullopt},
      {"JPEG of zero width", "\xFF\xD8" + Bytes({0xFF, 0xC2, 0x00, 0x11, 8, 0, 0, 0, 0}),
       std::nullopt},
      {"PNG", png, PictureSize{2000, 1000}},
      {"PNG cut short", png.substr(0, 20), std::nullopt},
      {"GIF", "GIF89a" + Bytes({0x2C, 0x01, 0x64, 0x00}), PictureSize{300, 100}},
      {"WebP and others", "RIFF\0\0\0\0WEBPVP8 ", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<PictureSize> size = PictureSizeOf(c.image);
    ASSERT_EQ(size.has_value(), c.size.has_value());
    if (size) {
      EXPECT_EQ(size->width, c.size->width);
      EXPECT_EQ(size->height, c.size->height);
    }
  }
}

}  // namespace
}  // namespace sorvina::media

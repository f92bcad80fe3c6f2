// The office's decoders against pictures made here with giflib and libjpeg:
// the pixels come back, and broken or oversized pictures are refused with a
// text that says why, before anything is allocated from their headers.
#include <gtest/gtest.h>

#include <string>

#include "interactive/gif_decoder.h"
#include "interactive/jpeg_decoder.h"
#include "interactive/picture_limits.h"
#include "picture_bytes.h"
#include "platform/error.h"
#include "text/cp1251.h"

namespace pw::interactive {
namespace {

std::string RaisedBy(void (*decode)(const std::string&), const std::string& bytes) {
  try {
    decode(bytes);
  } catch (const Error& e) {
    return e.what();
  }
  return "nothing raised";
}
void Gif(const std::string& b) { DecodeGif(b); }
void Jpeg(const std::string& b) { DecodeJpeg(b); }

bool StartsWith(const std::string& s, std::string_view prefix) { return s.rfind(prefix, 0) == 0; }

TEST(PictureDecodingTest, AGifComesBackPixelForPixelWhateverItsMapAndRowOrder) {
  platform::PixelImage picture = test::Quadrants(37, 23);
  picture.at(5, 7) = 0x123456;  // a fifth colour: a map of 8
  for (const test::GifOptions options :
       {test::GifOptions{}, test::GifOptions{true, false}, test::GifOptions{false, true}}) {
    const platform::PixelImage decoded = DecodeGif(test::GifBytes(picture, options));
    EXPECT_EQ(decoded.width, 37);
    EXPECT_EQ(decoded.height, 23);
    EXPECT_EQ(decoded.pixels, picture.pixels)
        << "interlaced " << options.interlaced << ", local map " << options.local_map;
  }
}

TEST(PictureDecodingTest, AJpegComesBackWithItsSizeAndColours) {
  const platform::PixelImage picture = test::Quadrants(64, 48);
  const platform::PixelImage decoded = DecodeJpeg(test::JpegBytes(picture));
  ASSERT_EQ(decoded.width, 64);
  ASSERT_EQ(decoded.height, 48);
  for (const auto& [x, y] : {std::pair{16, 12}, {48, 12}, {16, 36}, {48, 36}})
    EXPECT_TRUE(test::CloseColour(decoded.at(x, y), picture.at(x, y), 8))
        << x << "," << y << ": " << std::hex << decoded.at(x, y);
}

TEST(PictureDecodingTest, BrokenPicturesAreRefusedWithTheirReason) {
  const std::string gif = test::GifBytes(test::Quadrants(40, 40));
  const std::string jpeg = test::JpegBytes(test::Quadrants(40, 40));
  const std::string garbage = "this is no picture at all, just some text";
  for (const std::string& bytes : {std::string(), garbage, gif.substr(0, gif.size() / 2),
                                   gif.substr(0, 13), jpeg})
    EXPECT_TRUE(StartsWith(RaisedBy(&Gif, bytes), "Ошибка чтения GIF: "_w)) << RaisedBy(&Gif, bytes);
  for (const std::string& bytes : {std::string(), garbage, jpeg.substr(0, jpeg.size() / 2),
                                   jpeg.substr(0, 100), gif})
    EXPECT_TRUE(StartsWith(RaisedBy(&Jpeg, bytes), "Ошибка чтения JPEG: "_w)) << RaisedBy(&Jpeg, bytes);
  // A GIF whose file ends before its first image.
  EXPECT_EQ(RaisedBy(&Gif, gif.substr(0, gif.find(',')) + ";"),
            std::string("Ошибка чтения GIF: в файле нет изображения"_w));
}

// Sets a 16-bit field of a picture's header: little-endian in GIF,
// big-endian in JPEG.
void PutLe16(std::string& b, std::size_t at, int v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}
void PutBe16(std::string& b, std::size_t at, int v) {
  b[at] = static_cast<char>(v >> 8);
  b[at + 1] = static_cast<char>(v & 0xFF);
}

TEST(PictureDecodingTest, HeadersClaimingAHugePictureAreRefusedBeforeAllocating) {
  const std::string size_error = "Недопустимый размер изображения: "_w.data();
  std::string gif = test::GifBytes(test::Quadrants(8, 8));
  std::string screen = gif;
  PutLe16(screen, 6, 60000);  // the logical screen: 60000 x 60000
  PutLe16(screen, 8, 60000);
  EXPECT_EQ(RaisedBy(&Gif, screen), size_error + "60000 x 60000");
  std::string image = gif;
  const std::size_t desc = image.find(',');  // the image descriptor
  PutLe16(image, desc + 5, 20000);  // the image's width, height 8
  EXPECT_EQ(RaisedBy(&Gif, image), size_error + "20000 x 8");

  std::string jpeg = test::JpegBytes(test::Quadrants(8, 8));
  const std::size_t sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  PutBe16(jpeg, sof + 5, 65000);  // height
  PutBe16(jpeg, sof + 7, 65000);  // width
  EXPECT_EQ(RaisedBy(&Jpeg, jpeg), size_error + "65000 x 65000");
}

TEST(PictureDecodingTest, TheCapsAreSixteenThousandOnASideAndSixtyFourMegapixels) {
  EXPECT_NO_THROW(CheckPictureSize(16384, 4096));
  EXPECT_NO_THROW(CheckPictureSize(1, 1));
  EXPECT_THROW(CheckPictureSize(16385, 1), Error);
  EXPECT_THROW(CheckPictureSize(1, 16385), Error);
  EXPECT_THROW(CheckPictureSize(16384, 4097), Error);
  EXPECT_THROW(CheckPictureSize(0, 5), Error);
  EXPECT_THROW(CheckPictureSize(5, -1), Error);
}

}  // namespace
}  // namespace pw::interactive

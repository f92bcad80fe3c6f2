// The screen pictures made from a synthetic screen: the stretch, the depth
// table, the colour reduction and the two files, read back with giflib and
// libjpeg as the office reads them; the size limits and the failures of
// each path (the GIF path logs, the JPEG path raises).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "decoded_picture.h"
#include "interactive/color_quantizer.h"
#include "interactive/pixel_depth.h"
#include "interactive/screen_pictures.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/picture_stretch.h"
#include "platform/screen_copy.h"
#include "services/folders.h"
#include "temp_folder.h"
#include "text/cp1251.h"

namespace pw {
namespace {

using interactive::CaptureScreenGif;
using interactive::CaptureScreenJpeg;
using platform::PixelImage;
using test::kBlue;
using test::kGreen;
using test::kRed;
using test::kWhite;
using test::QuarterCentres;

// Every colour of the 5-bit cube's corners and a smooth ramp between: far
// more than 256 colours.
PixelImage Gradient(int w, int h) {
  PixelImage image;
  image.width = w;
  image.height = h;
  image.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.at(x, y) = static_cast<std::uint32_t>(x * 255 / (w - 1)) << 16 |
                       static_cast<std::uint32_t>(y * 255 / (h - 1)) << 8 |
                       static_cast<std::uint32_t>((x + y) * 255 / (w + h - 2));
  return image;
}

// The GIF path's log lines, made outside the tests' bodies: clang 14
// crashes on the Cyrillic literals in some of them.
std::string GifFailure(const std::string& text) {
  return " - " + std::string("Ошибка получения скина "_w) + text + "\r\n";
}
std::string RefusalLine(const std::string& size) {
  return GifFailure(std::string("Недопустимый размер картинки: "_w) + size);
}

class ScreenPicturesTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::CreateDirectories(CurrentFolders().log_files); }
  std::string Log() const { return test::ReadFile(CurrentFolders().log_file); }
  // A screen of w x h in quarters that counts its copies.
  platform::ScreenSource Screen(int w = 64, int h = 48) {
    return [this, w, h] {
      ++copies;
      return test::Quarters(w, h);
    };
  }
  test::TempFolder root;
  std::atomic<int> copies{0};
};

TEST(PictureStretch, EveryTargetPixelTakesTheSourcePixelUnderItsCentre) {
  PixelImage two;
  two.width = 2;
  two.height = 1;
  two.pixels = {1, 2};
  const PixelImage up = platform::StretchPicture(two, 6, 2);
  EXPECT_EQ(up.pixels, (std::vector<std::uint32_t>{1, 1, 1, 2, 2, 2, 1, 1, 1, 2, 2, 2}));
  PixelImage four;
  four.width = 4;
  four.height = 1;
  four.pixels = {1, 2, 3, 4};
  EXPECT_EQ(platform::StretchPicture(four, 2, 1).pixels, (std::vector<std::uint32_t>{2, 4}));
  EXPECT_EQ(platform::StretchPicture(four, 1, 3).pixels, (std::vector<std::uint32_t>{3, 3, 3}));
}

// A kept X copy is read where the server left it: rows wider than the
// screen, a top byte that is not colour; the view is good until the next
// copy.
TEST(PictureStretch, AViewOfTheServersPixelsGivesTheSamePictureUntilTheNextCopy) {
  const std::vector<std::uint32_t> rows{0xFF000001, 0xAB000002, 0x00000003, 0xFFFFFFFF, 0xFF112233,
                                        0x01000004, 0x02000005, 0x03000006, 0xFFFFFFFF, 0xFF445566};
  const platform::PixelRows view{3, 2, rows.data(), 5};
  std::uint64_t copies = 7;
  std::vector<std::uint32_t> storage(100, 9);
  EXPECT_EQ(platform::ScreenCopy(view, &copies, storage).Whole().pixels,
            (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));
  const PixelImage half = platform::ScreenCopy(view, &copies, storage).Picture(2, 3);
  EXPECT_EQ(half.pixels, (std::vector<std::uint32_t>{1, 3, 4, 6, 4, 6}));

  platform::ScreenCopy stale(view, &copies, storage);
  ++copies;
  EXPECT_THROW(std::move(stale).Whole(), Error);

  // A copy of its own at its own size is the picture itself.
  PixelImage own = test::Quarters(8, 4);
  const std::uint32_t* pixels = own.pixels.data();
  EXPECT_EQ(platform::ScreenCopy(std::move(own)).Picture(8, 4).pixels.data(), pixels);
}

TEST(PixelDepth, EachCodeOfTheTableGivesItsColours) {
  struct Case {
    std::uint32_t depth;
    std::vector<std::uint32_t> expected;  // of 0x123456, 0x808080, 0x7F7F7F, 0xFFFFFF
  };
  for (const Case& k : {
           Case{1, {0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF}},
           Case{4, {0x000080, 0x808080, 0x808080, 0xFFFFFF}},
           Case{8, {0x003366, 0x999999, 0x666666, 0xFFFFFF}},
           Case{15, {0x103152, 0x848484, 0x7B7B7B, 0xFFFFFF}},
           Case{16, {0x103452, 0x848284, 0x7B7D7B, 0xFFFFFF}},
           Case{24, {0x123456, 0x808080, 0x7F7F7F, 0xFFFFFF}},
           Case{32, {0x123456, 0x808080, 0x7F7F7F, 0xFFFFFF}},
           Case{2, {0x123456, 0x808080, 0x7F7F7F, 0xFFFFFF}},   // no format: unchanged
           Case{12, {0x123456, 0x808080, 0x7F7F7F, 0xFFFFFF}},
       }) {
    SCOPED_TRACE(k.depth);
    PixelImage image;
    image.width = 4;
    image.height = 1;
    image.pixels = {0x123456, 0x808080, 0x7F7F7F, 0xFFFFFF};
    interactive::ReduceToDepth(image, k.depth);
    EXPECT_EQ(image.pixels, k.expected);
  }
  PixelImage image = test::Quarters(2, 2);
  EXPECT_THROW(interactive::ReduceToDepth(image, 0), Error);
}

TEST(ColorQuantizer, FewColoursStayExactAndManyComeDownTo256Close) {
  const PixelImage few = test::Quarters(10, 10);
  const platform::IndexedImage exact = interactive::QuantizeColors(few);
  EXPECT_EQ(exact.palette.size(), 4u);
  for (std::size_t i = 0; i < few.pixels.size(); ++i)
    ASSERT_EQ(exact.palette[exact.indices[i]], few.pixels[i]);

  const PixelImage many = Gradient(300, 200);
  const platform::IndexedImage reduced = interactive::QuantizeColors(many);
  EXPECT_LE(reduced.palette.size(), 256u);
  EXPECT_GT(reduced.palette.size(), 200u);  // the budget is used
  double error = 0;
  int worst = 0;
  for (std::size_t i = 0; i < many.pixels.size(); ++i) {
    const std::uint32_t a = many.pixels[i], b = reduced.palette[reduced.indices[i]];
    for (int shift : {0, 8, 16}) {
      const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
      error += d;
      worst = std::max(worst, d);
    }
  }
  EXPECT_LT(error / (3.0 * static_cast<double>(many.pixels.size())), 6.0);
  EXPECT_LT(worst, 40);
}

TEST_F(ScreenPicturesTest, TheGifHasTheScreenSizeForZeroAndAnySizeAskedWithTheScreensColours) {
  struct Case {
    int w, h;
    int want_w, want_h;
  };
  for (const Case& k : {Case{0, 0, 64, 48}, Case{200, 150, 200, 150}, Case{16, 12, 16, 12},
                        Case{0, 100, 64, 100}, Case{300, 0, 300, 48}, Case{7, 90, 7, 90}}) {
    SCOPED_TRACE(std::to_string(k.w) + "x" + std::to_string(k.h));
    const auto gif = CaptureScreenGif(k.w, k.h, 24, Screen());
    ASSERT_TRUE(gif);
    const PixelImage image = test::DecodeGif(*gif);
    EXPECT_EQ(image.width, k.want_w);
    EXPECT_EQ(image.height, k.want_h);
    EXPECT_EQ(QuarterCentres(image), (std::vector<std::uint32_t>{kRed, kGreen, kBlue, kWhite}));
  }
  EXPECT_EQ(test::DecodeGif(*CaptureScreenGif(0, 0, 32, Screen())).pixels, test::Quarters(64, 48).pixels);
  EXPECT_EQ(Log(), "");
}

TEST_F(ScreenPicturesTest, EachDepthCodeReachesTheFiles) {
  for (std::uint32_t depth : {1u, 4u, 8u, 15u, 16u, 24u, 32u, 2u, 12u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(depth);
    // A picture of many colours, so that each reduction shows.
    const auto screen = [] { return Gradient(120, 90); };
    PixelImage expected = Gradient(120, 90);
    interactive::ReduceToDepth(expected, depth);
    std::set<std::uint32_t> colours(expected.pixels.begin(), expected.pixels.end());

    const auto gif = CaptureScreenGif(0, 0, depth, screen);
    ASSERT_TRUE(gif);
    const PixelImage decoded = test::DecodeGif(*gif);
    if (colours.size() <= 256) {
      EXPECT_EQ(decoded.pixels, expected.pixels);  // exact: 1, 4 and 8 bits
      const int table = test::GifColorTableSize(*gif);
      EXPECT_GE(table, static_cast<int>(colours.size()));
      EXPECT_LT(table, 2 * std::max<int>(2, static_cast<int>(colours.size())));
    } else {
      EXPECT_EQ(test::GifColorTableSize(*gif), 256);
    }

    const test::DecodedJpeg jpeg = test::DecodeJpeg(CaptureScreenJpeg(0, 0, 100, depth, screen));
    ASSERT_EQ(jpeg.image.width, 120);
    // A two-colour frame stays black and white in its flat parts.
    if (depth == 1) {
      EXPECT_TRUE(test::Near(jpeg.image.at(2, 2), 0x000000, 12));
      EXPECT_TRUE(test::Near(jpeg.image.at(117, 87), 0xFFFFFF, 12));
    }
  }
}

TEST_F(ScreenPicturesTest, TheJpegIsBaselineColourOfTheAskedSizeAndItsQualityIsTheLowByteClamped) {
  const std::vector<std::uint8_t> file = CaptureScreenJpeg(160, 100, 75, 24, Screen());
  const test::DecodedJpeg jpeg = test::DecodeJpeg(file);
  EXPECT_EQ(jpeg.image.width, 160);
  EXPECT_EQ(jpeg.image.height, 100);
  EXPECT_EQ(jpeg.components, 3);
  EXPECT_FALSE(jpeg.progressive);
  const std::vector<std::uint8_t> sof0{0xFF, 0xC0};  // baseline frame
  EXPECT_NE(std::search(file.begin(), file.end(), sof0.begin(), sof0.end()), file.end());
  const std::vector<std::uint32_t> centres = QuarterCentres(jpeg.image);
  const std::vector<std::uint32_t> want{kRed, kGreen, kBlue, kWhite};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(test::Near(centres[i], want[i], 16)) << i;

  const auto q = [&](std::int32_t quality) { return CaptureScreenJpeg(160, 100, quality, 24, Screen()); };
  EXPECT_EQ(q(0), q(1));      // libjpeg takes 0 as 1
  EXPECT_EQ(q(256), q(1));    // the low 8 bits of 256 are 0
  EXPECT_EQ(q(255), q(100));  // above 100 is 100
  EXPECT_EQ(q(-1), q(100));   // -1 is 255 in its low 8 bits
  EXPECT_EQ(q(75 + 512), file);
  EXPECT_NE(q(1), file);
  EXPECT_LT(q(1).size(), q(100).size());
}

TEST_F(ScreenPicturesTest, SizesOverTheLimitsAreRefusedBeforeAnythingIsMade) {
  struct Case {
    std::int32_t w, h;
  };
  int refusals = 0;
  for (const Case& k : {Case{-1, 10}, Case{10, -5}, Case{16385, 10}, Case{10, 16385},
                        Case{9000, 9000}, Case{-2147483647 - 1, 0}, Case{2147483647, 2147483647}}) {
    SCOPED_TRACE(std::to_string(k.w) + "x" + std::to_string(k.h));
    EXPECT_FALSE(CaptureScreenGif(k.w, k.h, 24, Screen()));
    ++refusals;
    EXPECT_THROW(CaptureScreenJpeg(k.w, k.h, 75, 24, Screen()), Error);
  }
  EXPECT_EQ(copies.load(), 0);  // not even the screen was copied
  EXPECT_NE(Log().find(RefusalLine("9000x9000")), std::string::npos);
  // At the limits exactly: made (a screen of 16384 x 1 stretched to one row).
  EXPECT_TRUE(CaptureScreenGif(16384, 1, 8, Screen()));
  EXPECT_EQ(test::DecodeGif(*CaptureScreenGif(1, 16384, 8, Screen())).height, 16384);
  // 0 takes the screen's side, which is checked as well.
  EXPECT_FALSE(CaptureScreenGif(0, 10, 24, Screen(16385, 2)));
  (void)refusals;
}

TEST_F(ScreenPicturesTest, DepthZeroAndAMissingScreenAreLoggedOnTheGifPathAndRaisedOnTheJpegPath) {
  EXPECT_FALSE(CaptureScreenGif(0, 0, 0, Screen()));
  EXPECT_THROW(CaptureScreenJpeg(0, 0, 75, 0, Screen()), Error);
  const platform::ScreenSource none = []() -> PixelImage { throw Error("no screen: DISPLAY is not set"); };
  EXPECT_FALSE(CaptureScreenGif(10, 10, 24, none));
  try {
    CaptureScreenJpeg(10, 10, 75, 24, none);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "no screen: DISPLAY is not set");
  }
  const std::string log = Log();
  EXPECT_NE(log.find(GifFailure("Invalid pixel format")), std::string::npos) << log;
  EXPECT_NE(log.find(GifFailure("no screen: DISPLAY is not set")), std::string::npos) << log;
  // The JPEG path wrote nothing.
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = log.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_EQ(lines, 2u);
}

}  // namespace
}  // namespace pw

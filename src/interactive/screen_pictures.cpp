#include "interactive/screen_pictures.h"

#include <exception>
#include <string>
#include <utility>

#include "interactive/color_quantizer.h"
#include "interactive/pixel_depth.h"
#include "platform/error.h"
#include "platform/gif_encoder.h"
#include "platform/jpeg_encoder.h"
#include "services/event_log.h"
#include "sync/mutex.h"
#include "text/cp1251.h"

namespace pw::interactive {

namespace {

// Held while a picture is made, from the screen copy to the encoded file.
Mutex making_a_picture;

[[noreturn]] void RefuseSize(std::int64_t width, std::int64_t height) {
  throw Error(std::string("Недопустимый размер картинки: "_w) + std::to_string(width) + "x" +
              std::to_string(height));
}

// The screen copy stretched to the size asked for and set to depth. The
// size is checked before anything is allocated for it.
platform::PixelImage ScreenPicture(std::int32_t width, std::int32_t height, std::uint32_t depth,
                                   const platform::ScreenSource& screen) {
  if (width < 0 || height < 0 || width > kMaxPictureSide || height > kMaxPictureSide)
    RefuseSize(width, height);
  const std::int64_t asked = std::int64_t{width} * height;
  if (asked > kMaxPicturePixels) RefuseSize(width, height);
  platform::ScreenCopy copy = screen();
  if (copy.width() <= 0 || copy.height() <= 0) throw Error("screen copy: the screen is empty");
  if (width == 0) width = copy.width();
  if (height == 0) height = copy.height();
  if (width > kMaxPictureSide || height > kMaxPictureSide ||
      std::int64_t{width} * height > kMaxPicturePixels)
    RefuseSize(width, height);
  platform::PixelImage picture = std::move(copy).Picture(width, height);
  ReduceToDepth(picture, depth);
  return picture;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> CaptureScreenGif(std::int32_t width, std::int32_t height,
                                                          std::uint32_t depth,
                                                          const platform::ScreenSource& screen) {
  try {
    const MutexLock lock(making_a_picture);
    platform::PixelImage picture = ScreenPicture(width, height, depth, screen);
    std::vector<std::uint8_t> gif = platform::EncodeGif(QuantizeColors(picture));
    platform::RecycleScreenCopy(std::move(picture));
    return gif;
  } catch (const std::exception& e) {
    try {
      AddToLog(std::string("Ошибка получения скина "_w) + e.what());
    } catch (const std::exception&) {
      // The log file cannot be written: the missing picture tells enough.
    }
    return std::nullopt;
  }
}

std::vector<std::uint8_t> CaptureScreenJpeg(std::int32_t width, std::int32_t height,
                                            std::int32_t quality, std::uint32_t depth,
                                            const platform::ScreenSource& screen) {
  const MutexLock lock(making_a_picture);
  platform::PixelImage picture = ScreenPicture(width, height, depth, screen);
  std::vector<std::uint8_t> jpeg = platform::EncodeJpeg(picture, quality & 0xFF);
  platform::RecycleScreenCopy(std::move(picture));
  return jpeg;
}

}  // namespace pw::interactive

#include "platform/jpeg_encoder.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <csetjmp>
#include <jpeglib.h>

#include <bit>
#include <memory>
#include <string>

#include "platform/error.h"

namespace pw::platform {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not
// return: it jumps back to Compress with the message kept. No C++ object
// with a destructor lives between the setjmp and the jump.
struct ErrorJump {
  jpeg_error_mgr manager;
  std::jmp_buf back;
  char message[JMSG_LENGTH_MAX];
};

void JumpBack(j_common_ptr cinfo) {
  auto* jump = reinterpret_cast<ErrorJump*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, jump->message);
  std::longjmp(jump->back, 1);
}

void NoWarnings(j_common_ptr, int) {}

// Whether libjpeg reads the pixels as they are: 0x00RRGGBB words lie in
// memory as B, G, R, X on a little-endian machine, one of libjpeg-turbo's
// extended input layouts. Otherwise each row is widened to RGB first.
#ifdef JCS_EXTENSIONS
constexpr bool kReadsPixelsAsTheyAre = std::endian::native == std::endian::little;
constexpr J_COLOR_SPACE kPixelLayout = JCS_EXT_BGRX;
#else
constexpr bool kReadsPixelsAsTheyAre = false;
constexpr J_COLOR_SPACE kPixelLayout = JCS_RGB;
#endif

// Compresses image into *out (malloc'd by libjpeg); row holds width * 3
// bytes for the widened rows when libjpeg cannot read the pixels as they
// are. False with jump->message set when libjpeg fails.
bool Compress(const PixelImage& image, int quality, std::uint8_t* row, ErrorJump* jump,
              unsigned char** out, unsigned long* out_size) {
  jpeg_compress_struct cinfo;
  cinfo.err = jpeg_std_error(&jump->manager);
  jump->manager.error_exit = JumpBack;
  jump->manager.emit_message = NoWarnings;
  if (setjmp(jump->back)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, out_size);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = kReadsPixelsAsTheyAre ? 4 : 3;
  cinfo.in_color_space = kReadsPixelsAsTheyAre ? kPixelLayout : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const std::uint32_t* from = image.pixels.data();
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows;
    if (kReadsPixelsAsTheyAre) {
      rows = reinterpret_cast<JSAMPROW>(const_cast<std::uint32_t*>(from));
      from += image.width;
    } else {
      std::uint8_t* to = row;
      for (int x = 0; x < image.width; ++x, ++from) {
        *to++ = static_cast<std::uint8_t>(*from >> 16);
        *to++ = static_cast<std::uint8_t>(*from >> 8);
        *to++ = static_cast<std::uint8_t>(*from);
      }
      rows = row;
    }
    jpeg_write_scanlines(&cinfo, &rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const PixelImage& image, int quality) {
  if (image.width <= 0 || image.height <= 0 || image.width > 65500 || image.height > 65500 ||
      image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
    throw Error("EncodeJpeg: not a valid picture");
  std::vector<std::uint8_t> row(kReadsPixelsAsTheyAre ? 0 : static_cast<std::size_t>(image.width) * 3);
  ErrorJump jump{};
  unsigned char* out = nullptr;
  unsigned long out_size = 0;
  const bool done = Compress(image, quality, row.data(), &jump, &out, &out_size);
  const std::unique_ptr<unsigned char, void (*)(void*)> owned(out, std::free);
  if (!done) throw Error(std::string("libjpeg: ") + jump.message);
  return std::vector<std::uint8_t>(out, out + out_size);
}

}  // namespace pw::platform

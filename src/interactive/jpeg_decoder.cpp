#include "interactive/jpeg_decoder.h"

// jpeglib.h wants the size types declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <csetjmp>
#include <string>

#include "interactive/picture_limits.h"
#include "platform/error.h"
#include "text/cp1251.h"

namespace pw::interactive {

namespace {

// libjpeg's fatal errors, and its warnings about corrupt or missing data,
// come back here with their text instead of ending the process. The jump
// lands in Decompress below; only libjpeg's own frames lie between.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char text[JMSG_LENGTH_MAX];
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->text);
  std::longjmp(manager->jump, 1);
}

void EmitMessage(j_common_ptr info, int level) {
  if (level < 0) ErrorExit(info);  // a warning: the data is corrupt or cut short
}

struct Decoder {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  Decoder() {
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = &ErrorExit;
    errors.pub.emit_message = &EmitMessage;
    errors.text[0] = '\0';
    jpeg_create_decompress(&info);
  }
  ~Decoder() { jpeg_destroy_decompress(&info); }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
};

// False when libjpeg gave up (its text is in d.errors.text). Nothing with a
// destructor lives in this frame: the jump back skips no clean-up, and the
// row buffer belongs to libjpeg, which frees it with the decoder.
bool Decompress(Decoder& d, std::string_view bytes, platform::PixelImage& out) {
  if (setjmp(d.errors.jump) != 0) return false;
  jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&d.info, TRUE);
  CheckPictureSize(d.info.image_width, d.info.image_height);
  d.info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d.info);
  const int width = static_cast<int>(d.info.output_width);
  const int height = static_cast<int>(d.info.output_height);
  CheckPictureSize(width, height);
  out.width = width;
  out.height = height;
  out.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  JSAMPARRAY row = (*d.info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d.info), JPOOL_IMAGE,
                                               d.info.output_width * 3, 1);
  while (d.info.output_scanline < d.info.output_height) {
    const int y = static_cast<int>(d.info.output_scanline);
    jpeg_read_scanlines(&d.info, row, 1);
    const JSAMPLE* p = row[0];
    for (int x = 0; x < width; ++x, p += 3)
      out.at(x, y) = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
  jpeg_finish_decompress(&d.info);
  return true;
}

}  // namespace

platform::PixelImage DecodeJpeg(std::string_view bytes) {
  Decoder d;
  platform::PixelImage picture;
  if (!Decompress(d, bytes, picture))
    throw Error(std::string("Ошибка чтения JPEG: "_w) + d.errors.text);
  return picture;
}

}  // namespace pw::interactive

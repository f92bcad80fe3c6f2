#include "decoded_picture.h"

#include <cstddef>
#include <cstdio>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <gif_lib.h>
#include <jpeglib.h>

#include <stdexcept>
#include <string>

namespace pw::test {

namespace {

struct GifReader {
  const std::vector<std::uint8_t>* file;
  std::size_t at = 0;
};

int ReadGif(GifFileType* gif, GifByteType* to, int n) {
  auto* reader = static_cast<GifReader*>(gif->UserData);
  const std::size_t left = reader->file->size() - reader->at;
  const std::size_t take = std::min<std::size_t>(left, static_cast<std::size_t>(n));
  std::memcpy(to, reader->file->data() + reader->at, take);
  reader->at += take;
  return static_cast<int>(take);
}

// Opens and slurps the GIF; the caller closes it.
GifFileType* OpenGif(GifReader& reader) {
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadGif, &error);
  if (!gif) throw std::runtime_error(std::string("DGifOpen: ") + GifErrorString(error));
  if (DGifSlurp(gif) != GIF_OK || gif->ImageCount != 1) {
    const std::string text = GifErrorString(gif->Error) ? GifErrorString(gif->Error) : "?";
    DGifCloseFile(gif, &error);
    throw std::runtime_error("DGifSlurp: " + text);
  }
  return gif;
}

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf back;
};
void JumpBack(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->back, 1); }

bool ReadJpeg(const std::vector<std::uint8_t>& file, DecodedJpeg& out, std::vector<std::uint8_t>& rgb) {
  jpeg_decompress_struct cinfo;
  JpegError error;
  cinfo.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JumpBack;
  if (setjmp(error.back)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  out.components = cinfo.num_components;
  out.progressive = cinfo.progressive_mode;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out.image.width = static_cast<int>(cinfo.output_width);
  out.image.height = static_cast<int>(cinfo.output_height);
  rgb.resize(static_cast<std::size_t>(out.image.width) * static_cast<std::size_t>(out.image.height) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * out.image.width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

platform::PixelImage DecodeGif(const std::vector<std::uint8_t>& file) {
  GifReader reader{&file};
  GifFileType* gif = OpenGif(reader);
  const SavedImage& saved = gif->SavedImages[0];
  const ColorMapObject* map = saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap : gif->SColorMap;
  platform::PixelImage image;
  image.width = saved.ImageDesc.Width;
  image.height = saved.ImageDesc.Height;
  image.pixels.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const GifColorType c = map->Colors[saved.RasterBits[i]];
    image.pixels[i] = std::uint32_t{c.Red} << 16 | std::uint32_t{c.Green} << 8 | c.Blue;
  }
  int error = 0;
  DGifCloseFile(gif, &error);
  return image;
}

int GifColorTableSize(const std::vector<std::uint8_t>& file) {
  GifReader reader{&file};
  GifFileType* gif = OpenGif(reader);
  const int size = gif->SColorMap ? gif->SColorMap->ColorCount : 0;
  int error = 0;
  DGifCloseFile(gif, &error);
  return size;
}

DecodedJpeg DecodeJpeg(const std::vector<std::uint8_t>& file) {
  DecodedJpeg out;
  std::vector<std::uint8_t> rgb;
  if (!ReadJpeg(file, out, rgb)) throw std::runtime_error("not a JPEG file");
  out.image.pixels.resize(rgb.size() / 3);
  for (std::size_t i = 0; i < out.image.pixels.size(); ++i)
    out.image.pixels[i] = std::uint32_t{rgb[3 * i]} << 16 | std::uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
  return out;
}

platform::PixelImage Quarters(int w, int h) {
  platform::PixelImage image;
  image.width = w;
  image.height = h;
  image.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.at(x, y) = y < h / 2 ? (x < w / 2 ? kRed : kGreen) : (x < w / 2 ? kBlue : kWhite);
  return image;
}

std::vector<std::uint32_t> QuarterCentres(const platform::PixelImage& image) {
  const int x0 = image.width / 4, x1 = image.width * 3 / 4;
  const int y0 = image.height / 4, y1 = image.height * 3 / 4;
  return {image.at(x0, y0), image.at(x1, y0), image.at(x0, y1), image.at(x1, y1)};
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16}) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

}  // namespace pw::test

#include "picture_bytes.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <gif_lib.h>
#include <jpeglib.h>

#include <map>
#include <stdexcept>
#include <vector>

namespace pw::test {

platform::PixelImage Quadrants(int w, int h) {
  platform::PixelImage p{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool right = x >= w / 2;
      const bool bottom = y >= h / 2;
      p.at(x, y) = !bottom ? (right ? 0x00FF00u : 0xFF0000u) : (right ? 0xFFFFFFu : 0x0000FFu);
    }
  return p;
}

namespace {

int WriteToString(GifFileType* gif, const GifByteType* bytes, int n) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes),
                                                   static_cast<std::size_t>(n));
  return n;
}

void Check(int result, const char* what) {
  if (result == GIF_ERROR) throw std::runtime_error(what);
}

}  // namespace

std::string GifBytes(const platform::PixelImage& picture, GifOptions options) {
  std::map<std::uint32_t, int> index;
  for (std::uint32_t c : picture.pixels) index.emplace(c, 0);
  if (index.size() > 256) throw std::runtime_error("more than 256 colours");
  int size = 2;
  while (size < static_cast<int>(index.size())) size *= 2;
  ColorMapObject* map = GifMakeMapObject(size, nullptr);
  int i = 0;
  for (auto& [colour, n] : index) {
    n = i;
    map->Colors[i++] = GifColorType{static_cast<GifByteType>(colour >> 16),
                                    static_cast<GifByteType>(colour >> 8),
                                    static_cast<GifByteType>(colour)};
  }
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, &WriteToString, &error);
  if (gif == nullptr) throw std::runtime_error("EGifOpen");
  EGifSetGifVersion(gif, true);
  Check(EGifPutScreenDesc(gif, picture.width, picture.height, 8, 0,
                          options.local_map ? nullptr : map),
        "screen");
  Check(EGifPutImageDesc(gif, 0, 0, picture.width, picture.height, options.interlaced,
                         options.local_map ? map : nullptr),
        "image");
  std::vector<GifPixelType> line(static_cast<std::size_t>(picture.width));
  std::vector<int> rows;
  if (options.interlaced) {
    const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = start[pass]; y < picture.height; y += step[pass]) rows.push_back(y);
  } else {
    for (int y = 0; y < picture.height; ++y) rows.push_back(y);
  }
  for (int y : rows) {
    for (int x = 0; x < picture.width; ++x)
      line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>(index[picture.at(x, y)]);
    Check(EGifPutLine(gif, line.data(), picture.width), "line");
  }
  GifFreeMapObject(map);
  Check(EGifCloseFile(gif, &error), "close");
  return out;
}

std::string JpegBytes(const platform::PixelImage& picture, int quality) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(picture.width);
  info.image_height = static_cast<JDIMENSION>(picture.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(picture.width) * 3);
  while (info.next_scanline < info.image_height) {
    const int y = static_cast<int>(info.next_scanline);
    for (int x = 0; x < picture.width; ++x) {
      const std::uint32_t c = picture.at(x, y);
      row[static_cast<std::size_t>(x) * 3] = static_cast<JSAMPLE>(c >> 16);
      row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<JSAMPLE>(c >> 8);
      row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<JSAMPLE>(c);
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

bool CloseColour(std::uint32_t a, std::uint32_t b, int tolerance) {
  for (int shift : {16, 8, 0}) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

}  // namespace pw::test

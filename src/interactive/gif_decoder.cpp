#include "interactive/gif_decoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interactive/picture_limits.h"
#include "platform/error.h"
#include "text/cp1251.h"

namespace pw::interactive {

namespace {

struct MemoryReader {
  std::string_view bytes;
  std::size_t pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* into, int wanted) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  const std::size_t n = std::min(static_cast<std::size_t>(std::max(wanted, 0)),
                                 reader->bytes.size() - reader->pos);
  std::memcpy(into, reader->bytes.data() + reader->pos, n);
  reader->pos += n;
  return static_cast<int>(n);
}

struct CloseGif {
  void operator()(GifFileType* gif) const {
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
  }
};
using GifFile = std::unique_ptr<GifFileType, CloseGif>;

[[noreturn]] void Fail(int code) {
  const char* why = GifErrorString(code);
  throw Error(std::string("Ошибка чтения GIF: "_w) + (why != nullptr ? why : "?"));
}

void Check(int result, const GifFileType* gif) {
  if (result == GIF_ERROR) Fail(gif->Error);
}

std::uint32_t Rgb(const GifColorType& c) {
  return (std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue;
}

// The rows of an image in the order they are stored: interlaced images come
// in four passes.
std::vector<int> RowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  constexpr int kStart[] = {0, 4, 2, 1};
  constexpr int kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
  return rows;
}

// Reads the image whose descriptor comes next and draws it onto picture.
void ReadImage(GifFileType* gif, platform::PixelImage& picture) {
  Check(DGifGetImageDesc(gif), gif);
  const GifImageDesc& desc = gif->Image;
  CheckPictureSize(desc.Width, desc.Height);
  const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
  if (map == nullptr || map->Colors == nullptr || map->ColorCount <= 0)
    throw Error("Ошибка чтения GIF: нет палитры"_w.data());
  if (picture.pixels.empty()) {
    // A screen of size 0 takes the image's size.
    const int w = gif->SWidth > 0 ? gif->SWidth : desc.Left + desc.Width;
    const int h = gif->SHeight > 0 ? gif->SHeight : desc.Top + desc.Height;
    CheckPictureSize(w, h);
    std::uint32_t background = 0;
    if (gif->SColorMap != nullptr && gif->SBackGroundColor >= 0 &&
        gif->SBackGroundColor < gif->SColorMap->ColorCount)
      background = Rgb(gif->SColorMap->Colors[gif->SBackGroundColor]);
    picture.width = w;
    picture.height = h;
    picture.pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), background);
  }
  std::vector<GifPixelType> line(static_cast<std::size_t>(desc.Width));
  for (const int y : RowOrder(desc.Height, desc.Interlace)) {
    Check(DGifGetLine(gif, line.data(), desc.Width), gif);
    const int py = desc.Top + y;
    if (py < 0 || py >= picture.height) continue;
    for (int x = 0; x < desc.Width; ++x) {
      const int px = desc.Left + x;
      if (px < 0 || px >= picture.width) continue;
      const int index = line[static_cast<std::size_t>(x)];
      picture.at(px, py) = index < map->ColorCount ? Rgb(map->Colors[index]) : 0;
    }
  }
}

}  // namespace

platform::PixelImage DecodeGif(std::string_view bytes) {
  MemoryReader reader{bytes};
  int error = 0;
  GifFile gif(DGifOpen(&reader, &ReadFromMemory, &error));
  if (!gif) Fail(error);
  platform::PixelImage picture;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    Check(DGifGetRecordType(gif.get(), &record), gif.get());
    if (record == IMAGE_DESC_RECORD_TYPE) {
      ReadImage(gif.get(), picture);
      return picture;  // the first image is the picture
    }
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      Check(DGifGetExtension(gif.get(), &code, &block), gif.get());
      while (block != nullptr) Check(DGifGetExtensionNext(gif.get(), &block), gif.get());
      continue;
    }
    if (record == TERMINATE_RECORD_TYPE) break;
  }
  throw Error("Ошибка чтения GIF: в файле нет изображения"_w.data());
}

}  // namespace pw::interactive

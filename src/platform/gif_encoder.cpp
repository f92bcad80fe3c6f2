#include "platform/gif_encoder.h"

#include <gif_lib.h>

#include <memory>
#include <string>

#include "platform/error.h"

namespace pw::platform {

namespace {

int WriteToVector(GifFileType* gif, const GifByteType* bytes, int n) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + n);
  return n;
}

[[noreturn]] void Fail(const char* call, int code) {
  const char* text = GifErrorString(code);
  throw Error(std::string(call) + ": " + (text ? text : "GIF error " + std::to_string(code)));
}

struct CloseGif {
  void operator()(GifFileType* gif) const {
    int ignored = 0;
    EGifCloseFile(gif, &ignored);
  }
};

struct FreeMap {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

void Check(const IndexedImage& image) {
  const std::size_t colours = image.palette.size();
  if (image.width <= 0 || image.height <= 0 || image.width > 65535 || image.height > 65535 ||
      colours == 0 || colours > 256 ||
      image.indices.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
    throw Error("EncodeGif: not a valid indexed picture");
  for (std::uint8_t index : image.indices)
    if (index >= colours) throw Error("EncodeGif: palette index out of range");
}

}  // namespace

std::vector<std::uint8_t> EncodeGif(const IndexedImage& image) {
  Check(image);
  // The colour table holds a power of two entries, at least two.
  int bits = 1;
  while ((std::size_t{1} << bits) < image.palette.size()) ++bits;
  std::vector<GifColorType> colours(std::size_t{1} << bits, GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < image.palette.size(); ++i) {
    const std::uint32_t c = image.palette[i];
    colours[i] = GifColorType{static_cast<GifByteType>(c >> 16), static_cast<GifByteType>(c >> 8),
                              static_cast<GifByteType>(c)};
  }
  std::unique_ptr<ColorMapObject, FreeMap> map(
      GifMakeMapObject(static_cast<int>(colours.size()), colours.data()));
  if (!map) throw Error("GifMakeMapObject: out of memory");

  std::vector<std::uint8_t> file;
  int code = 0;
  std::unique_ptr<GifFileType, CloseGif> gif(EGifOpen(&file, WriteToVector, &code));
  if (!gif) Fail("EGifOpen", code);
  if (EGifPutScreenDesc(gif.get(), image.width, image.height, bits, 0, map.get()) == GIF_ERROR)
    Fail("EGifPutScreenDesc", gif->Error);
  if (EGifPutImageDesc(gif.get(), 0, 0, image.width, image.height, false, nullptr) == GIF_ERROR)
    Fail("EGifPutImageDesc", gif->Error);
  // giflib takes the rows as writable pointers but does not change them.
  auto* row = const_cast<GifPixelType*>(image.indices.data());
  for (int y = 0; y < image.height; ++y, row += image.width)
    if (EGifPutLine(gif.get(), row, image.width) == GIF_ERROR) Fail("EGifPutLine", gif->Error);
  // The trailer is written on close; the close frees the encoder either way.
  GifFileType* const open = gif.release();
  if (EGifCloseFile(open, &code) == GIF_ERROR) Fail("EGifCloseFile", code);
  return file;
}

}  // namespace pw::platform

// A GIF picture as a station sends it (screenshot, TV frame).
#include <cstdint>

#include "fuzz_support.h"
#include "interactive/gif_decoder.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pw;
  try {
    const platform::PixelImage image = interactive::DecodeGif(fuzz::Bytes(data, size));
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
      __builtin_trap();
  } catch (const Error&) {
  }
  return 0;
}

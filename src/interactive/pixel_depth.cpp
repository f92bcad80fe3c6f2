#include "interactive/pixel_depth.h"

#include <array>

#include "platform/error.h"

namespace pw::interactive {

namespace {

constexpr std::uint32_t R(std::uint32_t c) { return (c >> 16) & 0xFF; }
constexpr std::uint32_t G(std::uint32_t c) { return (c >> 8) & 0xFF; }
constexpr std::uint32_t B(std::uint32_t c) { return c & 0xFF; }
constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r << 16 | g << 8 | b; }

// A channel cut to `bits` and widened back by repeating its top bits, as a
// display widens 5 or 6 bits to 8.
constexpr std::uint32_t Cut(std::uint32_t v, int bits) {
  const std::uint32_t kept = v >> (8 - bits);
  return (kept << (8 - bits)) | (kept >> (2 * bits - 8));
}

constexpr std::array<std::uint32_t, 16> kVga = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

std::uint32_t NearestVga(std::uint32_t c) {
  std::uint32_t best = 0;
  int best_distance = 1 << 30;
  for (std::uint32_t v : kVga) {
    const int dr = static_cast<int>(R(c)) - static_cast<int>(R(v));
    const int dg = static_cast<int>(G(c)) - static_cast<int>(G(v));
    const int db = static_cast<int>(B(c)) - static_cast<int>(B(v));
    const int d = dr * dr + dg * dg + db * db;
    if (d < best_distance) best_distance = d, best = v;
  }
  return best;
}

// The nearest of the six levels 0, 51, ..., 255.
constexpr std::uint32_t Level6(std::uint32_t v) { return (v + 25) / 51 * 51; }

template <class Fn>
void Map(platform::PixelImage& image, Fn fn) {
  // Screens hold long runs of one colour: the last answer is often the next.
  std::uint32_t last_in = image.pixels.empty() ? 0 : ~image.pixels[0];
  std::uint32_t last_out = 0;
  for (std::uint32_t& p : image.pixels) {
    if (p != last_in) last_in = p, last_out = fn(p);
    p = last_out;
  }
}

}  // namespace

void ReduceToDepth(platform::PixelImage& image, std::uint32_t depth) {
  switch (depth) {
    case 0:
      throw Error("Invalid pixel format");
    case 1:
      // The nearer of black and white.
      Map(image, [](std::uint32_t c) { return R(c) + G(c) + B(c) >= 383 ? 0xFFFFFFu : 0u; });
      return;
    case 4:
      Map(image, NearestVga);
      return;
    case 8:
      Map(image, [](std::uint32_t c) { return Rgb(Level6(R(c)), Level6(G(c)), Level6(B(c))); });
      return;
    case 15:
      Map(image, [](std::uint32_t c) { return Rgb(Cut(R(c), 5), Cut(G(c), 5), Cut(B(c), 5)); });
      return;
    case 16:
      Map(image, [](std::uint32_t c) { return Rgb(Cut(R(c), 5), Cut(G(c), 6), Cut(B(c), 5)); });
      return;
    default:
      // 24, 32 and the codes of no format: the colours as the display has them.
      return;
  }
}

}  // namespace pw::interactive

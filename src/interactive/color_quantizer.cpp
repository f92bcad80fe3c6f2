#include "interactive/color_quantizer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace pw::interactive {

namespace {

constexpr std::size_t kMaxColors = 256;
constexpr int kSide = 32;  // 5 bits a channel
constexpr int kCells = kSide * kSide * kSide;

constexpr int Cell(std::uint32_t c) {
  return static_cast<int>(((c >> 19) & 31) << 10 | ((c >> 11) & 31) << 5 | ((c >> 3) & 31));
}
constexpr int CellAt(int r, int g, int b) { return r << 10 | g << 5 | b; }

// Palette and indices when the picture has at most 256 colours; false
// (and a half-filled result) when it has more.
bool ExactColors(const platform::PixelImage& image, platform::IndexedImage& out) {
  std::unordered_map<std::uint32_t, std::uint8_t> index;
  index.reserve(2 * kMaxColors);
  out.indices.resize(image.pixels.size());
  std::uint32_t last = ~image.pixels[0];
  std::uint8_t last_index = 0;
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const std::uint32_t c = image.pixels[i];
    if (c != last) {
      auto found = index.find(c);
      if (found == index.end()) {
        if (out.palette.size() == kMaxColors) return false;
        found = index.emplace(c, static_cast<std::uint8_t>(out.palette.size())).first;
        out.palette.push_back(c);
      }
      last = c;
      last_index = found->second;
    }
    out.indices[i] = last_index;
  }
  return true;
}

struct Histogram {
  std::vector<std::uint32_t> count = std::vector<std::uint32_t>(kCells);
  std::vector<std::array<std::uint64_t, 3>> sum = std::vector<std::array<std::uint64_t, 3>>(kCells);
};

// A box of cells, bounds inclusive, per channel r, g, b.
struct Box {
  std::array<int, 3> lo{0, 0, 0};
  std::array<int, 3> hi{kSide - 1, kSide - 1, kSide - 1};
  std::uint64_t pixels = 0;
};

template <class Fn>
void ForEachCell(const Box& box, Fn fn) {
  for (int r = box.lo[0]; r <= box.hi[0]; ++r)
    for (int g = box.lo[1]; g <= box.hi[1]; ++g)
      for (int b = box.lo[2]; b <= box.hi[2]; ++b) fn(r, g, b, CellAt(r, g, b));
}

// Shrinks the box to the cells that hold pixels and counts them.
void Fit(Box& box, const Histogram& h) {
  Box fitted{{kSide, kSide, kSide}, {-1, -1, -1}, 0};
  ForEachCell(box, [&](int r, int g, int b, int cell) {
    if (h.count[static_cast<std::size_t>(cell)] == 0) return;
    const std::array<int, 3> at{r, g, b};
    for (int a = 0; a < 3; ++a) {
      fitted.lo[static_cast<std::size_t>(a)] = std::min(fitted.lo[static_cast<std::size_t>(a)], at[static_cast<std::size_t>(a)]);
      fitted.hi[static_cast<std::size_t>(a)] = std::max(fitted.hi[static_cast<std::size_t>(a)], at[static_cast<std::size_t>(a)]);
    }
    fitted.pixels += h.count[static_cast<std::size_t>(cell)];
  });
  box = fitted;
}

bool Splittable(const Box& box) {
  return box.hi[0] > box.lo[0] || box.hi[1] > box.lo[1] || box.hi[2] > box.lo[2];
}

// Splits box along its longest side where half its pixels lie on each
// side; the second half is returned, box keeps the first.
Box Split(Box& box, const Histogram& h) {
  std::size_t axis = 0;
  for (std::size_t a = 1; a < 3; ++a)
    if (box.hi[a] - box.lo[a] > box.hi[axis] - box.lo[axis]) axis = a;
  std::array<std::uint64_t, kSide> slice{};
  ForEachCell(box, [&](int r, int g, int b, int cell) {
    const std::array<int, 3> at{r, g, b};
    slice[static_cast<std::size_t>(at[axis])] += h.count[static_cast<std::size_t>(cell)];
  });
  // The last slice of the first half: at least the lowest, at most the one
  // before the highest, so neither half is empty.
  int cut = box.lo[axis];
  std::uint64_t below = slice[static_cast<std::size_t>(cut)];
  while (cut + 1 < box.hi[axis] && below + slice[static_cast<std::size_t>(cut + 1)] <= box.pixels / 2)
    below += slice[static_cast<std::size_t>(++cut)];
  Box upper = box;
  upper.lo[axis] = cut + 1;
  box.hi[axis] = cut;
  Fit(box, h);
  Fit(upper, h);
  return upper;
}

}  // namespace

platform::IndexedImage QuantizeColors(const platform::PixelImage& image) {
  platform::IndexedImage out;
  out.width = image.width;
  out.height = image.height;
  if (ExactColors(image, out)) return out;

  Histogram h;
  for (std::uint32_t c : image.pixels) {
    const auto cell = static_cast<std::size_t>(Cell(c));
    ++h.count[cell];
    h.sum[cell][0] += (c >> 16) & 0xFF;
    h.sum[cell][1] += (c >> 8) & 0xFF;
    h.sum[cell][2] += c & 0xFF;
  }
  std::vector<Box> boxes(1);
  Fit(boxes[0], h);
  while (boxes.size() < kMaxColors) {
    // The box with most pixels among those that can still be split.
    Box* widest = nullptr;
    for (Box& b : boxes)
      if (Splittable(b) && (!widest || b.pixels > widest->pixels)) widest = &b;
    if (!widest) break;
    Box upper = Split(*widest, h);
    boxes.push_back(upper);
  }

  std::vector<std::uint8_t> cell_index(kCells);
  out.palette.clear();
  for (const Box& box : boxes) {
    std::array<std::uint64_t, 3> sum{};
    const auto index = static_cast<std::uint8_t>(out.palette.size());
    ForEachCell(box, [&](int, int, int, int cell) {
      const auto c = static_cast<std::size_t>(cell);
      for (std::size_t a = 0; a < 3; ++a) sum[a] += h.sum[c][a];
      cell_index[c] = index;
    });
    const std::uint64_t n = std::max<std::uint64_t>(box.pixels, 1);
    out.palette.push_back(static_cast<std::uint32_t>((sum[0] + n / 2) / n << 16 | (sum[1] + n / 2) / n << 8 |
                                                     (sum[2] + n / 2) / n));
  }
  for (std::size_t i = 0; i < image.pixels.size(); ++i)
    out.indices[i] = cell_index[static_cast<std::size_t>(Cell(image.pixels[i]))];
  return out;
}

}  // namespace pw::interactive

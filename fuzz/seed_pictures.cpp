// Writes small GIF and JPEG pictures, as a station sends them, into the
// seed folders given: pumpwire-fuzz-seed-pictures GIF_FOLDER JPEG_FOLDER.
#include <fstream>
#include <iostream>
#include <string>

#include "picture_bytes.h"

namespace {

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pw::test;
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " GIF_FOLDER JPEG_FOLDER\n";
    return 2;
  }
  const std::string gif = std::string(argv[1]) + "/";
  const std::string jpeg = std::string(argv[2]) + "/";
  Write(gif + "quadrants-8x8.gif", GifBytes(Quadrants(8, 8)));
  Write(gif + "interlaced-local-map-12x10.gif", GifBytes(Quadrants(12, 10), {true, true}));
  Write(gif + "one-pixel.gif", GifBytes(Quadrants(1, 1)));
  Write(jpeg + "quadrants-8x8.jpg", JpegBytes(Quadrants(8, 8), 50));
  Write(jpeg + "quadrants-17x9.jpg", JpegBytes(Quadrants(17, 9), 95));
  return 0;
}

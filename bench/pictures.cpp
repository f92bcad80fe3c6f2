// bench/pictures: the cost of one screen picture, step by step, at
// 1920 x 1080 -> 1920 x 1080 and -> 800 x 600, depth 24 and 8: the screen
// copy (from an Xvfb of that size when Xvfb is installed), the stretch, the
// depth reduction, the JPEG encode at quality 75 and the GIF (our median cut
// + giflib's encoder). Next to them, in the same run and on the same pixels:
// libjpeg alone (from a ready RGB buffer) and giflib with its own median cut
// (GifQuantizeBuffer). Last, a TV stream over loopback: the station's
// "GET_TVSHOT" branch serving 800 x 600 JPEG frames, one request every
// 10 ms, against the sum of its steps.
//
//   pictures [--frames N] [--quick]
//
// --quick: 10 frames and 2 rounds per step, a few seconds in all.
#include <gif_lib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csetjmp>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <jpeglib.h>

#include "interactive/color_quantizer.h"
#include "interactive/picture_stretch.h"
#include "interactive/pixel_depth.h"
#include "interactive/screen_pictures.h"
#include "platform/environment.h"
#include "platform/gif_encoder.h"
#include "platform/jpeg_encoder.h"
#include "platform/screen_capture.h"
#include "platform/tcp.h"
#include "protocol/session.h"
#include "station/screen_commands.h"
#include "xvfb_screen.h"

namespace {

using namespace pw;
using Clock = std::chrono::steady_clock;
using platform::PixelImage;

// Milliseconds per call of fn: the median of `rounds` runs.
double Ms(int rounds, const std::function<void()>& fn) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    fn();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// A desktop-like picture: a gradient background, flat windows, and lines
// of "text" (small dark dashes), so both encoders meet what a screen holds.
PixelImage Desktop(int w, int h) {
  PixelImage image;
  image.width = w;
  image.height = h;
  image.pixels.resize(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.at(x, y) = static_cast<std::uint32_t>(40 + x * 120 / w) << 16 |
                       static_cast<std::uint32_t>(80 + y * 100 / h) << 8 |
                       static_cast<std::uint32_t>(60 + (x + 2 * y) * 180 / (w + 2 * h));
  const std::uint32_t windows[] = {0xF0F0F0, 0xD4D0C8, 0xFFFFE1, 0x0A246A};
  for (int i = 0; i < 6; ++i) {
    const int x0 = 60 + i * 280, y0 = 50 + i * 140, ww = 700, wh = 420;
    for (int y = y0; y < std::min(h, y0 + wh); ++y)
      for (int x = x0; x < std::min(w, x0 + ww); ++x) {
        std::uint32_t c = y < y0 + 22 ? windows[3] : windows[i % 3];
        if (y > y0 + 30 && (y - y0) % 16 < 9 && (x * 7 + y * 3) % 11 < 5) c = 0x202020;
        image.at(x, y) = c;
      }
  }
  return image;
}

struct JpegJump {
  jpeg_error_mgr manager;
  std::jmp_buf back;
};
void JpegFail(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegJump*>(c->err)->back, 1); }

// libjpeg alone: the same defaults, quality and baseline, from a ready RGB
// buffer into memory.
std::size_t LibjpegAlone(const std::vector<unsigned char>& rgb, int w, int h) {
  jpeg_compress_struct c;
  JpegJump jump;
  c.err = jpeg_std_error(&jump.manager);
  jump.manager.error_exit = JpegFail;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (setjmp(jump.back)) {
    jpeg_destroy_compress(&c);
    std::free(out);
    return 0;
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 75, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + static_cast<std::size_t>(c.next_scanline) * w * 3);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::free(out);
  return size;
}

// giflib with its own median cut: planes in, GifQuantizeBuffer, then the
// same encoder as ours. The file's size.
std::size_t GiflibAlone(const PixelImage& image) {
  const std::size_t n = image.pixels.size();
  std::vector<GifByteType> r(n), g(n), b(n), out(n);
  for (std::size_t i = 0; i < n; ++i) {
    r[i] = static_cast<GifByteType>(image.pixels[i] >> 16);
    g[i] = static_cast<GifByteType>(image.pixels[i] >> 8);
    b[i] = static_cast<GifByteType>(image.pixels[i]);
  }
  int colours = 256;
  std::vector<GifColorType> map(256);
  if (GifQuantizeBuffer(static_cast<unsigned>(image.width), static_cast<unsigned>(image.height), &colours,
                        r.data(), g.data(), b.data(), out.data(), map.data()) == GIF_ERROR)
    return 0;
  platform::IndexedImage indexed;
  indexed.width = image.width;
  indexed.height = image.height;
  for (int i = 0; i < colours; ++i)
    indexed.palette.push_back(std::uint32_t{map[i].Red} << 16 | std::uint32_t{map[i].Green} << 8 | map[i].Blue);
  indexed.indices.assign(out.begin(), out.end());
  return platform::EncodeGif(indexed).size();
}

std::vector<unsigned char> Rgb(const PixelImage& image) {
  std::vector<unsigned char> rgb;
  rgb.reserve(image.pixels.size() * 3);
  for (std::uint32_t c : image.pixels) {
    rgb.push_back(static_cast<unsigned char>(c >> 16));
    rgb.push_back(static_cast<unsigned char>(c >> 8));
    rgb.push_back(static_cast<unsigned char>(c));
  }
  return rgb;
}

// Frames per second of "GET_TVSHOT" 800 x 600 JPEG served by the station's
// branch over loopback, the office asking again 10 ms after each frame.
double StreamFps(const platform::ScreenSource& screen, int frames) {
  platform::TcpListener listener("127.0.0.1", 0);
  std::thread station([&] {
    std::optional<platform::TcpConnection> c = listener.Accept(10000);
    if (!c) return;
    protocol::Session session(*c);
    const station::ScreenPictures pictures{screen};
    try {
      while (session.ReadLine() == "GET_TVSHOT") station::ServeTvShot(session, pictures);
    } catch (const std::exception&) {
      // the office closed
    }
  });
  platform::TcpConnection office = platform::TcpConnection::Connect("127.0.0.1", listener.Port(), 10000);
  office.SetReadTimeout(10000);
  protocol::Session session(office);
  const auto start = Clock::now();
  for (int i = 0; i < frames; ++i) {
    session.WriteLine("GET_TVSHOT\r\n800\r\n600\r\n24\r\n75");
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(session.ReadNumberLine()));
    session.ReadBlock(frame.data(), frame.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // e_TVrefresh
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  office.Disconnect();
  station.join();
  return frames / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 100;
  int rounds = 9;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) frames = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--quick") == 0) frames = 10, rounds = 2;
  }
  const PixelImage desktop = Desktop(1920, 1080);

  // The screen: an Xvfb of 1920 x 1080 with the desktop picture's size, or
  // the synthetic picture alone.
  std::unique_ptr<test::XvfbScreen> xvfb;
  double capture_ms = -1;
  if (test::XvfbScreen::Installed()) {
    xvfb = std::make_unique<test::XvfbScreen>(1920, 1080, 24);
    platform::SetEnvironmentValue("DISPLAY", xvfb->display().c_str());
    capture_ms = Ms(rounds, [] { platform::CapturePrimaryScreen(); });
  }
  std::printf("screen copy 1920x1080 (Xvfb, XShm): %s\n",
              capture_ms < 0 ? "no Xvfb" : (std::to_string(capture_ms) + " ms").c_str());

  std::printf("%-10s %5s %8s %8s %8s %8s %8s %8s %9s %9s %8s %8s\n", "target", "depth", "stretch",
              "depth", "jpeg", "libjpeg", "ratio", "gif", "giflibmc", "ratio", "gifB", "refB");
  double stream_sum = 0;
  for (const auto& [w, h] : {std::pair{1920, 1080}, std::pair{800, 600}}) {
    for (const std::uint32_t depth : {24u, 8u}) {
      PixelImage picture;
      const double stretch = Ms(rounds, [&] { picture = interactive::StretchPicture(desktop, w, h); });
      const double reduce = Ms(rounds, [&] {
        PixelImage p = picture;
        interactive::ReduceToDepth(p, depth);
      });
      // The copy above is part of that figure; take it out.
      const double copy = Ms(rounds, [&] { PixelImage p = picture; });
      interactive::ReduceToDepth(picture, depth);
      const double jpeg = Ms(rounds, [&] { platform::EncodeJpeg(picture, 75); });
      const std::vector<unsigned char> rgb = Rgb(picture);
      const double alone = Ms(rounds, [&] { LibjpegAlone(rgb, w, h); });
      std::size_t gif_size = 0, ref_size = 0;
      const double gif = Ms(rounds, [&] {
        gif_size = platform::EncodeGif(interactive::QuantizeColors(picture)).size();
      });
      const double ref = Ms(rounds, [&] { ref_size = GiflibAlone(picture); });
      std::printf("%4dx%-5d %5u %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %9.2f %9.2f %8zu %8zu\n", w, h, depth,
                  stretch, std::max(0.0, reduce - copy), jpeg, alone, jpeg / alone, gif, ref, gif / ref,
                  gif_size, ref_size);
      if (w == 800 && depth == 24) stream_sum = stretch + jpeg;
    }
  }

  const platform::ScreenSource screen =
      xvfb ? platform::ScreenSource(platform::CapturePrimaryScreen) : platform::ScreenSource([&] { return desktop; });
  const double frame_ms =
      Ms(rounds, [&] { interactive::CaptureScreenJpeg(800, 600, 75, 24, screen); });
  const double fps = StreamFps(screen, frames);
  const double ideal = 1000.0 / (frame_ms + 10.0);
  std::printf("TV stream 800x600 JPEG q75, e_TVrefresh 10 ms, %d frames: %.1f fps; "
              "one frame %.2f ms (steps %.2f ms + copy) + 10 ms -> %.1f fps; ratio %.2f\n",
              frames, fps, frame_ms, stream_sum, ideal, fps / ideal);
  return 0;
}

// bench/pictures: the cost of one screen picture, step by step, at
// 1920 x 1080 -> 1920 x 1080 and -> 800 x 600, depth 24 and 8: the stretch,
// the depth reduction, the JPEG encode at quality 75 and the GIF (our median
// cut + giflib's encoder). Next to them, in the same run and on the same
// pixels: libjpeg alone (from a ready RGB buffer) and giflib with its own
// median cut (GifQuantizeBuffer).
//
// The screen copy, from an Xvfb of 1920 x 1080 showing the same desktop
// picture (when Xvfb is installed): the TV's copy (KeepScreenCopies on the
// thread) and the screenshot's (each copy opens the display anew) against
// XShmGetImage alone into a segment made once.
//
// Last, the TV stream over loopback at 800 x 600 and 1920 x 1080 JPEG: the
// station's "GET_TVSHOT" branch serving the frames, the office asking again
// e_TVrefresh = 10 ms (the settings dialog's least) after each frame came,
// against the sum of its steps each measured alone in the same run: the
// copy, the picture made from it (stretched, or made our pixels), the
// encode, the frame's bytes over loopback, the pause.
//
//   pictures [--frames N] [--quick]
//
// --quick: three rounds a step and five frames a stream, a few seconds in
// all: it shows the bench runs, not what it measures.
#include <gif_lib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csetjmp>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include <jpeglib.h>

#include "interactive/color_quantizer.h"
#include "interactive/pixel_depth.h"
#include "interactive/screen_pictures.h"
#include "platform/environment.h"
#include "platform/gif_encoder.h"
#include "platform/jpeg_encoder.h"
#include "platform/picture_stretch.h"
#include "platform/screen_capture.h"
#include "platform/tcp.h"
#include "protocol/session.h"
#include "station/screen_commands.h"
#include "xvfb_desktop.h"
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

struct Fps {
  double overall;  // frames / the stream's whole time
  double median;   // 1 / the median frame's time (request, frame, pause)
};

// Frames per second of "GET_TVSHOT" w x h JPEG q75 served by the station's
// branch over loopback, the office asking again `pause` after each frame.
Fps StreamFps(const platform::ScreenSource& screen, int w, int h, int frames, std::chrono::milliseconds pause) {
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
  const std::string request = "GET_TVSHOT\r\n" + std::to_string(w) + "\r\n" + std::to_string(h) + "\r\n24\r\n75";
  std::vector<double> times;
  const auto start = Clock::now();
  for (int i = 0; i < frames; ++i) {
    const auto frame_start = Clock::now();
    session.WriteLine(request);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(session.ReadNumberLine()));
    session.ReadBlock(frame.data(), frame.size());
    std::this_thread::sleep_for(pause);  // e_TVrefresh
    times.push_back(std::chrono::duration<double>(Clock::now() - frame_start).count());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  office.Disconnect();
  station.join();
  std::sort(times.begin(), times.end());
  return {frames / seconds, 1 / times[times.size() / 2]};
}

// Milliseconds a frame of `bytes` takes over loopback alone, the office's
// request lines included: the same session calls on a plain connection to a
// station that has the frame ready.
double TransferMs(std::size_t bytes, int rounds) {
  platform::TcpListener listener("127.0.0.1", 0);
  const std::vector<std::uint8_t> ready(bytes, 0x5A);
  std::thread station([&] {
    std::optional<platform::TcpConnection> c = listener.Accept(10000);
    if (!c) return;
    protocol::Session session(*c);
    try {
      while (session.ReadLine() == "GET_TVSHOT") {
        for (int i = 0; i < 4; ++i) session.ReadNumberLine();
        session.WriteNumberLine(static_cast<std::int64_t>(ready.size()));
        session.WriteBlock(ready.data(), ready.size());
      }
    } catch (const std::exception&) {
      // the office closed
    }
  });
  platform::TcpConnection office = platform::TcpConnection::Connect("127.0.0.1", listener.Port(), 10000);
  office.SetReadTimeout(10000);
  protocol::Session session(office);
  std::vector<std::uint8_t> frame;
  const double ms = Ms(rounds, [&] {
    session.WriteLine("GET_TVSHOT\r\n800\r\n600\r\n24\r\n75");
    frame.resize(static_cast<std::size_t>(session.ReadNumberLine()));
    session.ReadBlock(frame.data(), frame.size());
  });
  office.Disconnect();
  station.join();
  return ms;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 100;
  int rounds = 9;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
      frames = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--quick") == 0) {
      frames = 5;
      rounds = 3;
    } else {
      std::fprintf(stderr, "usage: pictures [--frames N] [--quick]\n");
      return 2;
    }
  }
  std::printf("load average at the start: %s\n", LoadAverage().c_str());
  const PixelImage desktop = Desktop(1920, 1080);

  // The screen: an Xvfb of 1920 x 1080 showing the desktop picture, or the
  // synthetic picture alone.
  std::unique_ptr<test::XvfbScreen> xvfb;
  std::unique_ptr<bench::XvfbDesktop> own;
  if (test::XvfbScreen::Installed()) {
    xvfb = std::make_unique<test::XvfbScreen>(1920, 1080, 24);
    platform::SetEnvironmentValue("DISPLAY", xvfb->display().c_str());
    own = std::make_unique<bench::XvfbDesktop>(xvfb->display());
    own->Show(desktop);
  }
  const platform::ScreenSource screen =
      xvfb ? platform::ScreenSource(platform::CapturePrimaryScreen) : platform::ScreenSource([&] { return desktop; });

  if (own) {
    // Interleaved, so the three meet the same machine.
    double alone = 0, kept = 0, fresh = 0;
    {
      // As the station's TV does it: the connection kept, the last copy's
      // storage given back for the next.
      const platform::KeepScreenCopies keep;
      PixelImage copy = platform::CapturePrimaryScreen().Whole();
      for (int i = 0; i < 3; ++i) {
        alone += Ms(rounds, [&] { own->CopyRoot(); }) / 3;
        kept += Ms(rounds, [&] {
                  platform::RecycleScreenCopy(std::move(copy));
                  copy = platform::CapturePrimaryScreen().Whole();
                }) / 3;
      }
    }
    for (int i = 0; i < 3; ++i) fresh += Ms(rounds, [] { platform::CapturePrimaryScreen(); }) / 3;
    std::printf("screen copy 1920x1080 (Xvfb, MIT-SHM): XShmGetImage alone %.2f ms; the TV's copy %.2f ms "
                "(ratio %.2f); a copy that opens the display anew (the screenshot's) %.2f ms\n",
                alone, kept, alone / kept, fresh);
  } else {
    std::printf("screen copy: no Xvfb, the screen is the synthetic picture\n");
  }

  std::printf("%-10s %5s %8s %8s %8s %8s %8s %8s %9s %9s %8s %8s\n", "target", "depth", "stretch",
              "depth", "jpeg", "libjpeg", "ratio", "gif", "giflibmc", "ratio", "gifB", "refB");
  // Sizes as plain ints: clang before 16 cannot capture structured bindings.
  for (const auto& size : {std::pair{1920, 1080}, std::pair{800, 600}}) {
    const int w = size.first, h = size.second;
    for (const std::uint32_t depth : {24u, 8u}) {
      PixelImage picture;
      const double stretch = Ms(rounds, [&] { picture = platform::StretchPicture(desktop, w, h); });
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
    }
  }

  // The TV stream against its steps, each alone. The station's copy keeps
  // its connection while the stream lasts (its listener thread holds a
  // KeepScreenCopies); so does this thread while it measures the copy.
  constexpr auto kPause = std::chrono::milliseconds(10);
  std::printf("TV stream, JPEG q75 depth 24, e_TVrefresh 10 ms, %d frames; steps alone in ms\n", frames);
  std::printf("%-10s %7s %7s %7s %8s %7s %7s %7s %8s %8s %8s %6s\n", "target", "copy", "picture", "jpeg",
              "transfer", "pause", "sum", "made", "ideal", "fps", "fps-med", "ratio");
  const platform::KeepScreenCopies keep;
  for (const auto& size : {std::pair{800, 600}, std::pair{1920, 1080}}) {
    const int w = size.first, h = size.second;
    // The copy (a kept X copy is a view of the server's pixels), then the
    // picture made from it at the size asked for: a stretch, or at the
    // screen's own size the pixels made ours. The second is timed with a
    // copy before each and that copy's time taken out.
    const double copy_ms = Ms(rounds, [&] { screen(); });
    PixelImage picture = screen().Picture(w, h);
    const double copy_and_picture_ms = Ms(rounds, [&] {
      platform::RecycleScreenCopy(std::move(picture));
      picture = screen().Picture(w, h);
    });
    const double picture_ms = std::max(0.0, copy_and_picture_ms - copy_ms);
    std::size_t bytes = 0;
    const double jpeg_ms = Ms(rounds, [&] { bytes = platform::EncodeJpeg(picture, 75).size(); });
    const double transfer_ms = TransferMs(bytes, rounds);
    const double pause_ms = Ms(rounds, [&] { std::this_thread::sleep_for(kPause); });
    const double made_ms = Ms(rounds, [&] { interactive::CaptureScreenJpeg(w, h, 75, 24, screen); });
    const double sum = copy_ms + picture_ms + jpeg_ms + transfer_ms + pause_ms;
    // The steps are medians, so the stream's ratio is its median frame's
    // against them; on a busy machine the overall rate pays the other
    // processes' time slices besides.
    const Fps fps = StreamFps(screen, w, h, frames, kPause);
    std::printf("%4dx%-5d %7.2f %7.2f %7.2f %8.2f %7.2f %7.2f %7.2f %8.1f %8.1f %8.1f %6.2f\n", w, h, copy_ms,
                picture_ms, jpeg_ms, transfer_ms, pause_ms, sum, made_ms, 1000.0 / sum, fps.overall, fps.median,
                fps.median * sum / 1000.0);
  }
  std::printf("load average at the end: %s\n", LoadAverage().c_str());
  return 0;
}

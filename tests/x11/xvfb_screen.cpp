#include "xvfb_screen.h"

#include <X11/Xlib.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/environment.h"

namespace pw::test {

namespace {

std::optional<std::string> FindXvfb() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / "Xvfb";
    std::error_code ignored;
    if (end > start && std::filesystem::is_regular_file(candidate, ignored)) return candidate.string();
    start = end + 1;
  }
  return std::nullopt;
}

// The display number Xvfb writes once it is ready: a line of digits among
// whatever else it prints on its error stream.
std::optional<std::string> DisplayNumber(const std::string& output) {
  std::size_t start = 0;
  for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = output.substr(start, end - start);
    bool digits = !line.empty();
    for (char c : line) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (digits) return line;
  }
  return std::nullopt;
}

}  // namespace

struct XvfbScreen::Connection {
  explicit Connection(Display* d) : display(d) {
    // A killed server leaves this connection broken: closing it then must
    // not end the test program, as Xlib would.
    XSetIOErrorExitHandler(display, [](Display*, void*) {}, nullptr);
  }
  ~Connection() { XCloseDisplay(display); }
  Display* display;
};

bool XvfbScreen::Installed() { return FindXvfb().has_value(); }

XvfbScreen::XvfbScreen(int width, int height, int depth, bool shared_memory) {
  const std::optional<std::string> xvfb = FindXvfb();
  if (!xvfb) throw std::runtime_error("Xvfb is not installed");
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
  std::vector<std::string> args{"-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp",
                                "-terminate", "-nocursor"};
  if (!shared_memory) args.insert(args.end(), {"-extension", "MIT-SHM"});
  server_ = std::make_unique<platform::ChildProcess>(*xvfb, args);
  std::string output;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::optional<std::string> number;
  while (!(number = DisplayNumber(output))) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - std::chrono::steady_clock::now());
    if (left.count() <= 0 || server_->OutputEnded())
      throw std::runtime_error("Xvfb did not come up: " + output);
    if (const std::optional<std::string> more = server_->ReadOutput(static_cast<int>(left.count()))) output += *more;
  }
  display_ = ":" + *number;
  Display* display = XOpenDisplay(display_.c_str());
  if (!display) throw std::runtime_error("cannot connect to Xvfb at " + display_);
  keeper_ = std::make_unique<Connection>(display);
}

XvfbScreen::~XvfbScreen() {
  keeper_.reset();  // the last client: the server ends by itself
  if (!server_->Wait(10000)) server_->Kill();
}

void XvfbScreen::Kill() { server_->Kill(); }

void XvfbScreen::DrawQuarters() {
  Display* d = keeper_->display;
  const int screen = DefaultScreen(d);
  const Window root = RootWindow(d, screen);
  const int w = DisplayWidth(d, screen), h = DisplayHeight(d, screen);
  // Drawn into a pixmap that becomes the root's background, so the picture
  // stays whatever exposes the root later.
  const Pixmap pixmap = XCreatePixmap(d, root, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                      static_cast<unsigned>(DefaultDepth(d, screen)));
  const GC gc = XCreateGC(d, pixmap, 0, nullptr);
  struct Quarter {
    int x, y;
    unsigned short r, g, b;
  };
  for (const Quarter& q : {Quarter{0, 0, 0xFFFF, 0, 0}, Quarter{w / 2, 0, 0, 0xFFFF, 0},
                           Quarter{0, h / 2, 0, 0, 0xFFFF}, Quarter{w / 2, h / 2, 0xFFFF, 0xFFFF, 0xFFFF}}) {
    XColor colour{};
    colour.red = q.r;
    colour.green = q.g;
    colour.blue = q.b;
    if (!XAllocColor(d, DefaultColormap(d, screen), &colour)) throw std::runtime_error("XAllocColor");
    XSetForeground(d, gc, colour.pixel);
    XFillRectangle(d, pixmap, gc, q.x, q.y, static_cast<unsigned>(w - w / 2), static_cast<unsigned>(h - h / 2));
  }
  XSetWindowBackgroundPixmap(d, root, pixmap);
  XClearWindow(d, root);
  XFreeGC(d, gc);
  XFreePixmap(d, pixmap);
  XSync(d, False);
}

ScopedDisplay::ScopedDisplay(const char* value) {
  if (const char* old = std::getenv("DISPLAY")) old_ = old;
  platform::SetEnvironmentValue("DISPLAY", value);
}

ScopedDisplay::~ScopedDisplay() { platform::SetEnvironmentValue("DISPLAY", old_ ? old_->c_str() : nullptr); }

}  // namespace pw::test

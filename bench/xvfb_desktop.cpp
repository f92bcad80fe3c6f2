#include "xvfb_desktop.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <stdexcept>

namespace pw::bench {

struct XvfbDesktop::X {
  Display* display = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo info{};
  bool attached = false;

  ~X() {
    if (attached) XShmDetach(display, &info);
    if (image) {
      image->data = nullptr;
      XDestroyImage(image);
    }
    if (info.shmaddr) shmdt(info.shmaddr);
    if (display) XCloseDisplay(display);
  }
  int Screen() const { return DefaultScreen(display); }
  Window Root() const { return RootWindow(display, Screen()); }
};

XvfbDesktop::XvfbDesktop(const std::string& name) : x_(std::make_unique<X>()) {
  X& x = *x_;
  x.display = XOpenDisplay(name.c_str());
  if (!x.display) throw std::runtime_error("cannot connect to " + name);
  if (!XShmQueryExtension(x.display)) throw std::runtime_error(name + " offers no shared memory");
  const int s = x.Screen();
  const auto w = static_cast<unsigned>(DisplayWidth(x.display, s));
  const auto h = static_cast<unsigned>(DisplayHeight(x.display, s));
  x.image = XShmCreateImage(x.display, DefaultVisual(x.display, s), static_cast<unsigned>(DefaultDepth(x.display, s)),
                            ZPixmap, nullptr, &x.info, w, h);
  if (!x.image) throw std::runtime_error("XShmCreateImage failed");
  x.info.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(x.image->bytes_per_line) * h, IPC_CREAT | 0600);
  if (x.info.shmid < 0) throw std::runtime_error("shmget failed");
  void* address = shmat(x.info.shmid, nullptr, 0);
  shmctl(x.info.shmid, IPC_RMID, nullptr);
  if (address == reinterpret_cast<void*>(-1)) throw std::runtime_error("shmat failed");
  x.info.shmaddr = x.image->data = static_cast<char*>(address);
  x.info.readOnly = False;
  x.attached = XShmAttach(x.display, &x.info);
  XSync(x.display, False);
  if (!x.attached) throw std::runtime_error("XShmAttach failed");
  CopyRoot();  // the segment's pages are touched once before anything is timed
}

XvfbDesktop::~XvfbDesktop() = default;

void XvfbDesktop::Show(const platform::PixelImage& picture) {
  X& x = *x_;
  const int s = x.Screen();
  if (DefaultDepth(x.display, s) != 24 || x.image->bits_per_pixel != 32)
    throw std::runtime_error("the bench's desktop wants a 24-bit screen");
  const auto w = static_cast<unsigned>(picture.width), h = static_cast<unsigned>(picture.height);
  // Drawn into a pixmap that becomes the root's background, so it stays.
  const Pixmap pixmap = XCreatePixmap(x.display, x.Root(), w, h, 24);
  XImage* image = XCreateImage(x.display, DefaultVisual(x.display, s), 24, ZPixmap, 0,
                               reinterpret_cast<char*>(const_cast<std::uint32_t*>(picture.pixels.data())), w, h,
                               32, 0);
  const GC gc = XCreateGC(x.display, pixmap, 0, nullptr);
  XPutImage(x.display, pixmap, gc, image, 0, 0, 0, 0, w, h);
  image->data = nullptr;
  XDestroyImage(image);
  XFreeGC(x.display, gc);
  XSetWindowBackgroundPixmap(x.display, x.Root(), pixmap);
  XClearWindow(x.display, x.Root());
  XFreePixmap(x.display, pixmap);
  XSync(x.display, False);
}

void XvfbDesktop::CopyRoot() {
  // Waits for the server's reply itself.
  if (!XShmGetImage(x_->display, x_->Root(), x_->image, 0, 0, AllPlanes))
    throw std::runtime_error("XShmGetImage failed");
}

}  // namespace pw::bench

#include "platform/screen_capture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/picture_stretch.h"
#include "platform/screen_copy.h"
#include "sync/mutex.h"
#include "platform/posix/x11_display.h"

namespace pw::platform {

namespace {

struct DestroyImage {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using ImagePtr = std::unique_ptr<XImage, DestroyImage>;

// One colour channel of a true-colour pixel, widened to 8 bits.
class Channel {
 public:
  explicit Channel(unsigned long mask)
      : shift_(mask ? std::countr_zero(mask) : 0), bits_(std::popcount(mask)) {
    const unsigned long max = bits_ ? (mask >> shift_) : 0;
    if (bits_ <= 8)
      for (unsigned long v = 0; v <= max; ++v) widen_[v] = static_cast<std::uint8_t>(max ? (v * 255 + max / 2) / max : 0);
  }
  std::uint32_t operator()(unsigned long pixel) const {
    const unsigned long v = (pixel >> shift_) & ((1ul << bits_) - 1);
    return bits_ <= 8 ? widen_[v] : static_cast<std::uint32_t>(v >> (bits_ - 8));
  }

 private:
  int shift_;
  int bits_;
  std::uint8_t widen_[256] = {};
};

// Whether the server's pixels are ours but for the top byte: 32 bits,
// 0x??RRGGBB in this machine's order, rows of whole pixels.
bool OursButTheTopByte(const XImage& image, const Visual& visual) {
  return image.bits_per_pixel == 32 && image.byte_order == LSBFirst && visual.red_mask == 0xFF0000 &&
         visual.green_mask == 0xFF00 && visual.blue_mask == 0xFF && image.bytes_per_line % 4 == 0 &&
         std::endian::native == std::endian::little;
}

PixelRows RowsOf(const XImage& image) {
  return {image.width, image.height, reinterpret_cast<const std::uint32_t*>(image.data),
          static_cast<std::size_t>(image.bytes_per_line) / 4};
}

// The screen copy as 0x00RRGGBB, whatever the server's pixel layout, into
// out (its storage reused when it is large enough).
void ToPixels(const XImage& image, const Visual& visual, PixelImage& out) {
  if (OursButTheTopByte(image, visual)) {
    StretchPixels(RowsOf(image), image.width, image.height, out);
    return;
  }
  out.width = image.width;
  out.height = image.height;
  out.pixels.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  const int bytes = image.bits_per_pixel / 8;
  if (image.bits_per_pixel % 8 != 0 || bytes < 2 || bytes > 4)
    throw Error("screen copy: unsupported pixel size " + std::to_string(image.bits_per_pixel));
  const bool msb = image.byte_order == MSBFirst;
  const Channel r(visual.red_mask), g(visual.green_mask), b(visual.blue_mask);
  std::uint32_t* to = out.pixels.data();
  for (int y = 0; y < image.height; ++y) {
    const auto* row = reinterpret_cast<const std::uint8_t*>(image.data) +
                      static_cast<std::size_t>(y) * static_cast<std::size_t>(image.bytes_per_line);
    for (int x = 0; x < image.width; ++x, row += bytes) {
      unsigned long pixel = 0;
      for (int i = 0; i < bytes; ++i)
        pixel |= static_cast<unsigned long>(row[msb ? i : bytes - 1 - i]) << (8 * (bytes - 1 - i));
      *to++ = r(pixel) << 16 | g(pixel) << 8 | b(pixel);
    }
  }
}

// Shared memory the server writes the copy into: one transfer instead of
// the whole picture through the socket.
class SharedImage {
 public:
  // Nothing (ok() false) when the server offers no shared memory or cannot
  // attach this segment (a server on another machine).
  SharedImage(x11::Display& display, Visual* visual, int depth, int width, int height)
      : display_(display) {
    if (!XShmQueryExtension(display.get())) return;
    image_.reset(XShmCreateImage(display.get(), visual, static_cast<unsigned>(depth), ZPixmap, nullptr,
                                 &info_, static_cast<unsigned>(width), static_cast<unsigned>(height)));
    if (!image_) return;
    const std::size_t size = static_cast<std::size_t>(image_->bytes_per_line) * static_cast<std::size_t>(height);
    info_.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (info_.shmid < 0) return;
    void* address = shmat(info_.shmid, nullptr, 0);
    // Marked for removal at once: the segment goes when both sides detach,
    // even if this process ends first.
    shmctl(info_.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1)) return;
    info_.shmaddr = image_->data = static_cast<char*>(address);
    info_.readOnly = False;
    display.SyncAndTakeError();
    attached_ = XShmAttach(display.get(), &info_) && display.SyncAndTakeError() == Success;
  }
  ~SharedImage() {
    if (attached_) {
      XShmDetach(display_.get(), &info_);
      display_.SyncAndTakeError();
    }
    if (image_) image_->data = nullptr;  // not XDestroyImage's to free
    if (info_.shmaddr) shmdt(info_.shmaddr);
  }
  SharedImage(const SharedImage&) = delete;
  SharedImage& operator=(const SharedImage&) = delete;

  bool ok() const { return attached_; }
  // False when the server refused the copy. XShmGetImage waits for its
  // reply, an error included: no round trip more to learn it.
  bool Copy(Window root) {
    return XShmGetImage(display_.get(), root, image_.get(), 0, 0, AllPlanes) && display_.TakeError() == Success;
  }
  const XImage& image() const { return *image_; }

 private:
  x11::Display& display_;
  XShmSegmentInfo info_{};
  ImagePtr image_;
  bool attached_ = false;
};

// A display connection and its shared segment, made for one copy or kept
// for the copies of one thread while a KeepScreenCopies lives on it.
class Copier {
 public:
  Copier()
      : name_(DisplayName()),
        visual_(DefaultVisual(display_.get(), display_.screen())),
        depth_(DefaultDepth(display_.get(), display_.screen())),
        width_(display_.width()),
        height_(display_.height()) {
    if (visual_->c_class != TrueColor && visual_->c_class != DirectColor)
      throw Error("screen copy: the display is not true colour (depth " + std::to_string(depth_) + ")");
  }

  // Whether this copier still serves DISPLAY as it is now.
  bool Serves() const { return !display_.broken() && name_ == DisplayName(); }

  // The whole screen: with view set, a view of the shared segment where
  // its pixels allow (good until this copier copies again or goes);
  // otherwise our pixels, in storage. storage is taken only by a copy
  // made: a failed one leaves it for the next.
  ScreenCopy Copy(std::vector<std::uint32_t>& storage, const std::uint64_t* view) {
    // A kept copier outlives a change of the screen's resolution: from its
    // second second on it asks the root's size once a second (a round trip,
    // as the copy itself is one), not at every copy.
    const auto now = std::chrono::steady_clock::now();
    if (next_size_check_ == std::chrono::steady_clock::time_point{}) {
      next_size_check_ = now + std::chrono::seconds(1);
    } else if (now >= next_size_check_) {
      RootSize(width_, height_);
      next_size_check_ = now + std::chrono::seconds(1);
    }
    const int width = width_;
    const int height = height_;
    if (shared_ && (shared_->image().width != width || shared_->image().height != height)) {
      shared_.reset();
      shared_tried_ = false;
    }
    if (!shared_tried_) {
      shared_tried_ = true;
      shared_ = std::make_unique<SharedImage>(display_, visual_, depth_, width, height);
      if (!shared_->ok()) shared_.reset();
    }
    PixelImage out;
    if (shared_ && shared_->Copy(display_.root())) {
      if (view != nullptr && OursButTheTopByte(shared_->image(), *visual_))
        return ScreenCopy(RowsOf(shared_->image()), view, std::move(storage));
      out.pixels = std::move(storage);
      ToPixels(shared_->image(), *visual_, out);
      return ScreenCopy(std::move(out));
    }

    ImagePtr image(XGetImage(display_.get(), display_.root(), 0, 0, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), AllPlanes, ZPixmap));
    const int error = display_.SyncAndTakeError();
    if (display_.broken()) throw Error("screen copy: the connection to the X server broke");
    if (!image || error != Success)
      throw Error("screen copy: XGetImage failed (X error " + std::to_string(error) + ")");
    out.pixels = std::move(storage);
    ToPixels(*image, *visual_, out);
    return ScreenCopy(std::move(out));
  }

 private:
  void RootSize(int& width, int& height) {
    Window root;
    int x, y;
    unsigned w, h, border, depth;
    if (!XGetGeometry(display_.get(), display_.root(), &root, &x, &y, &w, &h, &border, &depth) ||
        display_.broken())
      throw Error("screen copy: the connection to the X server broke");
    width = static_cast<int>(w);
    height = static_cast<int>(h);
  }

  static std::string DisplayName() {
    const char* name = std::getenv("DISPLAY");
    return name ? name : "";
  }

  std::string name_;
  x11::Display display_;
  Visual* visual_;
  int depth_;
  int width_;  // the root's size when last asked
  int height_;
  std::chrono::steady_clock::time_point next_size_check_{};
  bool shared_tried_ = false;
  std::unique_ptr<SharedImage> shared_;  // declared after display_: detached before it closes
};

// One copy at a time in the process, the opening and closing of kept ones
// included: the X extension library keeps a list per display that other
// threads' opens and closes would change under it (it locks only after
// XInitThreads, which must come before any other Xlib call a host may
// already have made).
Mutex& OneAtATime() {
  static Mutex mutex;
  return mutex;
}

// The copier kept for this thread while a KeepScreenCopies lives on it,
// and the storage of a copy given back for the next.
struct Kept {
  std::unique_ptr<Copier> copier;
  std::vector<std::uint32_t> spare;
};
thread_local Kept* kept = nullptr;
// Moved on by every copy on this thread and by the end of its kept copier:
// a view of a kept segment is good while it stands where the view found it.
thread_local std::uint64_t copies_made = 0;

}  // namespace

KeepScreenCopies::KeepScreenCopies() : outer_(kept != nullptr) {
  if (!outer_) kept = new Kept;
}

KeepScreenCopies::~KeepScreenCopies() {
  if (outer_) return;
  const MutexLock lock(OneAtATime());
  ++copies_made;
  delete kept;
  kept = nullptr;
}

ScreenCopy CapturePrimaryScreen() {
  const MutexLock lock(OneAtATime());
  ++copies_made;
  if (kept == nullptr) {
    std::vector<std::uint32_t> storage;
    return Copier().Copy(storage, nullptr);
  }
  // A kept copier whose server went away, or that failed, is dropped and
  // the copy made once more on a new connection: the server may have been
  // restarted under the same name, or DISPLAY changed.
  if (kept->copier && kept->copier->Serves()) {
    try {
      return kept->copier->Copy(kept->spare, &copies_made);
    } catch (const Error&) {
    }
  }
  kept->copier.reset();
  kept->copier = std::make_unique<Copier>();
  return kept->copier->Copy(kept->spare, &copies_made);
}

void RecycleScreenCopy(PixelImage&& copy) {
  if (kept != nullptr && copy.pixels.capacity() > kept->spare.capacity()) kept->spare = std::move(copy.pixels);
}

}  // namespace pw::platform

#include "host/picture_files.h"

#include <set>

#include "host/window_printer.h"
#include "platform/files.h"
#include "ui/controls.h"
#include "ui/window.h"

namespace pw::host {

namespace {

void PutLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The window's control name when it is a T.
template <class T>
const T* ControlOfType(const ui::Window& window, const char* name) {
  return dynamic_cast<const T*>(window.FindControl(name));
}

}  // namespace

std::string BmpBytes(const ui::Bitmap& picture) {
  const std::uint32_t w = picture.empty() ? 0 : static_cast<std::uint32_t>(picture.width);
  const std::uint32_t h = picture.empty() ? 0 : static_cast<std::uint32_t>(picture.height);
  const std::uint32_t row = (w * 3 + 3) / 4 * 4;
  const std::uint32_t data = row * h;
  std::string out = "BM";
  PutLe(out, 54 + data, 4);
  PutLe(out, 0, 4);
  PutLe(out, 54, 4);   // where the pixels start
  PutLe(out, 40, 4);   // BITMAPINFOHEADER
  PutLe(out, w, 4);
  PutLe(out, h, 4);    // positive: rows from the bottom
  PutLe(out, 1, 2);    // planes
  PutLe(out, 24, 2);   // bits per pixel
  PutLe(out, 0, 4);    // no compression
  PutLe(out, data, 4);
  PutLe(out, 2835, 4);  // 72 dpi
  PutLe(out, 2835, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  for (std::uint32_t y = h; y-- > 0;) {
    const std::size_t start = out.size();
    for (std::uint32_t x = 0; x < w; ++x) PutLe(out, picture.pixels[y * w + x], 3);  // B, G, R
    out.append(row - (out.size() - start), '\0');
  }
  return out;
}

PictureFiles::PictureFiles(std::string folder) : folder_(std::move(folder)) {}

std::string PictureFiles::Save(const std::string& file_name, const ui::Bitmap& picture) {
  platform::CreateDirectories(folder_);
  const std::string path = folder_ + file_name;
  platform::WriteFileReplacing(path, BmpBytes(picture));
  return path;
}

std::vector<std::string> PictureFiles::ModalShown(const ui::Window& window) {
  const auto* image = ControlOfType<ui::Image>(window, "Image1");
  if (image == nullptr) return {};
  const ui::Bitmap& picture = image->picture;
  const std::string path = Save("screenshot-" + std::to_string(++screenshots_) + ".bmp", picture);
  return {"screenshot: \"" + Printable(window.caption) + "\" " + std::to_string(picture.width) + "x" +
          std::to_string(picture.height) + " -> " + Printable(path)};
}

std::vector<std::string> PictureFiles::LookAtViewers() {
  std::vector<std::string> lines;
  std::set<std::string> present;
  for (const ui::Window* w : ui::AllWindows()) {
    if (w->class_name() != "TTVForm") continue;
    const auto* img = ControlOfType<ui::PaintBox>(*w, "img");
    const ui::Control* info = w->FindControl("lbInfo");
    if (img == nullptr || info == nullptr) continue;
    present.insert(w->name);
    Seen& seen = viewers_[w->name];
    const bool new_frame = img->paint_count() != seen.paint_count;
    if (!new_frame && seen.caption == w->caption && seen.info == info->caption) continue;
    const ui::Bitmap& canvas = img->canvas();
    std::string line = "tv: " + w->name + " \"" + Printable(w->caption) + "\" " +
                       std::to_string(canvas.width) + "x" + std::to_string(canvas.height) + " | " +
                       Printable(info->caption);
    if (new_frame) line += " -> " + Printable(Save(w->name + ".bmp", canvas));
    lines.push_back(line);
    seen = {img->paint_count(), w->caption, info->caption};
  }
  for (auto it = viewers_.begin(); it != viewers_.end();) {
    if (present.count(it->first) != 0) {
      ++it;
      continue;
    }
    lines.push_back("tv: " + it->first + " gone");
    it = viewers_.erase(it);
  }
  return lines;
}

}  // namespace pw::host

// What pumpwire-host keeps of the plug-in's picture viewers so a person can
// look at them: the screenshot viewer's picture and each TV viewer's latest
// frame, as BMP files under DIR/host/pictures/, and a line for each.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pw::ui {
class Window;
struct Bitmap;
}  // namespace pw::ui

namespace pw::host {

// The bitmap as a 24-bit BMP file's bytes.
std::string BmpBytes(const ui::Bitmap& picture);

class PictureFiles {
 public:
  // folder: DIR/host/pictures/ (Windows-1251, ends in the separator); made
  // at the first picture.
  explicit PictureFiles(std::string folder);

  // Main thread, for each modal window as it is shown. A screenshot viewer
  // (a window with the picture control Image1) is saved as
  // screenshot-N.bmp; returns the line
  //   screenshot: "CAPTION" WxH -> PATH
  // or nothing for other windows.
  std::vector<std::string> ModalShown(const ui::Window& window);

  // Main thread, after every task: each TV viewer (class TTVForm) whose
  // caption, frame or statistics changed since the last look gives the line
  // (WxH: the size of its paint area's picture)
  //   tv: NAME "CAPTION" WxH | STATISTICS [-> PATH]
  // with the path when a new frame was drawn (saved as NAME.bmp, replacing
  // the previous frame), and a viewer that is gone gives "tv: NAME gone".
  std::vector<std::string> LookAtViewers();

 private:
  std::string Save(const std::string& file_name, const ui::Bitmap& picture);

  struct Seen {
    std::uint64_t paint_count = 0;
    std::string caption, info;
  };
  std::string folder_;
  int screenshots_ = 0;
  std::map<std::string, Seen> viewers_;  // by window name
};

}  // namespace pw::host

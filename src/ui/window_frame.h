// The room a window's frame, caption and menu bar take around its client
// area, as the designed windows were measured at 96 dpi: the models keep
// their outer size and client size in step with these.
#pragma once

namespace pw::ui {

struct WindowFrame {
  int border;   // on every side
  int caption;  // the caption bar's height

  constexpr int OuterWidth(int client_width) const { return client_width + 2 * border; }
  constexpr int OuterHeight(int client_height, int menu_bar = 0) const {
    return client_height + caption + menu_bar + 2 * border;
  }
  constexpr int ClientWidth(int outer_width) const { return outer_width - 2 * border; }
  constexpr int ClientHeight(int outer_height, int menu_bar = 0) const {
    return outer_height - caption - menu_bar - 2 * border;
  }
};

// A tool window: a thin caption over a fixed frame.
inline constexpr WindowFrame kToolWindowFrame{3, 17};
// A fixed single frame or a dialog frame under a full caption.
inline constexpr WindowFrame kFixedFrame{3, 19};
// A frame the operator can drag, under a full caption.
inline constexpr WindowFrame kSizeableFrame{4, 19};
// A window's menu bar, one line.
inline constexpr int kMenuBarHeight = 19;

}  // namespace pw::ui

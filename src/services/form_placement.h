// Keeps a window's position and size between runs, in the file
// PumpwirePlacement.INI beside cnf.INI: one section per window, named by the
// window's component name (or its class when it has none), with the keys
// Left, Top, Width and Height.
#pragma once

namespace pw {
namespace ui {
class Window;
}

// Writes the window's place. Raises pw::Error when the file cannot be written.
void SavePlacement(const ui::Window& window);
// Puts the window where it was saved; a window never saved stays as it is.
void RestorePlacement(ui::Window& window);

// The same for the dialogs, where the placement only spares the operator
// moving the window again: a placement file that cannot be read or written
// is passed over.
void TrySavePlacement(const ui::Window& window) noexcept;
void TryRestorePlacement(ui::Window& window) noexcept;

}  // namespace pw

// The build for an OS without a renderer: the headless windows stay.
#include "renderer/native_ui.h"

namespace pw::renderer {

std::unique_ptr<NativeUi> InstallNativeUi(std::uint32_t) { return nullptr; }

}  // namespace pw::renderer

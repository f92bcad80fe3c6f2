#include "platform/screen.h"

namespace pw::platform {

ScreenSize PrimaryScreenSize() { return {1280, 1024}; }

}  // namespace pw::platform

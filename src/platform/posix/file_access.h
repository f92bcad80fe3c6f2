// The way the other POSIX files reach the descriptor of an open file (the
// socket sends a file's bytes straight from the kernel's cache).
#pragma once

#include "platform/files.h"

namespace pw::platform {

struct FileAccess {
  static int Descriptor(ReadableFile& file);
};

}  // namespace pw::platform

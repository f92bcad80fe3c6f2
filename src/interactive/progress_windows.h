// Progress windows for the body transfers: the factory the transfer sites
// hand to the body framing.
#pragma once

#include "protocol/body_transfer.h"

namespace pw::interactive {

// Each call opens a TProgressForm on the main thread for one transfer.
protocol::ProgressFactory ProgressWindows();

}  // namespace pw::interactive

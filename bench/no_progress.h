// Transfers without a progress window, for benchmarks that move bodies off
// any main thread.
#pragma once

#include <memory>

#include "protocol/body_transfer.h"

namespace pw::bench {

class NoProgress : public protocol::TransferProgress {
 public:
  void Step(std::int32_t) override {}
  bool StopRequested() const override { return false; }
  bool TakeStop() override { return false; }
};

inline protocol::ProgressFactory NoWindows() {
  return [](const std::string&, std::int32_t,
            std::int32_t) -> std::unique_ptr<protocol::TransferProgress> {
    return std::make_unique<NoProgress>();
  };
}

}  // namespace pw::bench

#include "interactive/progress_windows.h"

#include "interactive/progress_form.h"

namespace pw::interactive {

namespace {

class WindowProgress : public protocol::TransferProgress {
 public:
  WindowProgress(const std::string& caption, std::int32_t total_bytes, std::int32_t total_packets)
      : window_(caption, total_bytes, total_packets) {}
  void Step(std::int32_t packets_done) override { window_.Step(packets_done); }
  bool StopRequested() const override { return window_.Cancelled(); }
  bool TakeStop() override { return window_.TakeStop(); }

 private:
  ProgressWindow window_;
};

}  // namespace

protocol::ProgressFactory ProgressWindows() {
  return [](const std::string& caption, std::int32_t total_bytes, std::int32_t total_packets)
             -> std::unique_ptr<protocol::TransferProgress> {
    return std::make_unique<WindowProgress>(caption, total_bytes, total_packets);
  };
}

}  // namespace pw::interactive

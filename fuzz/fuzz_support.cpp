#include "fuzz_support.h"

#include <exception>
#include <filesystem>
#include <string>

#include "services/folders.h"

namespace pw::fuzz {

namespace {

class NoWindow : public protocol::TransferProgress {
 public:
  void Step(std::int32_t) override {}
  bool StopRequested() const override { return false; }
  bool TakeStop() override { return false; }
};

}  // namespace

WireContext QuietWire() {
  WireContext wire;
  wire.log = [](std::string_view, ui::ListBox*) {};
  wire.ask = [](const ui::BoxRequest&) { return ui::Answer::Yes; };
  wire.switch_transfer_mode = [](bool) {};
  wire.settings.ReadTimeOut = 100;
  wire.settings.ConnectTimeOut = 100;
  wire.settings.ZaprosTimeOut = 100;
  return wire;
}

protocol::ProgressFactory NoProgress() {
  return [](const std::string&, std::int32_t, std::int32_t) -> std::unique_ptr<protocol::TransferProgress> {
    return std::make_unique<NoWindow>();
  };
}

PeerDrain::PeerDrain(platform::TcpConnection& peer)
    : thread_([&peer] {
        char buffer[4096];
        try {
          for (;;) peer.ReadSome(buffer, sizeof buffer);
        } catch (const std::exception&) {
          // Closed: all read.
        }
      }) {}

const std::string& ScratchFolder() {
  // Under the installation folder (PUMPWIRE_ROOT, which scripts/fuzz.sh sets
  // to a folder of each target's own).
  static const std::string folder = [] {
    const std::string path = CurrentFolders().root + "fuzz-scratch/";
    std::filesystem::create_directories(path);
    return path;
  }();
  return folder;
}

void ClearScratchFolder() {
  std::error_code ignored;
  const std::filesystem::path scratch = std::filesystem::path(ScratchFolder()).parent_path();
  for (const auto& entry : std::filesystem::directory_iterator(scratch.parent_path(), ignored))
    if (entry.path().filename() != scratch.filename() && entry.path().filename() != "LogFiles")
      __builtin_trap();
  for (const auto& entry : std::filesystem::directory_iterator(ScratchFolder(), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
}

void ServeAsListener(std::string_view peer_bytes, const protocol::ListenerSide& side,
                     const std::vector<protocol::Command>& commands) {
  auto [end, peer] = platform::ConnectionPairAfterSending(peer_bytes);
  end.SetReadTimeout(1000);  // the bytes are all there: never reached
  PeerDrain drain(peer);
  protocol::Session session(end);
  try {
    if (protocol::ListenerHandshake(session, side).accepted) protocol::ServeCommands(session, commands);
  } catch (const std::exception&) {
    // As the listener: an error ends this connection only.
  }
  end.Disconnect();  // ends the drain
  ClearScratchFolder();
}

}  // namespace pw::fuzz

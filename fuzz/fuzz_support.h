// What the fuzz programs share: a quiet context for the wire (no log file, no
// operator), progress that is never shown, a scratch folder of the program's
// own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/connection_pair.h"
#include "protocol/body_transfer.h"
#include "protocol/command_loop.h"
#include "protocol/handshake.h"
#include "services/wire_context.h"

namespace pw::fuzz {

// A peer never sends more than this in one run: it fits the pair's buffer,
// so the bytes are all there before the code under test reads.
inline constexpr std::size_t kMaxPeerBytes = 60 * 1024;

// Log lines dropped, every question answered Yes (so the handlers' yes
// branches run), short read limits, passwords off.
WireContext QuietWire();

// Transfer progress that counts nothing and never stops a transfer.
protocol::ProgressFactory NoProgress();

// A folder for the files a run stores, made on first use, with a separator
// at its end.
const std::string& ScratchFolder();
// Empties the scratch folder (files a run has stored), and stops the
// program (a finding) when a run stored anything beside it: a received
// file's name that climbed out of its folder.
void ClearScratchFolder();

// Reads and drops what the code under test writes to peer, on a thread of
// its own, so that a big reply never waits for a reader. The end the code
// uses must be disconnected before this is destroyed (that ends the
// thread's reads).
class PeerDrain {
 public:
  explicit PeerDrain(platform::TcpConnection& peer);
  ~PeerDrain() { thread_.join(); }
  PeerDrain(const PeerDrain&) = delete;
  PeerDrain& operator=(const PeerDrain&) = delete;

 private:
  std::thread thread_;
};

// One accepted connection whose peer sent peer_bytes and closed its side:
// the listener's handshake, then its command loop, as a listener runs them
// (an error ends the connection only); then the scratch folder is emptied.
void ServeAsListener(std::string_view peer_bytes, const protocol::ListenerSide& side,
                     const std::vector<protocol::Command>& commands);

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace pw::fuzz

// One TCP session between a station and the office: the wire elements (line,
// number line, int4, block) over a connection. A session opened here
// (outgoing) owns its connection and reads with the ReadTimeOut limit, a
// timed-out line read yielding an empty line; a session over an accepted
// connection (incoming) reads without a limit of its own.
//
// One thread uses a session at a time; Disconnect may come from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/tcp.h"
#include "sync/mutex.h"
#include "sync/thread_annotations.h"

namespace pw::protocol {

// A reader takes at most this many bytes before the LF.
inline constexpr std::size_t kMaxLineLength = 16384;

class Session {
 public:
  // Not connected yet; Connect opens it.
  Session() = default;
  // Over an accepted connection, which the caller keeps alive.
  explicit Session(platform::TcpConnection& accepted) : connection_(&accepted) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool outgoing() const { return connection_ == &owned_; }

  // Opens the outgoing connection. connect_timeout_ms <= 0: no limit.
  // Raises pw::Error when no connection can be made.
  void Connect(const std::string& host, int port, int connect_timeout_ms)
      LOCKS_EXCLUDED(stop_mu_);
  // ReadTimeOut of the outgoing session: 0 or -1 = no limit.
  void SetReadTimeout(int ms);
  bool Connected();
  void Disconnect() noexcept LOCKS_EXCLUDED(stop_mu_);
  // Ends the session for good, from any thread: closes it now, and closes
  // a connection that a Connect under way makes as soon as it is made, so
  // the owner's next read fails at once.
  void Cancel() noexcept LOCKS_EXCLUDED(stop_mu_);

  void WriteLine(std::string_view text);
  // The next line without its CR LF (one CR right before the LF is dropped).
  // A read that times out keeps the part of the line already received for
  // the next read; an outgoing session then yields "", an incoming one
  // raises ReadTimeout. Raises "Max line length exceeded." past
  // kMaxLineLength bytes, ConnectionClosed when the peer closes.
  std::string ReadLine();
  // A line holding a signed 32-bit decimal integer and nothing else; any
  // other line raises.
  std::int32_t ReadNumberLine();
  void WriteNumberLine(std::int64_t value) { WriteLine(std::to_string(value)); }

  // Big-endian signed 32-bit.
  void WriteInt4(std::int32_t value);
  std::int32_t ReadInt4();

  // Exactly n raw bytes; a read that waits past the limit raises "Read Timeout".
  void WriteBlock(const void* data, std::size_t n);
  void ReadBlock(void* data, std::size_t n);
  // count bytes of file from offset, straight from the file where the OS
  // can; returns the bytes sent, fewer only when the file ends first.
  std::size_t SendFileRange(platform::ReadableFile& file, std::uint64_t offset, std::size_t count) {
    return connection_->SendFromFile(file, offset, count);
  }

  // True as soon as data can be read, false when ms pass first.
  bool WaitReadable(int ms);

  // One limit for all reads from now on (see TcpConnection::SetDeadline);
  // 0 clears it.
  void SetDeadline(int ms) { connection_->SetDeadline(ms); }
  // Waits ms reading nothing; false as soon as the session is disconnected.
  bool Pause(int ms) { return connection_->Pause(ms); }

  std::string PeerIP() const { return connection_->PeerAddress(); }
  const std::string& host() const { return host_; }

  // The name the other end told in this session's handshake (at the office,
  // the station's name line); "" before it, or when it told none.
  const std::string& peer_name() const { return peer_name_; }
  void set_peer_name(std::string name) { peer_name_ = std::move(name); }

 private:
  // Connect replaces owned_ and sets connection_ under stop_mu_, as
  // Disconnect and Cancel, which other threads may call, read them under it;
  // the owner's reads and writes need no lock, as only the owner writes
  // them. So the two are not GUARDED_BY: the owner's lock-free reads are
  // sound, and the analysis cannot tell the owner's thread from another.
  Mutex stop_mu_;
  platform::TcpConnection owned_;
  platform::TcpConnection* connection_ = &owned_;
  std::atomic<bool> cancelled_{false};
  std::string host_;
  std::string peer_name_;
};

// Strict conversion of a number line; raises pw::Error for anything that is
// not a signed 32-bit decimal integer.
std::int32_t ParseNumberLine(const std::string& line);

}  // namespace pw::protocol

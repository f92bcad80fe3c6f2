// TCP stream sockets: an outgoing connection with connect and read time
// limits, a listening server with one thread per accepted connection, and the
// machine's own addresses and name.
//
// Failures raise pw::Error whose text names the call and its subject
// ("connect 10.0.0.5:6090: Connection refused") and whose kind says what
// happened: kRefused, kTimeout (a connect or read past its limit), kClosed
// (reset, broken, not connected), kOther. Two failures of a read have
// their own types, so a caller can tell them from the rest:
//
//   ReadTimeout       "Read Timeout"                   no data within the read limit
//   ConnectionClosed  "Connection Closed Gracefully."  the peer closed, or this end did
//
// Time limits are in milliseconds; 0 or a negative value means no limit,
// unless a method says otherwise. Addresses are IPv4 dotted text.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "sync/mutex.h"
#include "sync/thread_annotations.h"

namespace pw::platform {

// Keep-alive of every accepted connection: a peer silent this long is
// probed at this interval, and after this many probes go unanswered the
// connection fails, so a station whose line died costs its thread minutes
// rather than the system's default two hours. (Windows before 10 fixes the
// count itself: 5 or 10.)
inline constexpr int kKeepAliveIdleS = 60;
inline constexpr int kKeepAliveIntervalS = 10;
inline constexpr int kKeepAliveProbes = 6;

class ReadTimeout : public Error {
 public:
  ReadTimeout() : Error("Read Timeout", ErrorKind::kTimeout) {}
};

class ConnectionClosed : public Error {
 public:
  ConnectionClosed() : Error("Connection Closed Gracefully.", ErrorKind::kClosed) {}
};

// One connected socket. Move-only; the socket is closed when the object is
// destroyed.
//
// Threads: one thread owns a connection and makes every call on it, except
// Disconnect, PeerAddress, PeerPort, LocalAddress and LocalPort, which any
// thread may call at any time; Disconnect is how another thread ends a read
// or write that is waiting. Moving is the owner's, and only while no other
// thread holds a reference.
//
// Reads go through a receive buffer: ReadByte and small ReadSome calls are
// served from it, and a ReadSome of at least kBufferSize bytes with the
// buffer empty goes straight to the caller's memory, so a bulk body costs
// no extra copy.
class TcpConnection {
 public:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  // A connection that is not connected: reads raise ConnectionClosed,
  // writes raise "Not Connected.".
  TcpConnection() noexcept;
  ~TcpConnection();
  TcpConnection(TcpConnection&& other) noexcept;
  TcpConnection& operator=(TcpConnection&& other) noexcept;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // Opens a connection to host (dotted address or name) at port, giving up
  // after connect_timeout_ms (no limit: 0 or negative; the time spent
  // resolving a name is not limited). Raises pw::Error when no connection
  // can be made: the name does not resolve, the peer refuses, the time is
  // up ("Connection timed out"), the port is out of range. The new
  // connection has no read limit. With cancelled given, a connect under way
  // also gives up (ECANCELED) within a tenth of a second of it turning true,
  // so a stop never waits for the time limit.
  static TcpConnection Connect(const std::string& host, int port, int connect_timeout_ms,
                               const std::atomic<bool>* cancelled = nullptr);

  // Limit of each wait for data in ReadByte, ReadSome and ReadExact;
  // 0 or negative: wait until data comes or the connection closes.
  void SetReadTimeout(int ms) noexcept { read_timeout_ms_ = ms; }
  int ReadTimeoutMs() const noexcept { return read_timeout_ms_; }

  // One limit for every read from now on, however the peer spreads its
  // bytes: each wait is cut to the time left, and once ms have passed a read
  // that needs the network raises ReadTimeout at once (bytes already
  // buffered are still served). 0 or negative clears it.
  void SetDeadline(int ms) noexcept;

  // Waits ms without reading anything. False as soon as the connection
  // ends (Disconnect from another thread, or the peer's reset), true when
  // the whole time has passed. Bytes the peer sends meanwhile neither end
  // nor shorten the wait.
  bool Pause(int ms);

  // The keep-alive in force on the socket, as the system reports it
  // (idle and interval in seconds; 0 where the system does not say).
  struct KeepAlive {
    bool on = false;
    int idle_s = 0;
    int interval_s = 0;
    int probes = 0;
  };
  KeepAlive KeepAliveInForce();

  // Sends every byte, waiting (without a limit) while the peer's window is
  // full. Raises "Not Connected." after Disconnect, pw::Error on a send
  // failure (peer reset, broken pipe). SIGPIPE is never raised.
  void WriteAll(const void* data, std::size_t size);
  void Write(std::string_view bytes) { WriteAll(bytes.data(), bytes.size()); }

  // Sends count bytes of file from offset, waiting as WriteAll does. On
  // Linux the kernel takes them from the file's cache (sendfile), with no
  // copy through this process; elsewhere they go through a buffer. Returns
  // the bytes sent: fewer than count only when the file ends first.
  // Failures as WriteAll; a file that cannot be read raises its error.
  std::size_t SendFromFile(ReadableFile& file, std::uint64_t offset, std::size_t count);
  // Whether SendFromFile sends with no copy through this process; where it
  // does not, a caller that holds the bytes anyway sends them from memory.
  static const bool kSendsFromFileCache;

  // Reads between 1 and max bytes (0 when max is 0): what the buffer holds,
  // else whatever arrives first. Raises ReadTimeout when nothing arrives
  // within the read limit, ConnectionClosed when the peer has closed and
  // every byte it sent has been read, or when this end was disconnected,
  // pw::Error on other failures (peer reset).
  std::size_t ReadSome(void* data, std::size_t max);

  // Reads exactly size bytes; failures as ReadSome. The read limit applies
  // to each wait, not to the whole.
  void ReadExact(void* data, std::size_t size);

  // One byte; failures as ReadSome.
  std::uint8_t ReadByte() {
    if (pos_ < end_ && !closed_.load(std::memory_order_relaxed))
      return static_cast<std::uint8_t>(buffer_[pos_++]);
    return ReadByteSlow();
  }

  // Puts bytes back in front of what the buffer holds, so the next read
  // returns them first: a reader that stops inside a unit (a line whose end
  // has not come within the read limit) gives back what it took, and the
  // stream stays in step. At most kBufferSize bytes in all may be held.
  void Unread(std::string_view bytes);

  // True as soon as a read would not wait: data is buffered or waiting, the
  // peer has closed, or the connection is closed (the read then raises).
  // False when ms pass first; 0 only looks, negative waits without limit.
  bool WaitReadable(int ms);

  // This end has closed it (Disconnect, or a failure that closed the
  // socket). Any thread; never raises.
  bool Closed() const noexcept { return closed_.load(); }

  // The peer's close (or reset) has come, whatever this end has still to
  // read of what it sent before (on Windows: once all of it has been read).
  // False when this end has closed it. Any thread; never waits or raises.
  bool PeerHasClosed();

  // Open here and not known to be closed by the peer. Looks, without
  // waiting, whether the peer's close has arrived; data still buffered
  // counts as connected. Never raises.
  bool Connected();

  // Closes the connection; the peer sees an orderly close. Idempotent, never
  // raises, callable from any thread: a read or write waiting in the owner's
  // thread returns at once with ConnectionClosed (read) or an error (write).
  void Disconnect() noexcept;

  // Addresses of the two ends as they were when the connection was made;
  // empty when never connected.
  const std::string& PeerAddress() const noexcept { return peer_address_; }
  int PeerPort() const noexcept { return peer_port_; }
  const std::string& LocalAddress() const noexcept { return local_address_; }
  int LocalPort() const noexcept { return local_port_; }

 private:
  friend struct TcpAccess;
  // The OS socket, its lock, and the owner's calls inside a system call on
  // it, as the backend keeps them. Fixed from the connect or accept until
  // the connection is destroyed or moved away.
  struct Socket;
  // Destroys a Socket where the backend knows it, so that the rest of the
  // class is written once for every backend.
  struct SocketDeleter {
    void operator()(Socket* socket) const noexcept;
  };
  using SocketPtr = std::unique_ptr<Socket, SocketDeleter>;
  explicit TcpConnection(SocketPtr socket);

  std::uint8_t ReadByteSlow();
  // The end of the next wait for data: the read limit or the deadline,
  // whichever comes first. Raises ReadTimeout once the deadline has passed.
  std::optional<std::chrono::steady_clock::time_point> NextReadDeadline() const;
  // The OS socket (a descriptor or a SOCKET handle) for one I/O call, kept
  // open until ReleaseSocket even if another thread disconnects meanwhile;
  // -1 when closed, which is no socket on either system.
  std::intptr_t AcquireSocket();
  void ReleaseSocket() noexcept;
  void MoveFrom(TcpConnection& other) noexcept;
  std::size_t Receive(char* data, std::size_t max);  // one wait, one recv

  SocketPtr socket_;
  std::atomic<bool> closed_{true};

  // Owner only.
  std::unique_ptr<char[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool peer_closed_ = false;
  int read_timeout_ms_ = 0;
  std::optional<std::chrono::steady_clock::time_point> deadline_;

  // Fixed once connected.
  std::string peer_address_;
  std::string local_address_;
  int peer_port_ = 0;
  int local_port_ = 0;
};

// One listening socket with a synchronous accept. TcpServer does the same
// for many addresses with threads; this is for a caller that accepts on its
// own thread. Owner thread only.
class TcpListener {
 public:
  static constexpr int kDefaultBacklog = 128;

  // Listens on address ("" or "0.0.0.0": all) at port (0: a free port the
  // system picks; Port() tells which). A port whose old connections linger
  // in TIME_WAIT can be taken again (SO_REUSEADDR on POSIX; a Windows
  // listener may do so as it is), one another socket listens on cannot.
  // Raises pw::Error when the address is not local or the port is taken.
  TcpListener(const std::string& address, int port, int backlog = kDefaultBacklog);
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  int Port() const noexcept { return port_; }

  // Waits up to timeout_ms (negative: no limit) for a connection; nothing
  // when the time is up. Raises pw::Error when accepting fails. An accepted
  // connection has keep-alive on (see kKeepAlive*).
  std::optional<TcpConnection> Accept(int timeout_ms);

 private:
  struct Socket;  // the listening OS socket, as the backend keeps it
  std::unique_ptr<Socket> socket_;
  int port_ = 0;
};

// A listening server: every accepted connection is served by the handler on
// a thread of its own. When the handler returns (or raises: the server
// catches and drops everything), the connection is closed and its thread is
// joined soon after, so a long-running server keeps no finished threads.
//
// Connections are capped in all and per peer address (see Limits), and a
// connection counts against the caps until its socket closes, not until its
// handler returns. At a cap the server makes room where it can (see Phase):
// past the share of connections in their handshake it closes the oldest of
// them; past the cap in all, the one that has waited longest for its next
// command. Otherwise one past a cap is closed at once, with no thread
// started. Refusals come in bursts
// and are reported once per burst: the first refusal, then, when no refusal
// has come for kQuietMs or the server stops, how many there were. The
// connections closed to make room are reported the same way, in bursts of
// their own.
//
// The handler must not move the connection away, must end when its reads
// raise (Deactivate relies on that), and must not wait for the thread that
// calls Deactivate.
//
// Activate, Deactivate, Active, Port and ConnectionThreads may be called from
// any thread except a handler's own; the server serialises Activate and
// Deactivate.
class TcpServer {
 public:
  using Handler = std::function<void(TcpConnection&)>;

  // Connections the system may hold for the accept thread. Stations may all
  // call at once; past a full queue the system can complete a caller's
  // connect without ever handing the connection over, and that station
  // then waits for a greeting that never comes. The backend asks for the
  // larger of this and the system's own maximum.
  static constexpr int kBacklog = 4096;

  // A burst of refusals ends when none has come for this long.
  static constexpr int kQuietMs = 1000;

  // No caps until SetLimits: the caller chooses them.
  struct Limits {
    std::size_t connections = SIZE_MAX;  // served at once, in all
    std::size_t per_address = SIZE_MAX;  // served at once from one peer address
    std::size_t handshaking = SIZE_MAX;  // served at once still in their handshake
  };

  // Where a connection stands, as its handler tells it. A new connection is
  // in its handshake. Only a connection in its handshake or waiting for its
  // next command is ever closed to make room; a busy one (reading a body,
  // waiting for the host) never is.
  enum class Phase { kHandshake, kWaiting, kBusy };

  // One report of a burst of refusals, or of connections closed to make
  // room (made_room: then first_address is the first one closed, and
  // refused counts the closed ones).
  struct Refusals {
    bool burst_over = false;    // false: the burst's first refusal; true: its end
    std::string first_address;  // the peer refused first in the burst
    bool per_address = false;   // the first refusal was for the per-address cap
    std::size_t limit = 0;      // the cap the first refusal hit
    std::size_t refused = 0;    // at the end: how many the burst refused
    bool made_room = false;     // connections closed for newer ones, not newcomers refused
  };
  // Called on the accept thread; must not call Activate or Deactivate.
  using RefusalObserver = std::function<void(const Refusals&)>;

  explicit TcpServer(Handler handler, RefusalObserver on_refusals = {});
  ~TcpServer();  // deactivates
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // The caps for connections accepted from now on (0 counts as 1). Any thread.
  void SetLimits(Limits limits) LOCKS_EXCLUDED(limits_mu_);

  // Starts listening at port on each of bind_addresses, one socket per
  // address, or on all addresses (0.0.0.0) when the list is empty. Port 0
  // takes a free port, the same for every address. Does nothing when
  // already active (the running port and addresses stay). Raises pw::Error
  // when a socket cannot be bound (port in use, address not local); then
  // nothing listens. Called from a handler it raises pw::Error.
  void Activate(int port, const std::vector<std::string>& bind_addresses = {})
      LOCKS_EXCLUDED(control_mu_);

  // Stops accepting, closes the listening sockets, disconnects every open
  // connection so that their handlers' reads raise ConnectionClosed, and
  // joins every thread before returning. A burst of refusals under way is
  // reported as over first. Does nothing when not active. Called from a
  // handler it raises pw::Error and changes nothing.
  void Deactivate() LOCKS_EXCLUDED(control_mu_);

  // Called by the handler of connection, on its own thread, as it moves
  // from phase to phase. False when the server has closed the connection to
  // make room: the handler then does no more work for its peer. Nothing
  // (true) for a connection this server does not serve on this thread.
  bool SetPhase(const TcpConnection& connection, Phase phase);

  bool Active() const noexcept { return active_.load(); }

  // The port listened on while active, 0 when not.
  int Port() const noexcept { return port_.load(); }

  // Connection threads not yet joined: the ones serving, and finished ones
  // not reaped yet. Every thread that had finished before a new connection
  // was accepted has been joined by the time its handler starts.
  std::size_t ConnectionThreads() const;

  // Accept and connection threads of every server in the process, started
  // and not joined yet: 0 once every server has been deactivated. Any thread.
  static std::size_t ThreadsInProcess();

 private:
  struct State;
  void AcceptLoop();
  void Serve(TcpConnection connection);
  // Closes connection when a cap is reached and no room can be made (true),
  // reporting the burst's first refusal. Accept thread.
  bool Refused(TcpConnection& connection);
  // Counts one refusal or close for room into its burst, reporting the
  // burst's first. Accept thread.
  void Report(const Refusals& first);
  void EndBursts(bool only_quiet);

  const Handler handler_;
  const RefusalObserver on_refusals_;
  // Serialises Activate and Deactivate: one of them at a time makes or
  // tears down the listening sockets, their wake-up and the accept thread.
  // Those are not guarded by it: the accept and connection threads read
  // them without it, between their start and their join.
  Mutex control_mu_;
  mutable Mutex limits_mu_;
  Limits limits_ GUARDED_BY(limits_mu_);
  const std::unique_ptr<State> state_;
  std::atomic<bool> active_{false};
  std::atomic<int> port_{0};
};

// The machine's IPv4 addresses, each once: those of interfaces other than
// loopback first, in the order the system lists them, then the loopback ones.
// Nothing is left out, so a caller that wants only outside addresses filters
// 127.x.x.x itself. Raises pw::Error when the list cannot be read.
std::vector<std::string> LocalIpAddresses();

// The machine's network host name (Windows-1251). Raises pw::Error.
std::string LocalHostName();

}  // namespace pw::platform

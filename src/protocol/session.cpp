#include "protocol/session.h"

#include <charconv>

#include "platform/error.h"
#include "text/visible_text.h"

namespace pw::protocol {

void Session::Connect(const std::string& host, int port, int connect_timeout_ms) {
  const int read_limit = owned_.ReadTimeoutMs();
  // A Cancel ends a connect under way too.
  platform::TcpConnection fresh =
      platform::TcpConnection::Connect(host, port, connect_timeout_ms, &cancelled_);
  fresh.SetReadTimeout(read_limit);
  MutexLock lock(stop_mu_);
  owned_ = std::move(fresh);
  connection_ = &owned_;
  host_ = host;
  // A Cancel that came while the connection was being made.
  if (cancelled_.load()) owned_.Disconnect();
}

void Session::SetReadTimeout(int ms) { connection_->SetReadTimeout(ms); }

bool Session::Connected() { return connection_->Connected(); }

void Session::Disconnect() noexcept {
  MutexLock lock(stop_mu_);
  connection_->Disconnect();
}

void Session::Cancel() noexcept {
  MutexLock lock(stop_mu_);
  cancelled_.store(true);
  connection_->Disconnect();
}

void Session::WriteLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line += "\r\n";
  connection_->Write(line);
}

std::string Session::ReadLine() {
  std::string line;
  try {
    for (;;) {
      const char c = static_cast<char>(connection_->ReadByte());
      if (c == '\n') break;
      if (line.size() == kMaxLineLength) throw Error("Max line length exceeded.");
      line += c;
    }
  } catch (const platform::ReadTimeout&) {
    // The part of the line already here stays for the next read, which then
    // goes on in step with the peer.
    connection_->Unread(line);
    // On an outgoing session a silent peer reads as an empty line, which
    // matches no expected word.
    if (outgoing()) return {};
    throw;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::int32_t ParseNumberLine(const std::string& line) {
  std::int32_t value = 0;
  const char* first = line.data();
  const char* last = line.data() + line.size();
  // from_chars takes a leading "-" but no "+" and no blanks: exactly the
  // decimal integer the peer writes.
  const auto [end, error] = std::from_chars(first, last, value, 10);
  if (line.empty() || error != std::errc() || end != last)
    throw Error("'" + text::VisibleText(line) + "' is not a valid integer value");
  return value;
}

std::int32_t Session::ReadNumberLine() { return ParseNumberLine(ReadLine()); }

void Session::WriteInt4(std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  const unsigned char bytes[4] = {static_cast<unsigned char>(u >> 24),
                                  static_cast<unsigned char>(u >> 16),
                                  static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u)};
  connection_->WriteAll(bytes, 4);
}

std::int32_t Session::ReadInt4() {
  unsigned char bytes[4];
  connection_->ReadExact(bytes, 4);
  return static_cast<std::int32_t>((std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                   (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]});
}

void Session::WriteBlock(const void* data, std::size_t n) { connection_->WriteAll(data, n); }

void Session::ReadBlock(void* data, std::size_t n) { connection_->ReadExact(data, n); }

bool Session::WaitReadable(int ms) { return connection_->WaitReadable(ms); }

}  // namespace pw::protocol

// The handshakes that open every session: the listener's greeting, name and
// password check, and the three connector variants (station, office, and
// the office's TV stream), with the transfer-mode reconciliation.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/error.h"
#include "protocol/password_attempts.h"
#include "protocol/session.h"
#include "services/wire_context.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace protocol {

enum class End { Station, Office };

// What a listener needs to know of its end.
struct ListenerSide {
  const WireContext& wire;  // made for this connection
  End end = End::Station;
  ui::ListBox* log = nullptr;  // the connection window's log list, or none
  // Station: the own name (the host's GetOwnName).
  std::function<std::string()> own_name;
  // Office: called with the station's name and IP once the password passed.
  std::function<void(const std::string& name, const std::string& ip)> register_station;
  // Office: called with the station's name as soon as it is read.
  std::function<void(const std::string& name)> name_read;
  // The listener's record of wrong passwords by address; none: every
  // password is judged at once.
  PasswordAttempts* attempts = nullptr;
};

// The whole listener handshake, from the accept to "OK" or "PASS", must be
// over within this many ms: HandshakeTimeOut, its default when below 1.
int HandshakeLimitMs(const WireSettings& settings);

struct ListenerResult {
  bool accepted = false;
  std::string station_name;  // office: the name the station sent
};

// Runs once when a connection is accepted, within HandshakeLimitMs; the
// session then reads without a limit again. Refused (wrong password) or
// failed handshakes close the connection before returning; errors are
// logged with the peer's address, not raised.
ListenerResult ListenerHandshake(Session& session, const ListenerSide& side);

enum class Connector { Station, Office, TV };

// The listener did not answer the password line with "OK" (a refusal, or
// nothing within the read limit). The session is already disconnected.
class PasswordRefused : public Error {
 public:
  PasswordRefused();
};

struct ConnectorSide {
  const WireContext& wire;  // made for this connection
  Connector kind = Connector::Station;
  ui::ListBox* log = nullptr;
  std::function<std::string()> own_name;  // station: the own name
  // Office: the connect limit in ms; 0, as for the office's own exchanges,
  // is none. A connect made on the main thread sets one, so an unreachable
  // station cannot hold the host's windows for the system's own limit.
  int office_connect_timeout_ms = 0;
};

// Connects session to host:port and runs the connector handshake. Returns
// the station's name (office and TV; "" for a station connector), or
// nothing when the transport does not report the connection as made.
// Raises pw::Error when the connection cannot be made or the password is
// refused (the session is then disconnected).
std::optional<std::string> ConnectorHandshake(Session& session, const std::string& host, int port,
                                              const ConnectorSide& side);

// The connector's answer to the listener's greeting ("OK" or "OKF"): a
// greeting that differs from the own transfer mode asks the operator
// whether to switch (the TV stream switches without asking). A switch holds
// for the whole process, not the settings file.
void ReconcileTransferMode(const std::string& greeting, Connector kind, const WireContext& wire);

}  // namespace protocol
}  // namespace pw

#include "office/office_listener.h"

#include <exception>

#include "office/connections.h"
#include "office/inet_office_form.h"
#include "office/station_board.h"
#include "services/event_log.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

namespace {

// Logs the end; the station is looked up only when it passed the handshake.
void ConnectionEnded(TInetOfficeForm& window, const std::string& ip, bool accepted) {
  // A log file that cannot be written costs the line, nothing else. A peer
  // that never passed the handshake is no station to look up: its end costs
  // one line, not the lookup's two and the list, so a flood of bare
  // connections cannot fill the day's log.
  std::string name;
  try {
    if (accepted) name = window.connections().FindNameByIP(ip);
  } catch (const std::exception&) {
    // The lookup's own lines could not be written: the end is told unnamed.
  }
  // The end names the station by its address alone (empty when unknown).
  window.SetLastStationName(std::string());
  AddToLog(std::string("Соединение разорванно, имя АЗС: "_w) + text::VisibleText(name) + ", IP: " + ip,
           &window.log);
}

protocol::ListenerEnd OfficeEnd(TInetOfficeForm& window) {
  protocol::ListenerEnd end;
  end.end = protocol::End::Office;
  end.log = &window.log;
  end.register_station = [&window](const std::string& name, const std::string& peer) {
    window.connections().AddStation(name, peer);
    // Under the name its reports are stored under, not a second row.
    window.board().Contact(RegisteredName(name), peer);
  };
  // Every accept names the latest station, before its password is checked.
  end.name_read = [&window](const std::string& name) { window.SetLastStationName(name); };
  end.ended = [&window](const std::string& ip, bool accepted) { ConnectionEnded(window, ip, accepted); };
  return end;
}

}  // namespace

OfficeListener::OfficeListener(TInetOfficeForm& window)
    : protocol::Listener(kOfficeCommandWords, OfficeEnd(window)) {}

}  // namespace pw::office

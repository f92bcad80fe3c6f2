#include "station/station_listener.h"

#include "services/event_log.h"
#include "text/cp1251.h"

namespace pw::station {

namespace {

protocol::ListenerEnd StationEnd(ui::ListBox* log, const PluginContext& plugin) {
  protocol::ListenerEnd end;
  end.end = protocol::End::Station;
  end.log = log;
  end.own_name = [&plugin] { return plugin.Host().GetOwnName(); };
  end.ended = [log](const std::string& ip, bool) {
    AddToLog(std::string("Входящее подключение разорванно, IP: "_w) + ip, log);
  };
  return end;
}

}  // namespace

StationListener::StationListener(ui::ListBox* log, const PluginContext& plugin)
    : protocol::Listener(kStationCommandWords, StationEnd(log, plugin)) {}

}  // namespace pw::station

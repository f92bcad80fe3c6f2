// "Следить за АЗС (ТВ АЗС)" (office only): a TV session per station keeps
// one connection to the station open and fetches one frame after another
// with "GET_TVSHOT", at the current size of its viewer (tv_form.h), until
// the operator closes the viewer, the link fails or the plug-in stops.
//
//   created -> connecting and opening (viewer shows "Подключение....")
//     -> streaming (a frame per e_TVrefresh plus the transfer)
//     -> ending (viewer closed: at once; link error: shown for a moment)
//     -> finished (connection closed, viewer released by the thread)
//     -> destroyed when its slot is reused or at UnLoad.
//
// The session's thread runs among the plug-in's worker threads, so UnLoad's
// stop closes its connection and joins it. The viewer's close closes the
// connection too, so the thread never waits out a read limit. Destroying a
// session (main thread) waits for its thread while serving the thread's
// synchronised calls, the last of which releases the viewer.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "interactive/tv_form.h"

namespace pw {
class Worker;
class WorkerThreads;
}  // namespace pw

namespace pw::interactive {

inline constexpr std::int32_t kMaxTVStation = 100;  // station numbers 0..100

// What a session needs besides its station.
struct TVServices {
  // Its error line: the log file only.
  std::function<void(std::string_view)> log;
  // The connection step's lines: the office window's log list.
  std::function<void(std::string_view)> window_log;
  // How long a link error stays on the viewer before it goes.
  std::chrono::milliseconds link_error_pause{1000};
  // How long destroying a session gives its thread to end after closing the
  // viewer, before it simply waits for it (a thread that ends sooner ends
  // the pause).
  std::chrono::milliseconds close_pause{1300};
};

class TThreadTVazs {
 public:
  explicit TThreadTVazs(TVServices services);
  // Destroying a session, main thread: closes the viewer as the operator
  // would, waits for the thread (serving its synchronised calls) and frees
  // what is left.
  ~TThreadTVazs();
  TThreadTVazs(const TThreadTVazs&) = delete;
  TThreadTVazs& operator=(const TThreadTVazs&) = delete;

  std::string Address;
  std::int32_t Port = 0;
  // The viewer, main thread only; released by the thread's last act.
  std::unique_ptr<TTVForm> Form;

  // Makes the viewer's close end the session, then starts the thread.
  // Raises what WorkerThreads::Start raises (the session then counts as
  // finished).
  void Start(WorkerThreads& workers);
  bool Finished() const;

 private:
  struct Shared;
  // The thread's whole work.
  void Execute(Worker& worker);
  // One frame: the request at the viewer's size, the reply, the decoding,
  // ShowFrame, the pause. total: kilobytes so far.
  void FetchFrame(double& total);

  TVServices services_;
  std::shared_ptr<Shared> shared_;
};

using TVSessionTable = std::array<std::unique_ptr<TThreadTVazs>, kMaxTVStation + 1>;

// Main thread. A station number outside 0..100 is refused with a message
// box and a log line, and no slot is touched. A station whose viewer is
// open gets the box "За данной АЗС уже ведется видеонаблюдение" and that
// viewer is brought forward. Otherwise the slot's old session is
// destroyed and a new one made: its viewer "TVAZS" + number, captioned
// station_name + " (ТВ АЗС)", shown, and its thread started.
void StartStationTV(TVSessionTable& sessions, WorkerThreads& workers, const TVServices& services,
                    const std::string& address, std::int32_t port, const std::string& station_name,
                    std::int32_t station_number);

}  // namespace pw::interactive

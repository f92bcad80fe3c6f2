// MyTthread, the automatic send thread: the station's report exchange never
// runs on the window's thread. The send button, its menu item and the
// host's AutoSendInet each start one; the station exchange lock makes them
// run one after another, in the order they get it.
#pragma once

#include <atomic>

#include "sync/mutex.h"
#include "services/worker_threads.h"
#include "station/report_exchange.h"

namespace pw::station {

class MyTthread {
 public:
  // Starts one thread on workers and returns at once. exchange is what the
  // exchange needs (its stop_requested is this thread's stop); the lock and
  // the running marker must outlive workers' threads.
  static void Start(WorkerThreads& workers, StationExchange exchange, Mutex& exchange_lock,
                    std::atomic<bool>& running_marker);

  // The thread's whole work: under the exchange lock, the Internet
  // connection step, PrepareAndSendOtchet on a client of its own, the
  // connection library's disconnect, and the running marker cleared. An
  // error is logged as "Ошибка обмена информацией : " + its text, and the
  // marker then stays set.
  static void Run(Worker& self, StationExchange exchange, Mutex& exchange_lock,
                  std::atomic<bool>& running_marker);
};

}  // namespace pw::station

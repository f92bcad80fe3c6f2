// MyTthreadOf: one office report request on a worker thread of its own, from
// the Internet connection step to the freeing of its client.
#pragma once

#include <string>

#include "office/report_request.h"
#include "services/worker_threads.h"

namespace pw::office {

// The thread's whole work: the connection step (false: nothing more), a
// client of its own for RunReportExchange on address_text, closed at once
// when the worker is told to stop, and the connection library's disconnect
// after an exchange that raised nothing. An error is logged as "Ошибка
// обмена информацией : " + its text.
void MyTthreadOf(Worker& worker, const ReportExchange& exchange, const std::string& address_text);

// Starts MyTthreadOf on workers; returns at once.
void StartReportExchange(WorkerThreads& workers, ReportExchange exchange, std::string address_text);

}  // namespace pw::office

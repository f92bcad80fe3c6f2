// "Отправить файл": the operator picks a file in the file-open dialog and a
// thread of its own (TThreadSendFile) sends it to the other end as one block
// without acknowledgements: "SEND_FILE2", the size, the bare name, the
// bytes, "111". Nothing is read back; the receiver closes when it has the
// file.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "interactive/send_services.h"

namespace pw {
class Worker;
class WorkerThreads;
}  // namespace pw

namespace pw::interactive {

// Every receiver reads the size line as a signed 32-bit number: a larger
// file cannot be announced.
inline constexpr std::uint64_t kMaxSendableFileSize = std::numeric_limits<std::int32_t>::max();

// The line that refuses a file of size bytes (above kMaxSendableFileSize).
std::string TooLargeToSend(const std::string& path, std::uint64_t size);

class TThreadSendFile {
 public:
  std::string Address;
  std::int32_t Port = 0;
  std::string FileName;  // full path of the chosen file

  // The thread's whole work, in the command frame: the file is opened for
  // a plain shared read (other readers are not denied: on POSIX there is no
  // way to, and a reader does the sender no harm), its size checked again,
  // then sent. Every failure is the frame's error line; the worker's stop
  // closes the connection at once.
  void Execute(Worker& worker, const SendServices& services) const;
};

// Shows the file-open dialog (the operator's; main thread); cancelled or an
// empty name: nothing. Else logs "Отправка файла " + address + " " + port
// and starts the thread on workers, unless the file is 2 GiB or more: that
// is refused here with its line, before any connection is made. Returns at
// once; nothing waits for the thread.
void ChooseAndSendFile(const SendServices& services, WorkerThreads& workers,
                       const std::string& address, std::int32_t port);

}  // namespace pw::interactive

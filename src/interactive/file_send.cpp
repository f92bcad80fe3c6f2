#include "interactive/file_send.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "interactive/command_frame.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "protocol/body_transfer.h"
#include "services/event_log.h"
#include "services/worker_threads.h"
#include "text/cp1251.h"
#include "ui/operator.h"

namespace pw::interactive {

namespace {

constexpr std::size_t kPiece = 64 * 1024;

// The size to announce: raises when the file is gone or too large.
std::int32_t SizeToSend(const std::string& path) {
  const std::optional<std::uint64_t> size = platform::FileSize(path);
  if (!size) throw Error(std::string("Не найден файл: "_w) + path);
  if (*size > kMaxSendableFileSize) throw Error(TooLargeToSend(path, *size));
  return static_cast<std::int32_t>(*size);
}

// Exactly size bytes of file, streamed and hashed; a file that ends sooner
// is an error (the receiver, short of bytes, then stores nothing).
void WriteFileBlock(protocol::Session& client, platform::ReadableFile& file, std::int32_t size,
                    const std::string& path, platform::Sha256& hash) {
  std::vector<char> piece(std::min<std::size_t>(kPiece, static_cast<std::size_t>(size)));
  for (std::size_t left = static_cast<std::size_t>(size); left > 0;) {
    const std::size_t n = file.Read(piece.data(), std::min(left, piece.size()));
    if (n == 0) throw Error(std::string("Файл стал короче во время отправки: "_w) + path);
    hash.Update(piece.data(), n);
    client.WriteBlock(piece.data(), n);
    left -= n;
  }
}

}  // namespace

std::string TooLargeToSend(const std::string& path, std::uint64_t size) {
  return std::string("Файл не отправлен: "_w) + path + " (" + std::to_string(size) +
         std::string(" байт) больше "_w) + std::to_string(kMaxSendableFileSize) +
         std::string(" байт, которые может принять получатель"_w);
}

void TThreadSendFile::Execute(Worker& worker, const SendServices& services) const {
  RunCommandFrame(
      services, Address, Port, Tail::Apply,
      [&](protocol::Session& client, const std::string&) {
        platform::ReadableFile file(FileName);
        const std::int32_t size = SizeToSend(FileName);
        client.WriteLine("SEND_FILE2");
        client.WriteNumberLine(size);
        client.WriteLine(FileNamePart(FileName));
        platform::Sha256 hash;
        WriteFileBlock(client, file, size, FileName, hash);
        client.WriteLine("111");
        // The client's release closes the connection. The one line about the
        // end is the digest, for the operator to hold against the receiver's.
        services.log(protocol::DigestLine(platform::HexDigest(hash.Final()), FileName));
      },
      &worker);
}

void ChooseAndSendFile(const SendServices& services, WorkerThreads& workers,
                       const std::string& address, std::int32_t port) {
  const std::optional<std::string> chosen =
      ui::Operator::instance().ChooseFileToOpen(std::string("Открыть"_w));
  if (!chosen || chosen->empty()) return;
  services.log(std::string("Отправка файла "_w) + address + " " + std::to_string(port));
  std::optional<std::uint64_t> size;
  try {
    size = platform::FileSize(*chosen);
  } catch (const Error&) {
    // Unreadable now: the thread meets it again and says so.
  }
  if (size && *size > kMaxSendableFileSize) {
    services.log(TooLargeToSend(*chosen, *size));
    return;
  }
  TThreadSendFile thread;
  thread.Address = address;
  thread.Port = port;
  thread.FileName = *chosen;
  workers.Start([thread = std::move(thread), services](Worker& worker) {
    thread.Execute(worker, services);
  });
}

}  // namespace pw::interactive

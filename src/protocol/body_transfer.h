// The framing of file bodies once a command has announced a body's size S:
// steps 1..n of B bytes and a last step n + 1 of the S mod B remaining
// bytes (none when S is a multiple of B), each step acknowledged by the
// receiver with an int4 holding the step number unless fast transfer is on.
//
// A sender streams from its file and a receiver writes to a temporary file
// beside the target as the steps arrive, renaming it over the target only
// after the size check; memory per transfer stays at one piece of at most
// kPieceSize bytes whatever S and B are.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/session.h"
#include "services/wire_context.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace protocol {

// The progress window of one transfer, as the transfer thread sees it.
class TransferProgress {
 public:
  virtual ~TransferProgress() = default;
  // After step i: i + 1.
  virtual void Step(std::int32_t packets_done) = 0;
  virtual bool StopRequested() const = 0;
  // Reads and clears the flag.
  virtual bool TakeStop() = 0;
};

// Opens the window for caption, S and n (the packet count).
using ProgressFactory = std::function<std::unique_ptr<TransferProgress>(
    const std::string& caption, std::int32_t total_bytes, std::int32_t total_packets)>;

// The texts one transfer site logs; each already holds its values.
struct TransferSite {
  // wire: made by the caller for this transfer; it must outlive the site.
  explicit TransferSite(const WireContext& wire) : wire(wire) {}

  const WireContext& wire;
  std::vector<std::string> start_lines;
  std::string caption;
  std::string success;
  // The mismatch line for the count received; none for senders.
  std::function<std::string(std::int64_t received)> mismatch;
  // The error line is this prefix + the error's text; with no prefix the
  // caller logs the error itself (the error is raised to it).
  std::string error_prefix;
  // The connector's and the office's transfers end a cancelled transfer
  // with the operator's notice and close the connection.
  bool check_cancelled = false;
  // Whether a reception is size-checked (and stored when whole) also after
  // the operator cancelled it; some sites skip the check then.
  bool settle_after_cancel = true;
  // How a cancel closes the connection (an office exchange closes through
  // its window, which says so in the log); by default the session itself.
  std::function<void(Session&)> close_on_cancel;
  ui::ListBox* log = nullptr;
  // Given the SHA-256 of a body sent or stored whole (64 hex digits), which
  // is also logged after the success line; left alone otherwise.
  std::string* digest = nullptr;
  // The path the digest line names for a body sent from a copy of it (the
  // file an operator knows, not the copy); empty: the path sent.
  std::string digest_path;
  // Every real site hashes its bodies; only a measure of what the digest
  // costs turns it off (no digest then, and no digest line).
  bool hash_body = true;
};

// The line that follows the success line of a whole body: "SHA-256: " + the
// 64 hex digits + " " + path (the path sent, or the stored file's name).
std::string DigestLine(const std::string& hex, const std::string& path);

// Largest piece of a step read or written at once.
inline constexpr std::size_t kPieceSize = 256 * 1024;

// The packet size in force: InetBuffSize, or 128 when that is 0 or less.
std::int32_t PacketSize(const WireSettings& settings);

// The size a sender announces for the file at path, taken before anything
// is announced: raises when the file cannot be read or holds 2 GiB or more
// (sizes travel as signed 32-bit numbers), so a missing file never goes out
// as an empty body and a large one is never cut.
std::int32_t SendableFileSize(const std::string& path);

// Sends the file at path as a body of S bytes. True when every step went out
// and the operator did not cancel.
bool SendBody(Session& session, const std::string& path, std::int32_t size,
              const TransferSite& site, const ProgressFactory& progress);

enum class Received { Stored, Mismatch, Cancelled, Failed };

// Receives a body of S bytes into target. Stored when exactly S bytes came
// and the file is in place; otherwise no file and no temporary are left.
// A negative S, or one past the free room of the target's folder, fails
// before any body byte is awaited; that and any other failure close the
// connection, which can no longer be kept in step.
Received ReceiveBody(Session& session, std::int32_t size, const std::string& target,
                     const TransferSite& site, const ProgressFactory& progress);

// The reception of "SEND_FILE2": the same steps with the own B but never an
// acknowledgement, then the end mark line, then the size check. The caller
// closes the connection once it has shown its notice.
Received ReceiveSingleBlock(Session& session, std::int32_t size, const std::string& target,
                            const TransferSite& site, const ProgressFactory& progress);

// A picture reply: one block of S bytes, held in memory (pictures are
// small; S above kMaxPictureSize is refused).
inline constexpr std::int32_t kMaxPictureSize = 64 * 1024 * 1024;
std::string ReceivePicture(Session& session, std::int32_t size);

// The size line of a picture reply. A station that could make no picture may
// write its reason there instead of a number: the error raised then carries
// that text ("АЗС не прислала картинку: " + the line).
std::int32_t ReadPictureSize(Session& session);

// After a transfer loop: when the operator cancelled, clears the flag, logs
// "Обмен данными прерван пользователем", shows it in a message box and
// closes the connection (close, or the session itself). True when cancelled.
bool CheckCancelled(const WireContext& wire, TransferProgress& progress, Session& session,
                    ui::ListBox* log, const std::function<void(Session&)>& close = {});

// The office's wait for the station's answer after a request went out:
// "Обработка запроса на удаленной стороне...", then looks for data every
// 500 ms; after ZaprosTimeOut ms without any, logs "Запрос не обработан.
// Ошибка: TimeOut", disconnects and returns false.
bool WaitForRequestAnswer(const WireContext& wire, Session& session, ui::ListBox* log);

}  // namespace protocol
}  // namespace pw

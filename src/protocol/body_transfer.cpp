#include "protocol/body_transfer.h"

#include <optional>
#include <limits>
#include <algorithm>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "protocol/digest_thread.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::protocol {

namespace {

constexpr std::int32_t kDefaultPacketSize = 128;

// The shape of one body: n full steps of B bytes, then r bytes.
struct Steps {
  std::int32_t size;    // S
  std::int32_t packet;  // B
  std::int32_t full() const { return size / packet; }       // n
  std::int32_t rest() const { return size % packet; }       // r
  std::int32_t bytes_of(std::int32_t i) const { return i > full() ? rest() : packet; }
};

// The transfer mode and packet size are read once, at the start: a
// handshake in another session may switch the process-wide values while
// this body is on its way.
struct Mode {
  bool fast;
  std::int32_t packet;
};

Mode ModeOf(const WireSettings& s) { return {s.useFastDatTravel, PacketSize(s)}; }

std::unique_ptr<TransferProgress> Open(const ProgressFactory& progress, const TransferSite& site,
                                       const Steps& steps) {
  for (const auto& line : site.start_lines) site.wire.log(line, site.log);
  return progress(site.caption, steps.size, steps.full());
}

// Called inside a catch block: without a prefix the caller logs, so the
// error goes on to it.
void LogError(const TransferSite& site, const std::exception& e) {
  if (site.error_prefix.empty()) throw;
  // The text may quote a line the peer sent ("'…' is not a valid integer value").
  site.wire.log(site.error_prefix + text::VisibleText(e.what()), site.log);
}

// After the success line: the digest to the caller and to the log.
void LogDigest(const TransferSite& site, const platform::Sha256Digest& digest,
               const std::string& path) {
  const std::string hex = platform::HexDigest(digest);
  if (site.digest) *site.digest = hex;
  site.wire.log(DigestLine(hex, path), site.log);
}

// Small steps are gathered to this many bytes per file call: enough that a
// file-system call costs little beside the steps' own round trips, small
// enough for a thousand transfers at once.
constexpr std::size_t kGatherSize = 32 * 1024;

// Room for the pieces of a body of S bytes in steps of B: a piece of a step
// at least, the gathered steps at most, and never more than the body.
std::size_t GatherRoom(std::int32_t size, std::int32_t packet) {
  const std::size_t piece = std::min(static_cast<std::size_t>(packet), kPieceSize);
  return std::min(static_cast<std::size_t>(std::max(size, 0)), std::max(piece, kGatherSize));
}

// A fast body of this size or more moves with the digest on a thread of its
// own (see DigestThread): below it, a thread and its pieces cost more than
// they can save, and an office takes many small reports at once.
constexpr std::int32_t kLargeBody = 4 * 1024 * 1024;

[[noreturn]] void ThrowFileShorter() {
  throw Error(std::string("Файл стал короче, чем был объявлен"_w));
}

// What a sender's steps draw on: the file's bytes for the wire, and their digest.
class BodySource {
 public:
  virtual ~BodySource() = default;
  // Takes the next count bytes of the body for the wire; raises when the
  // file ends before they are whole.
  virtual void Take(std::int32_t count) = 0;
  // Writes what was taken and not written yet.
  virtual void Flush() = 0;
  // After the last step and Flush: the digest of the whole body.
  virtual platform::Sha256Digest Digest() = 0;
};

// The sender's side of a body: the file is read ahead in pieces of
// GatherRoom, so a small step costs no file-system call of its own, and the
// steps taken are written out together at the next Flush (fast transfer
// flushes only when the piece is used up; acknowledged transfer after every
// step). The bytes on the wire, and which of them are out before a short
// file is noticed, are the same as for one step at a time.
class StepSource final : public BodySource {
 public:
  StepSource(Session& session, platform::ReadableFile& file, const Steps& steps, bool hashing)
      : session_(session),
        file_(file),
        unread_(steps.size),
        buffer_(GatherRoom(steps.size, steps.packet)),
        hashing_(hashing) {}

  // In pieces of at most GatherRoom.
  void Take(std::int32_t count) override {
    std::size_t left = static_cast<std::size_t>(count);
    while (left > 0) {
      const std::size_t want = std::min(left, buffer_.size());
      if (end_ - taken_ < want) Refill(want);
      taken_ += want;
      left -= want;
    }
  }

  void Flush() override {
    if (taken_ > written_) session_.WriteBlock(buffer_.data() + written_, taken_ - written_);
    written_ = taken_;
  }

  // Every body byte read from the file was hashed, each once.
  platform::Sha256Digest Digest() override { return hash_.Final(); }

 private:
  void Refill(std::size_t want) {
    Flush();
    const std::size_t kept = end_ - taken_;
    std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(taken_),
              buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
    taken_ = written_ = 0;
    end_ = kept;
    // Never past the announced size: a longer file sends only S bytes.
    const std::size_t room = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size() - end_), unread_));
    for (std::size_t got = 0; got < room;) {
      const std::size_t n = file_.Read(buffer_.data() + end_, room - got);
      if (n == 0) break;
      if (hashing_) hash_.Update(buffer_.data() + end_, n);
      got += n;
      end_ += n;
      unread_ -= static_cast<std::int64_t>(n);
    }
    if (end_ < want) ThrowFileShorter();
  }

  Session& session_;
  platform::ReadableFile& file_;
  std::int64_t unread_;  // body bytes not yet read from the file
  std::vector<char> buffer_;
  std::size_t written_ = 0;  // buffer_[0, written_) is on the wire
  std::size_t taken_ = 0;    // buffer_[written_, taken_) is taken, not written
  std::size_t end_ = 0;      // buffer_[taken_, end_) is read ahead
  const bool hashing_;
  platform::Sha256 hash_;
};

// The sender's side of a large fast body (the file held all of it when the
// transfer began): the steps taken go out in ranges straight from the file,
// which the kernel sends from its cache with no copy through this process.
// Each range is read once, just before it goes, into the pieces of a
// digest thread that hashes them while the range is on its way; where the
// system sends a file through a copy anyway (Windows), the pieces read for
// the digest are what is sent, so the file is read once there too. A file
// that shrinks meanwhile fails as a short one does.
class FileRangeSource final : public BodySource {
 public:
  FileRangeSource(Session& session, platform::ReadableFile& file, bool hashing)
      : session_(session),
        file_(file),
        digest_(hashing ? std::make_unique<DigestThread>(kPieceSize) : nullptr) {}

  void Take(std::int32_t count) override {
    taken_ += static_cast<std::uint64_t>(count);
    if (taken_ - sent_ >= kRange) Flush();
  }

  void Flush() override {
    while (sent_ < taken_) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(taken_ - sent_, kRange));
      const bool from_file = !digest_ || platform::TcpConnection::kSendsFromFileCache;
      if (digest_) ReadForDigest(n, /*send=*/!from_file);
      if (from_file && session_.SendFileRange(file_, sent_, n) != n) ThrowFileShorter();
      sent_ += n;
    }
  }

  platform::Sha256Digest Digest() override { return digest_->Finish(); }

 private:
  // Bytes sent at once: a few pieces, so that the digest thread has one to
  // hash while the next are read.
  static constexpr std::size_t kRange = 2 * kPieceSize;

  // Reads the next n bytes into pieces for the digest, sending each piece
  // too when send is set.
  void ReadForDigest(std::size_t n, bool send) {
    for (std::size_t done = 0; done < n;) {
      char* piece = digest_->Free();
      const std::size_t want = std::min(n - done, digest_->piece_size());
      for (std::size_t got = 0; got < want;) {
        const std::size_t read = file_.ReadAt(sent_ + done + got, piece + got, want - got);
        if (read == 0) ThrowFileShorter();
        got += read;
      }
      if (send) session_.WriteBlock(piece, want);
      digest_->Hand(want);
      done += want;
    }
  }

  Session& session_;
  platform::ReadableFile& file_;
  const std::unique_ptr<DigestThread> digest_;
  std::uint64_t sent_ = 0;   // body bytes on the wire
  std::uint64_t taken_ = 0;  // body bytes taken by the steps so far
};

// What a receiver's steps fill: the temporary file and the digest.
class BodySink {
 public:
  virtual ~BodySink() = default;
  // Reads one step of count bytes from the wire.
  virtual void Receive(Session& session, std::int32_t count) = 0;
  // Writes out what was received and not written yet.
  virtual void Flush() = 0;
  // After the last Flush: the digest of every body byte received.
  virtual platform::Sha256Digest Digest() = 0;
};

// The receiver's side of a body: the steps are gathered in pieces of
// GatherRoom and written to the file a piece at a time, not a step at a time.
// The piece is hashed while the wire is idle: on a line slower than the hash
// (any real one) the digest then costs no time; what is left is hashed at
// Flush, before the piece is written out and its room reused.
class StepSink final : public BodySink {
 public:
  StepSink(platform::WritableFile& file, const Steps& steps, bool hashing)
      : file_(file), buffer_(GatherRoom(steps.size, steps.packet)), hashing_(hashing) {}

  void Receive(Session& session, std::int32_t count) override {
    std::size_t left = static_cast<std::size_t>(count);
    while (left > 0) {
      const std::size_t n = std::min(left, buffer_.size());
      if (buffer_.size() - end_ < n) Flush();
      HashWhileIdle(session);
      session.ReadBlock(buffer_.data() + end_, n);
      end_ += n;
      left -= n;
    }
  }

  void Flush() override {
    if (end_ == 0) return;
    if (hashing_) hash_.Update(buffer_.data() + hashed_, end_ - hashed_);
    file_.Write(buffer_.data(), end_);
    end_ = hashed_ = 0;
  }

  // Every body byte received was hashed, each once.
  platform::Sha256Digest Digest() override { return hash_.Final(); }

 private:
  // Slices of this size are hashed while nothing waits on the wire; fewer
  // unhashed bytes are not worth a look at the socket.
  static constexpr std::size_t kHashSlice = 16 * 1024;

  void HashWhileIdle(Session& session) {
    while (hashing_ && end_ - hashed_ >= kHashSlice && !session.WaitReadable(0)) {
      hash_.Update(buffer_.data() + hashed_, kHashSlice);
      hashed_ += kHashSlice;
    }
  }

  platform::WritableFile& file_;
  std::vector<char> buffer_;
  std::size_t hashed_ = 0;  // buffer_[0, hashed_) is hashed
  std::size_t end_ = 0;     // buffer_[hashed_, end_) is received, not hashed yet
  const bool hashing_;
  platform::Sha256 hash_;
};

// The receiver's side of a large fast body: the steps are read with large
// reads straight into the pieces of a digest thread; a full piece is
// written to the file and hashed on that thread while the next one fills.
class PieceSink final : public BodySink {
 public:
  PieceSink(platform::WritableFile& file, bool hashing)
      : file_(file), digest_(hashing ? std::make_unique<DigestThread>(kPieceSize) : nullptr) {
    if (!digest_) own_.resize(kPieceSize);
    piece_ = digest_ ? digest_->Free() : own_.data();
  }

  void Receive(Session& session, std::int32_t count) override {
    for (std::size_t left = static_cast<std::size_t>(count); left > 0;) {
      if (end_ == kPieceSize) Flush();
      const std::size_t n = std::min(left, kPieceSize - end_);
      session.ReadBlock(piece_ + end_, n);
      end_ += n;
      left -= n;
    }
  }

  void Flush() override {
    if (end_ == 0) return;
    file_.Write(piece_, end_);
    if (digest_) {
      digest_->Hand(end_);
      piece_ = digest_->Free();
    }
    end_ = 0;
  }

  platform::Sha256Digest Digest() override { return digest_->Finish(); }

 private:
  platform::WritableFile& file_;
  const std::unique_ptr<DigestThread> digest_;
  std::vector<char> own_;  // the one piece when nothing is hashed
  char* piece_ = nullptr;  // the piece being filled
  std::size_t end_ = 0;    // piece_[0, end_) is received, not written yet
};

// A negative size, or more than the target's folder can hold, ends the
// command before any body byte is awaited.
bool AcceptableSize(Session& session, std::int32_t size, const std::string& target,
                    const TransferSite& site) {
  std::string why;
  if (size < 0) {
    why = std::string("Недопустимый размер файла: "_w) + std::to_string(size);
  } else {
    const std::string folder = target.substr(0, target.find_last_of("\\/") + 1);
    if (static_cast<std::uint64_t>(size) > platform::FreeSpace(folder.empty() ? "." : folder))
      why = std::string("Недостаточно места на диске для файла: "_w) + std::to_string(size) +
            std::string(" байт"_w);
  }
  if (why.empty()) return true;
  session.Disconnect();
  if (site.error_prefix.empty()) throw Error(why);
  site.wire.log(site.error_prefix + why, site.log);
  return false;
}

// The steps of a reception; acknowledged or not. Returns the bytes received.
std::int64_t ReceiveSteps(Session& session, const Steps& steps, bool acknowledge,
                          BodySink& sink, TransferProgress& progress) {
  std::int64_t received = 0;
  bool finished = false;
  for (std::int32_t i = 1; !finished && !progress.StopRequested(); ++i) {
    if (i > steps.full()) finished = true;
    const std::int32_t count = steps.bytes_of(i);
    sink.Receive(session, count);
    received += count;
    if (acknowledge) session.WriteInt4(i);
    progress.Step(i + 1);
  }
  sink.Flush();
  return received;
}

// Size check and placement of a received body.
Received Settle(std::int64_t received, std::int32_t size, platform::WritableFile& file,
                BodySink& sink, const std::string& temp, const std::string& target,
                const TransferSite& site) {
  file.Close();
  if (received != size) {
    platform::RemoveFile(temp);
    if (site.mismatch) site.wire.log(site.mismatch(received), site.log);
    return Received::Mismatch;
  }
  platform::RenameReplacing(temp, target);
  site.wire.log(site.success, site.log);
  if (site.hash_body) LogDigest(site, sink.Digest(), target);
  return Received::Stored;
}

Received Receive(Session& session, std::int32_t size, const std::string& target,
                 const TransferSite& site, const ProgressFactory& progress, bool single_block) {
  const Mode mode = ModeOf(site.wire.settings);
  const Steps steps{size, mode.packet};
  std::string temp;
  try {
    if (!AcceptableSize(session, size, target, site)) return Received::Failed;
    auto window = Open(progress, site, steps);
    platform::WritableFile file = platform::CreateTemporaryBeside(target);
    temp = file.path();
    const bool acknowledge = !single_block && !mode.fast;
    std::unique_ptr<BodySink> sink;
    if (!acknowledge && size >= kLargeBody) {
      file.Reserve(static_cast<std::uint64_t>(size));
      sink = std::make_unique<PieceSink>(file, site.hash_body);
    }
    else
      sink = std::make_unique<StepSink>(file, steps, site.hash_body);
    const std::int64_t received = ReceiveSteps(session, steps, acknowledge, *sink, *window);
    // The end mark "111" follows the whole body only: after a cut reception
    // the rest of the body is still on its way, and reading a line through
    // it would fail before the size check could tell the mismatch.
    if (single_block && received == size) session.ReadLine();  // not looked at
    const bool cancelled =
        site.check_cancelled && CheckCancelled(site.wire, *window, session, site.log, site.close_on_cancel);
    if (cancelled && !site.settle_after_cancel) {
      file.Close();
      platform::RemoveFile(temp);
      return Received::Cancelled;
    }
    const Received settled = Settle(received, size, file, *sink, temp, target, site);
    return cancelled ? Received::Cancelled : settled;
  } catch (const std::exception& e) {
    if (!temp.empty()) platform::RemoveFile(temp);
    // A body cut short, or a file that cannot be written while the body
    // still comes: either way the stream is out of step.
    session.Disconnect();
    LogError(site, e);
    return Received::Failed;
  }
}

}  // namespace

std::string DigestLine(const std::string& hex, const std::string& path) {
  return "SHA-256: " + hex + " " + path;
}

std::int32_t PacketSize(const WireSettings& settings) {
  const std::int32_t b = settings.InetBuffSize;
  return b > 0 ? b : kDefaultPacketSize;
}

bool CheckCancelled(const WireContext& wire, TransferProgress& progress, Session& session,
                    ui::ListBox* log, const std::function<void(Session&)>& close) {
  if (!progress.TakeStop()) return false;
  // Through a view: clang 14 crashes on a std::string made straight from this literal.
  const std::string_view notice = "Обмен данными прерван пользователем"_w;
  const std::string text(notice);
  wire.log(text, log);
  const std::string_view caption = "Связь с офисом"_w;
  wire.ask(ui::BoxRequest{std::string(caption), text, ui::Buttons::Ok});
  if (close)
    close(session);
  else
    session.Disconnect();
  return true;
}

bool WaitForRequestAnswer(const WireContext& wire, Session& session, ui::ListBox* log) {
  wire.log("Обработка запроса на удаленной стороне..."_w, log);
  const std::uint32_t start = platform::TickCount();
  for (;;) {
    if (session.WaitReadable(500)) return true;
    const std::uint32_t waited = platform::TickCount() - start;
    if (waited > static_cast<std::uint32_t>(std::max(wire.settings.ZaprosTimeOut, 0))) {
      wire.log("Запрос не обработан. Ошибка: TimeOut"_w, log);
      session.Disconnect();
      return false;
    }
    platform::SleepMs(500);
  }
}

std::int32_t SendableFileSize(const std::string& path) {
  const std::optional<std::uint64_t> size = platform::FileSize(path);
  if (!size) throw Error(std::string("Не найден файл: "_w) + path);
  if (*size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
    throw Error(std::string("Файл слишком велик для передачи"_w));
  return static_cast<std::int32_t>(*size);
}

bool SendBody(Session& session, const std::string& path, std::int32_t size,
              const TransferSite& site, const ProgressFactory& progress) {
  const Mode mode = ModeOf(site.wire.settings);
  const Steps steps{size, mode.packet};
  try {
    // Sizes travel as signed 32-bit numbers: a file of 2 GiB or more cannot.
    if (size < 0) throw Error(std::string("Файл слишком велик для передачи"_w));
    auto window = Open(progress, site, steps);
    platform::ReadableFile file(path);
    std::unique_ptr<BodySource> source;
    if (mode.fast && size >= kLargeBody && file.Size() >= static_cast<std::uint64_t>(size))
      source = std::make_unique<FileRangeSource>(session, file, site.hash_body);
    else
      source = std::make_unique<StepSource>(session, file, steps, site.hash_body);
    bool finished = false;
    for (std::int32_t i = 1; !finished && !window->StopRequested(); ++i) {
      if (i > steps.full()) finished = true;
      source->Take(steps.bytes_of(i));
      if (!mode.fast) {
        source->Flush();
        session.ReadInt4();  // its value is not looked at
      }
      window->Step(i + 1);
    }
    source->Flush();
    if (CheckCancelled(site.wire, *window, session, site.log, site.close_on_cancel)) return false;
    site.wire.log(site.success, site.log);
    if (site.hash_body) LogDigest(site, source->Digest(), site.digest_path.empty() ? path : site.digest_path);
    return true;
  } catch (const std::exception& e) {
    LogError(site, e);
    return false;
  }
}

Received ReceiveBody(Session& session, std::int32_t size, const std::string& target,
                     const TransferSite& site, const ProgressFactory& progress) {
  return Receive(session, size, target, site, progress, /*single_block=*/false);
}

Received ReceiveSingleBlock(Session& session, std::int32_t size, const std::string& target,
                            const TransferSite& site, const ProgressFactory& progress) {
  return Receive(session, size, target, site, progress, /*single_block=*/true);
}

std::int32_t ReadPictureSize(Session& session) {
  const std::string line = session.ReadLine();
  // An empty line (a silent station) has no reason to tell.
  if (line.empty()) return ParseNumberLine(line);
  try {
    return ParseNumberLine(line);
  } catch (const Error&) {
    throw Error(std::string("АЗС не прислала картинку: "_w) + text::VisibleText(line));
  }
}

std::string ReceivePicture(Session& session, std::int32_t size) {
  if (size < 0 || size > kMaxPictureSize)
    throw Error(std::string("Недопустимый размер изображения: "_w) + std::to_string(size));
  std::string picture(static_cast<std::size_t>(size), '\0');
  session.ReadBlock(picture.data(), picture.size());
  return picture;
}

}  // namespace pw::protocol

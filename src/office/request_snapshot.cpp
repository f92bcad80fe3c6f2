#include "office/request_snapshot.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "services/folders.h"
#include "text/cp1251.h"

namespace pw::office {

namespace {

std::atomic<std::int64_t> bytes_in_copies{0};

// Copies size bytes of from into the new file to.
void CopyInto(platform::WritableFile& to, const std::string& from_path, std::int32_t size) {
  platform::ReadableFile from(from_path);
  std::vector<char> piece(64 * 1024);
  for (std::int64_t left = size; left > 0;) {
    const std::size_t n = from.Read(piece.data(), std::min<std::int64_t>(left, piece.size()));
    if (n == 0) throw Error(std::string("Файл стал короче во время отправки: "_w) + from_path);
    to.Write(piece.data(), n);
    left -= static_cast<std::int64_t>(n);
  }
}

}  // namespace

std::optional<RequestSnapshot> RequestSnapshot::Take(const std::string& path, std::int32_t size) {
  if (bytes_in_copies.fetch_add(size) + size > kBudget) {
    bytes_in_copies.fetch_sub(size);
    return std::nullopt;
  }
  RequestSnapshot snapshot(std::string(), size);  // gives the bytes back on every way out
  std::optional<platform::WritableFile> to;
  try {
    const std::string folder = CurrentFolders().from_azs;
    platform::CreateDirectories(folder);
    to.emplace(platform::CreateTemporaryBeside(folder + "request"));
  } catch (const Error&) {
    return std::nullopt;  // no room for a copy here
  }
  snapshot.path_ = to->path();
  try {
    CopyInto(*to, path, size);
    to->Close();
  } catch (const Error&) {
    to.reset();  // closed first: Windows removes no open file
    return std::nullopt;  // a full disk, say; a fault of the file itself shows again when sent
  }
  return snapshot;
}

RequestSnapshot::RequestSnapshot(RequestSnapshot&& other) noexcept
    : path_(std::move(other.path_)), size_(other.size_) {
  other.path_.clear();
  other.size_ = 0;
}

RequestSnapshot::~RequestSnapshot() {
  if (!path_.empty()) platform::RemoveFile(path_);
  bytes_in_copies.fetch_sub(size_);
}

}  // namespace pw::office

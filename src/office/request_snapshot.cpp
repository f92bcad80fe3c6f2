#include "office/request_snapshot.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "services/folders.h"
#include "text/cp1251.h"

namespace pw::office {

RequestSnapshot::RequestSnapshot(const std::string& path, std::int32_t size) {
  platform::ReadableFile from(path);
  const std::string folder = CurrentFolders().from_azs;
  platform::CreateDirectories(folder);
  std::optional<platform::WritableFile> to = platform::CreateTemporaryBeside(folder + "request");
  path_ = to->path();
  try {
    std::vector<char> piece(64 * 1024);
    for (std::int64_t left = size; left > 0;) {
      const std::size_t n = from.Read(piece.data(), std::min<std::int64_t>(left, piece.size()));
      if (n == 0) throw Error(std::string("Файл стал короче во время отправки: "_w) + path);
      to->Write(piece.data(), n);
      left -= static_cast<std::int64_t>(n);
    }
    to->Close();
  } catch (...) {
    to.reset();  // closed first: Windows removes no open file
    platform::RemoveFile(path_);
    throw;
  }
}

RequestSnapshot::~RequestSnapshot() { platform::RemoveFile(path_); }

}  // namespace pw::office

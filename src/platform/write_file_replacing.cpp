#include "platform/files.h"

namespace pw::platform {

// Over the pieces every backend has: a complete temporary beside the target,
// then one rename.
void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  const std::string temp = TemporaryNameBeside(path);
  try {
    WritableFile file(temp);
    file.Write(bytes.data(), bytes.size());
    file.Close();
    RenameReplacing(temp, path);
  } catch (...) {
    RemoveFile(temp);
    throw;
  }
}

}  // namespace pw::platform

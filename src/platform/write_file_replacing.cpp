#include "platform/error.h"
#include "platform/files.h"

namespace pw::platform {

// Over the pieces every backend has: a complete temporary beside the target,
// then one rename.
void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  // A rename would slip past the file's own protection (it needs only the
  // folder's), and the new file would not keep it.
  if (IsReadOnlyFile(path)) throw Error("replace " + path + ": the file is read-only", ErrorKind::kFile);
  std::string temp;
  try {
    WritableFile file = CreateTemporaryBeside(path);
    temp = file.path();
    file.Write(bytes.data(), bytes.size());
    file.Close();
    RenameReplacing(temp, path);
  } catch (...) {
    if (!temp.empty()) RemoveFile(temp);
    throw;
  }
}

}  // namespace pw::platform

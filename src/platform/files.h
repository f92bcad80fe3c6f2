// File system. Paths are Windows-1251 text, as everywhere in the system; the
// backend converts them to the OS's encoding only where a file is opened.
// Every call may be made from any thread. Failures raise pw::Error whose text
// names the call and the path.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pw::platform {

// The folder separator of this OS ("/" here, "\" on Windows).
extern const char kPathSeparator;

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// A file that exists and that nobody may write (no write permission at all;
// on Windows, the read-only attribute). The owner's choice: never replaced.
bool IsReadOnlyFile(const std::string& path);

// Size of a file, or nothing when it does not exist. Raises when the file
// exists but cannot be opened.
std::optional<std::uint64_t> FileSize(const std::string& path);

// Opens (creating when missing), appends and closes. All the bytes or none:
// when a write fails part way (a full disk), the file is cut back to its
// former end, as far as the OS allows it, before the error is raised.
void AppendToFile(const std::string& path, std::string_view bytes);

std::string ReadWholeFile(const std::string& path);
// The bytes from offset to the end ("" when the file is shorter).
std::string ReadFileFrom(const std::string& path, std::uint64_t offset);

// Writes a temporary file beside path and renames it over path, so a reader
// sees the old content or the new, never a part. A read-only file at path
// is not replaced: that raises, and nothing is written.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// Renames from over to, replacing to when it exists.
void RenameReplacing(const std::string& from, const std::string& to);

// Makes sure the folder exists, creating missing parents.
void CreateDirectories(const std::string& path);

// Removes a file; a missing file is no error. Never raises.
void RemoveFile(const std::string& path) noexcept;
// Removes the file unless a process has it open for writing as a temporary
// (CreateNew holds such a file locked while it is open): true when it went.
bool RemoveFileNotInUse(const std::string& path) noexcept;

// A file read from start to end in pieces. Raises pw::Error on failure.
class ReadableFile {
 public:
  explicit ReadableFile(const std::string& path);
  ~ReadableFile();
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;
  // Up to n bytes; 0 at the end of the file.
  std::size_t Read(void* data, std::size_t n);
  // Up to n bytes from offset; 0 at or past the end. A file is read either
  // with Read or with ReadAt, not both (Windows moves the position).
  std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t n);
  // The open file's size now.
  std::uint64_t Size();
  const std::string& path() const;

 private:
  friend struct FileAccess;  // the backend's own calls on the open file
  struct Handle;  // the open file, as the backend keeps it
  std::unique_ptr<Handle> handle_;
};

// A file written from start to end in pieces: created anew, replacing.
// Raises pw::Error on failure.
class WritableFile {
 public:
  explicit WritableFile(const std::string& path);
  // Made only when no file of that name exists (O_EXCL, CREATE_NEW):
  // nothing when one does. Raises on any other failure.
  static std::optional<WritableFile> CreateNew(const std::string& path);
  ~WritableFile();  // closes, ignoring errors
  WritableFile(WritableFile&&) noexcept;
  WritableFile(const WritableFile&) = delete;
  WritableFile& operator=(const WritableFile&) = delete;
  void Write(const void* data, std::size_t n);
  // Sets aside room for size bytes ahead of the writes where the file
  // system can (Linux), so that they need not claim it page by page; the
  // file's size stays what is written. Best effort: never raises.
  void Reserve(std::uint64_t size) noexcept;
  // Closes and reports a failing close.
  void Close();
  const std::string& path() const;

 private:
  struct Handle;  // the open file, as the backend keeps it
  explicit WritableFile(std::unique_ptr<Handle> handle);
  std::unique_ptr<Handle> handle_;
};

// A file for writing beside path (in its folder, so the rename over path
// stays on one volume), to be renamed over path once it is complete. Its
// name has the temporaries' pattern and is random, made only where no file
// has it: no peer can choose it, and it is nobody else's file. Raises when
// none can be made.
WritableFile CreateTemporaryBeside(const std::string& path);

// Whether a plain file name has the temporaries' pattern, "~pw*.tmp" in any
// letter case: Windows takes "~PW…" and the short 8.3 names of our
// temporaries ("~PW0A1~1.TMP") for the same files, so a received file of
// such a name could stand in for one being written.
bool IsTemporaryName(std::string_view name);

// Removes the files of the temporaries' pattern in folder (temporaries that
// a process ended mid-write left behind) and answers how many went; one
// that another process is still writing stays. A missing folder has none.
// Raises when the folder cannot be read.
std::size_t RemoveTemporaries(const std::string& folder);

// The names of the plain files in folder (no folders), in no set order.
// Raises when the folder cannot be read.
std::vector<std::string> FileNamesIn(const std::string& folder);

// Free room in bytes on the volume that holds path (a folder).
std::uint64_t FreeSpace(const std::string& folder);

// ---- Faults on demand, for the tests of what a failing disk leaves behind ----

// The calls a plan can fail: an open for writing (WritableFile,
// AppendToFile), a write, RenameReplacing, and the close of a written file.
enum class FileCall { kOpen, kWrite, kRename, kClose };
inline constexpr std::size_t kFileCallKinds = 4;

// Counts the calls of each kind on paths that start with `under` (all paths
// when empty) and fails the one numbered fail_at[kind] (from 1; 0: none) as
// the OS would: the open is refused, the write fills the disk after half
// its bytes, the rename is refused, the close reports a lost write.
struct FileFaultPlan {
  std::string under;
  std::array<std::uint64_t, kFileCallKinds> fail_at{};
  std::array<std::atomic<std::uint64_t>, kFileCallKinds> seen{};

  std::uint64_t Seen(FileCall call) const { return seen[static_cast<std::size_t>(call)].load(); }
  void FailAt(FileCall call, std::uint64_t n) { fail_at[static_cast<std::size_t>(call)] = n; }
};

// Puts plan in force for the whole process (nullptr: none, the normal
// state). Returns once no file call looks at the plan it replaced, which
// may then be destroyed; a call made after a plan is replaced is counted by
// the new one, so a thread still at work may leave its last calls to the
// next plan.
void InstallFileFaultPlan(FileFaultPlan* plan) noexcept;

// For the backends, at the points named above: true when the plan in force
// fails this call. Without a plan it costs one relaxed load.
bool FileCallFails(FileCall call, const std::string& path) noexcept;

}  // namespace pw::platform

#include "platform/files.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_error.h"

namespace pw::platform {

const char kPathSeparator = '\\';

namespace {

std::wstring Native(const std::string& path) { return Wide(path); }

// Every failure here is a file's or a folder's.
[[noreturn]] void FileError(const std::string& call, const std::string& subject, unsigned long err) {
  ThrowWin32Error(call, subject, err, ErrorKind::kFile);
}
[[noreturn]] void LastFileError(const std::string& call, const std::string& subject) {
  ThrowLastError(call, subject, ErrorKind::kFile);
}

// Every open shares reading, writing and deleting, as files are shared
// elsewhere: the log is appended to while a reader follows it, and a file
// being read may be renamed over.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

ScopedHandle Open(const std::string& path, DWORD access, DWORD disposition,
                  DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return ScopedHandle(::CreateFileW(Native(path).c_str(), access, kShareAll, nullptr, disposition,
                                    flags, nullptr));
}

ScopedHandle OpenOrThrow(const std::string& path, DWORD access, DWORD disposition) {
  ScopedHandle file = Open(path, access, disposition);
  if (!file.valid()) LastFileError("CreateFile", path);
  return file;
}

// A file opened for writing; a fault plan may refuse it.
ScopedHandle OpenForWriting(const std::string& path, DWORD access, DWORD disposition) {
  if (FileCallFails(FileCall::kOpen, path)) FileError("CreateFile", path, ERROR_ACCESS_DENIED);
  return OpenOrThrow(path, access, disposition);
}

void WriteLoop(HANDLE file, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &n, nullptr)) LastFileError("WriteFile", path);
    bytes.remove_prefix(n);
  }
}

void WriteAll(HANDLE file, std::string_view bytes, const std::string& path) {
  if (file == nullptr) FileError("WriteFile", path, ERROR_INVALID_HANDLE);
  if (FileCallFails(FileCall::kWrite, path)) {
    // A disk that fills up mid-write: part of the bytes land first.
    WriteLoop(file, bytes.substr(0, bytes.size() / 2), path);
    FileError("WriteFile", path, ERROR_DISK_FULL);
  }
  WriteLoop(file, bytes, path);
}

// The close of a written file, which reports writes that did not land.
void CloseWritten(ScopedHandle& file, const std::string& path) {
  if (FileCallFails(FileCall::kClose, path)) {
    file.reset();
    FileError("CloseHandle", path, ERROR_WRITE_FAULT);
  }
  file.Close(path);
}

std::size_t ReadSome(HANDLE file, void* data, std::size_t n, const std::string& path) {
  DWORD got = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
  if (!::ReadFile(file, data, chunk, &got, nullptr)) LastFileError("ReadFile", path);
  return got;
}

bool IsMissing(DWORD err) { return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND; }

DWORD Attributes(const std::string& path) { return ::GetFileAttributesW(Native(path).c_str()); }

// Cuts a file back to size through a handle of its own: the appending one
// may not set the end. Best effort: a file that will not be cut stays as it is.
void CutBack(const std::string& path, LONGLONG size) {
  ScopedHandle file = Open(path, GENERIC_WRITE, OPEN_EXISTING);
  LARGE_INTEGER to{};
  to.QuadPart = size;
  if (file.valid() && ::SetFilePointerEx(file.get(), to, nullptr, FILE_BEGIN))
    ::SetEndOfFile(file.get());
}

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReadOnlyFile(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (a & FILE_ATTRIBUTE_READONLY) != 0;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  // A folder opens too (backup semantics) and has a size, as elsewhere: a
  // log path that is a folder is a log that cannot be written, not a fault.
  ScopedHandle file = Open(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (!file.valid()) {
    const DWORD err = ::GetLastError();
    if (IsMissing(err)) return std::nullopt;
    FileError("CreateFile", path, err);
  }
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) LastFileError("GetFileSizeEx", path);
  return static_cast<std::uint64_t>(size.QuadPart);
}

void AppendToFile(const std::string& path, std::string_view bytes) {
  // Append access alone (the size may be read): every write lands at the
  // end, whoever else writes.
  ScopedHandle file = OpenForWriting(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, OPEN_ALWAYS);
  LARGE_INTEGER before{};
  const bool sized = ::GetFileSizeEx(file.get(), &before) != 0;
  // WriteFile puts the bytes in the system's hands: they survive the death
  // of the process, which is what the per-line open and close are for.
  try {
    WriteAll(file.get(), bytes, path);
  } catch (const Error&) {
    // A disk that filled up part way: the bytes that landed go again, so a
    // reader never meets half a line.
    if (sized) CutBack(path, before.QuadPart);
    throw;
  }
  CloseWritten(file, path);
}

std::string ReadWholeFile(const std::string& path) { return ReadFileFrom(path, 0); }

std::string ReadFileFrom(const std::string& path, std::uint64_t offset) {
  ScopedHandle file = OpenOrThrow(path, GENERIC_READ, OPEN_EXISTING);
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (offset > 0 && !::SetFilePointerEx(file.get(), to, nullptr, FILE_BEGIN))
    LastFileError("SetFilePointerEx", path);
  std::string out;
  char buf[65536];
  while (const std::size_t n = ReadSome(file.get(), buf, sizeof buf, path)) out.append(buf, n);
  return out;
}

std::vector<std::string> FileNamesIn(const std::string& folder) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(Native(pattern + "*").c_str(), &found);
  std::vector<std::string> names;
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_FILE_NOT_FOUND) return names;  // not even "." : an empty drive root
    FileError("FindFirstFile", folder, err);
  }
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(Narrow(found.cFileName));
  } while (::FindNextFileW(search, &found));
  const DWORD err = ::GetLastError();
  ::FindClose(search);
  if (err != ERROR_NO_MORE_FILES) FileError("FindNextFile", folder, err);
  return names;
}

struct ReadableFile::Handle {
  std::string path;
  ScopedHandle file;
};

ReadableFile::ReadableFile(const std::string& path)
    : handle_(new Handle{path, OpenOrThrow(path, GENERIC_READ, OPEN_EXISTING)}) {}

ReadableFile::~ReadableFile() = default;

std::size_t ReadableFile::Read(void* data, std::size_t n) {
  return ReadSome(handle_->file.get(), data, n, handle_->path);
}

std::size_t ReadableFile::ReadAt(std::uint64_t offset, void* data, std::size_t n) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
  if (!::ReadFile(handle_->file.get(), data, chunk, &got, &at)) {
    // A synchronous read that starts at or past the end says so as an error.
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    LastFileError("ReadFile", handle_->path);
  }
  return got;
}

std::uint64_t ReadableFile::Size() {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle_->file.get(), &size)) LastFileError("GetFileSizeEx", handle_->path);
  return static_cast<std::uint64_t>(size.QuadPart);
}

const std::string& ReadableFile::path() const { return handle_->path; }

struct WritableFile::Handle {
  std::string path;
  ScopedHandle file;
};

WritableFile::WritableFile(const std::string& path)
    : handle_(new Handle{path, OpenForWriting(path, GENERIC_WRITE, CREATE_ALWAYS)}) {}

WritableFile::WritableFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

std::optional<WritableFile> WritableFile::CreateNew(const std::string& path) {
  if (FileCallFails(FileCall::kOpen, path)) FileError("CreateFile", path, ERROR_ACCESS_DENIED);
  ScopedHandle file = Open(path, GENERIC_WRITE, CREATE_NEW);
  if (!file.valid()) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) return std::nullopt;
    FileError("CreateFile", path, err);
  }
  return WritableFile(std::make_unique<Handle>(Handle{path, std::move(file)}));
}

WritableFile::WritableFile(WritableFile&&) noexcept = default;

WritableFile::~WritableFile() = default;

const std::string& WritableFile::path() const { return handle_->path; }

void WritableFile::Write(const void* data, std::size_t n) {
  // After Close there is no handle: WriteAll raises.
  WriteAll(handle_->file.get(), std::string_view(static_cast<const char*>(data), n), handle_->path);
}

// NTFS claims room for a file written from start to end as it goes.
void WritableFile::Reserve(std::uint64_t) noexcept {}

void WritableFile::Close() {
  // Closing twice is no error, and no call.
  if (handle_->file.valid()) CloseWritten(handle_->file, handle_->path);
}

// A reader that opened the target without delete sharing (the profile API
// reading cnf.INI, a virus scanner) refuses the replace for as long as it
// holds the file, mostly moments: try again for up to half a second.
void RenameReplacing(const std::string& from, const std::string& to) {
  constexpr int kAttempts = 10;
  constexpr DWORD kPauseMs = 50;
  if (FileCallFails(FileCall::kRename, to))
    FileError("MoveFileEx", from + " -> " + to, ERROR_ACCESS_DENIED);
  for (int attempt = 1;; ++attempt) {
    if (::MoveFileExW(Native(from).c_str(), Native(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return;
    const DWORD err = ::GetLastError();
    const bool held = err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION;
    if (!held || attempt == kAttempts) FileError("MoveFileEx", from + " -> " + to, err);
    ::Sleep(kPauseMs);
  }
}

void CreateDirectories(const std::string& path) {
  // The root is there already: "C:\", "\\server\share\" or "\".
  std::size_t start = 0;
  if (path.size() >= 2 && path[1] == ':') {
    start = 2;
  } else if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
             (path[1] == '\\' || path[1] == '/')) {
    const std::size_t server_end = path.find_first_of("\\/", 2);
    start = server_end == std::string::npos ? path.size() : path.find_first_of("\\/", server_end + 1);
    if (start == std::string::npos) start = path.size();
  }
  for (std::size_t pos = start + 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '\\' && path[pos] != '/') continue;
    if (path[pos - 1] == '\\' || path[pos - 1] == '/') continue;  // the root, or "a\\b"
    const std::string prefix = path.substr(0, pos);
    if (!::CreateDirectoryW(Native(prefix).c_str(), nullptr)) {
      const DWORD err = ::GetLastError();
      // An existing folder may also answer "access denied" (a drive's root,
      // a folder we may not write): only one that is not there is an error.
      if (err != ERROR_ALREADY_EXISTS && !DirectoryExists(prefix))
        FileError("CreateDirectory", prefix, err);
    }
  }
  if (!DirectoryExists(path)) FileError("CreateDirectory", path, ERROR_DIRECTORY);
}

void RemoveFile(const std::string& path) noexcept { ::DeleteFileW(Native(path).c_str()); }

// A file that opens with no sharing at all is open nowhere else; opened so
// to be deleted on close, it goes when closed.
bool RemoveFileNotInUse(const std::string& path) noexcept {
  const HANDLE file = ::CreateFileW(Native(path).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

std::uint64_t FreeSpace(const std::string& folder) {
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(Native(folder).c_str(), &available, nullptr, nullptr))
    LastFileError("GetDiskFreeSpaceEx", folder);
  return available.QuadPart;
}

}  // namespace pw::platform

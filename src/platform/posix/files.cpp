#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/file_access.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/scoped_fd.h"
#include "text/cp1251.h"

namespace pw::platform {

const char kPathSeparator = '/';

namespace {

std::string Native(const std::string& path) { return text::utf8_from_cp1251(path); }

// Every failure here is a file's or a folder's.
[[noreturn]] void FileError(const std::string& call, const std::string& subject, int err) {
  ThrowPosixError(call, subject, err, ErrorKind::kFile);
}

ScopedFd OpenOrThrow(const std::string& path, int flags, mode_t mode = 0644) {
  ScopedFd fd(::open(Native(path).c_str(), flags | O_CLOEXEC, mode));
  if (!fd.valid()) FileError("open", path, errno);
  return fd;
}

// A file opened for writing; a fault plan may refuse it.
ScopedFd OpenForWriting(const std::string& path, int flags) {
  if (FileCallFails(FileCall::kOpen, path)) FileError("open", path, EACCES);
  return OpenOrThrow(path, flags);
}

void WriteLoop(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      FileError("write", path, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  if (FileCallFails(FileCall::kWrite, path)) {
    // A disk that fills up mid-write: part of the bytes land first.
    WriteLoop(fd, bytes.substr(0, bytes.size() / 2), path);
    FileError("write", path, ENOSPC);
  }
  WriteLoop(fd, bytes, path);
}

// The close of a written file, which reports writes that did not land.
void CloseWritten(ScopedFd& fd, const std::string& path) {
  if (FileCallFails(FileCall::kClose, path)) {
    fd.reset();
    FileError("close", path, EIO);
  }
  fd.Close(path);
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// By the permission bits, not access(): root may write anything, yet a
// file made read-only is still meant to stay as it is.
bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  ScopedFd file(::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) {
    if (errno == ENOENT) return std::nullopt;
    FileError("open", path, errno);
  }
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) FileError("fstat", path, errno);
  return static_cast<std::uint64_t>(st.st_size);
}

void AppendToFile(const std::string& path, std::string_view bytes) {
  ScopedFd file = OpenForWriting(path, O_WRONLY | O_CREAT | O_APPEND);
  struct stat before {};
  const bool sized = ::fstat(file.get(), &before) == 0 && S_ISREG(before.st_mode);
  // write() puts the bytes in the kernel's hands: they survive the death of
  // the process, which is what the per-line open and close are for.
  try {
    WriteAll(file.get(), bytes, path);
  } catch (const Error&) {
    // A disk that filled up part way: the bytes that landed go again, so a
    // reader never meets half a line. A device (/dev/full) has no end to cut.
    if (sized) (void)::ftruncate(file.get(), before.st_size);
    throw;
  }
  CloseWritten(file, path);
}

std::string ReadWholeFile(const std::string& path) { return ReadFileFrom(path, 0); }

std::string ReadFileFrom(const std::string& path, std::uint64_t offset) {
  ScopedFd file = OpenOrThrow(path, O_RDONLY);
  if (offset > 0 && ::lseek(file.get(), static_cast<off_t>(offset), SEEK_SET) < 0)
    FileError("lseek", path, errno);
  std::string out;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(file.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      FileError("read", path, errno);
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

std::vector<std::string> FileNamesIn(const std::string& folder) {
  DIR* dir = ::opendir(Native(folder).c_str());
  if (dir == nullptr) FileError("opendir", folder, errno);
  std::vector<std::string> names;
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = text::cp1251_from_utf8(entry->d_name);
    if (FileExists(prefix + name)) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

struct ReadableFile::Handle {
  std::string path;
  ScopedFd fd;
};

ReadableFile::ReadableFile(const std::string& path)
    : handle_(new Handle{path, OpenOrThrow(path, O_RDONLY)}) {}

ReadableFile::~ReadableFile() = default;

std::size_t ReadableFile::Read(void* data, std::size_t n) {
  for (;;) {
    const ssize_t got = ::read(handle_->fd.get(), data, n);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) FileError("read", handle_->path, errno);
  }
}

std::size_t ReadableFile::ReadAt(std::uint64_t offset, void* data, std::size_t n) {
  for (;;) {
    const ssize_t got = ::pread(handle_->fd.get(), data, n, static_cast<off_t>(offset));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) FileError("read", handle_->path, errno);
  }
}

std::uint64_t ReadableFile::Size() {
  struct stat st {};
  if (::fstat(handle_->fd.get(), &st) != 0) FileError("fstat", handle_->path, errno);
  return static_cast<std::uint64_t>(st.st_size);
}

const std::string& ReadableFile::path() const { return handle_->path; }

int FileAccess::Descriptor(ReadableFile& file) { return file.handle_->fd.get(); }

struct WritableFile::Handle {
  std::string path;
  ScopedFd fd;
};

WritableFile::WritableFile(const std::string& path)
    : handle_(new Handle{path, OpenForWriting(path, O_WRONLY | O_CREAT | O_TRUNC)}) {}

WritableFile::WritableFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

std::optional<WritableFile> WritableFile::CreateNew(const std::string& path) {
  if (FileCallFails(FileCall::kOpen, path)) FileError("open", path, EACCES);
  ScopedFd fd(::open(Native(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!fd.valid()) {
    if (errno == EEXIST) return std::nullopt;
    FileError("open", path, errno);
  }
  // Held while the file is open: another process clearing stale
  // temporaries leaves it (RemoveFileNotInUse).
  ::flock(fd.get(), LOCK_EX | LOCK_NB);
  return WritableFile(std::make_unique<Handle>(Handle{path, std::move(fd)}));
}

WritableFile::WritableFile(WritableFile&&) noexcept = default;

WritableFile::~WritableFile() = default;

const std::string& WritableFile::path() const { return handle_->path; }

void WritableFile::Write(const void* data, std::size_t n) {
  // After Close the descriptor is gone: write() then fails with EBADF.
  WriteAll(handle_->fd.get(), std::string_view(static_cast<const char*>(data), n), handle_->path);
}

void WritableFile::Reserve(std::uint64_t size) noexcept {
#ifdef FALLOC_FL_KEEP_SIZE
  // A file system that cannot (or a full one) leaves the writes to claim it.
  (void)::fallocate(handle_->fd.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size));
#else
  (void)size;
#endif
}

void WritableFile::Close() {
  // Closing twice is no error, and no call.
  if (handle_->fd.valid()) CloseWritten(handle_->fd, handle_->path);
}

void RenameReplacing(const std::string& from, const std::string& to) {
  if (FileCallFails(FileCall::kRename, to)) FileError("rename", from + " -> " + to, EACCES);
  if (::rename(Native(from).c_str(), Native(to).c_str()) != 0)
    FileError("rename", from + " -> " + to, errno);
}

void CreateDirectories(const std::string& path) {
  const std::string native = Native(path);
  for (std::size_t pos = 1; pos <= native.size(); ++pos) {
    if (pos != native.size() && native[pos] != '/') continue;
    const std::string prefix = native.substr(0, pos);
    if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
      FileError("mkdir", text::cp1251_from_utf8(prefix), errno);
  }
  if (!DirectoryExists(path)) FileError("mkdir", path, ENOTDIR);
}

void RemoveFile(const std::string& path) noexcept { ::unlink(Native(path).c_str()); }

bool RemoveFileNotInUse(const std::string& path) noexcept {
  const ScopedFd fd(::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;  // its writer still has it
  return ::unlink(Native(path).c_str()) == 0;
}

std::uint64_t FreeSpace(const std::string& folder) {
  struct statvfs vfs {};
  if (::statvfs(Native(folder).c_str(), &vfs) != 0) FileError("statvfs", folder, errno);
  return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

}  // namespace pw::platform

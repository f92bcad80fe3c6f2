#include "platform/win32/process_start.h"

#include <memory>
#include <vector>

#include "sync/mutex.h"

namespace pw::platform {

std::wstring QuotedArgument(std::wstring_view arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos)
    return std::wstring(arg);
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled and the quote escaped; before
    // anything else they stand for themselves.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    out += c;
    backslashes = 0;
  }
  out.append(backslashes * 2, L'\\');  // the closing quote must stay a quote
  out += L'"';
  return out;
}

Pipe CreatePipeOrThrow(const std::string& subject) {
  HANDLE read = nullptr, write = nullptr;
  if (!::CreatePipe(&read, &write, nullptr, 0)) ThrowLastError("CreatePipe", subject);
  return Pipe{ScopedHandle(read), ScopedHandle(write)};
}

namespace {

// An inheritable twin of h for the child, closed once the child is started;
// none when h cannot be copied.
ScopedHandle InheritableCopy(HANDLE h) {
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
    return ScopedHandle();
  return ScopedHandle(copy);
}

// The attribute list that limits what the child inherits to our list.
class HandleListAttribute {
 public:
  HandleListAttribute(std::vector<HANDLE>& handles, const std::string& subject) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!::InitializeProcThreadAttributeList(list_, 1, 0, &size))
      ThrowLastError("InitializeProcThreadAttributeList", subject);
    if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                     handles.size() * sizeof(HANDLE), nullptr, nullptr)) {
      const DWORD err = ::GetLastError();
      ::DeleteProcThreadAttributeList(list_);
      ThrowWin32Error("UpdateProcThreadAttribute", subject, err);
    }
  }
  ~HandleListAttribute() { ::DeleteProcThreadAttributeList(list_); }
  HandleListAttribute(const HandleListAttribute&) = delete;
  HandleListAttribute& operator=(const HandleListAttribute&) = delete;
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// The inheritable copies live only while one start runs: a start on another
// thread cannot take them along even where the handle list is not honoured.
Mutex start_mutex;

}  // namespace

ScopedHandle StartProcess(const wchar_t* application, std::wstring command_line,
                          const StandardHandles& handles, const std::string& subject) {
  MutexLock lock(start_mutex);
  ScopedHandle copies[3];
  std::vector<HANDLE> inherited;
  const HANDLE given[3] = {handles.input, handles.output, handles.error};
  HANDLE child[3] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < 3; ++i) {
    if (given[i] == nullptr || given[i] == INVALID_HANDLE_VALUE) continue;
    // One copy per distinct handle: output and error are often one pipe.
    for (int j = 0; j < i; ++j)
      if (given[j] == given[i]) child[i] = child[j];
    if (child[i] != nullptr) continue;
    copies[i] = InheritableCopy(given[i]);
    if (!copies[i].valid()) {
      if (i == 2) continue;
      ThrowLastError("DuplicateHandle", subject);
    }
    child[i] = copies[i].get();
    inherited.push_back(child[i]);
  }

  STARTUPINFOEXW info{};
  info.StartupInfo.cb = sizeof info.StartupInfo;
  info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  info.StartupInfo.hStdInput = child[0];
  info.StartupInfo.hStdOutput = child[1];
  info.StartupInfo.hStdError = child[2];
  DWORD flags = CREATE_NO_WINDOW;
  std::unique_ptr<HandleListAttribute> attribute;
  if (!inherited.empty()) {
    attribute = std::make_unique<HandleListAttribute>(inherited, subject);
    info.lpAttributeList = attribute->get();
    info.StartupInfo.cb = sizeof info;
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }

  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(application, command_line.data(), nullptr, nullptr,
                        inherited.empty() ? FALSE : TRUE, flags, nullptr, nullptr,
                        &info.StartupInfo, &started))
    ThrowLastError("CreateProcess", subject);
  ::CloseHandle(started.hThread);
  return ScopedHandle(started.hProcess);
}

}  // namespace pw::platform

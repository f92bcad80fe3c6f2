#include "host/folder_host.h"

#include <exception>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "text/cp1251.h"

namespace pw::host {

namespace {

FolderHost& Self(PwHostServices* self) { return *static_cast<FolderHost*>(self); }

// Returned texts live until the calling thread's next call, as the
// interface asks; each thread has its own.
const char* Keep(std::string text) {
  thread_local std::string kept;
  kept = std::move(text);
  return kept.c_str();
}

// The error of a call, kept as a returned text.
PwError KeepError(const std::exception& e) {
  thread_local std::string kept;
  kept = e.what();
  return kept.c_str();
}

std::string Utf8(std::string_view cp1251) { return text::utf8_from_cp1251(cp1251); }

// The text after the last separator of either kind.
std::string LastName(const std::string& path) {
  const auto cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A name that stays inside the folder it is joined to.
bool PlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name)
    if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

// Copies in pieces through a temporary file renamed over to at the end, so
// a report never needs its size in memory and is never seen half copied.
void CopyFile(const std::string& from, const std::string& to) {
  std::string temporary;
  try {
    platform::ReadableFile in(from);
    platform::WritableFile out = platform::CreateTemporaryBeside(to);
    temporary = out.path();
    std::vector<char> piece(1 << 16);
    while (const std::size_t n = in.Read(piece.data(), piece.size())) out.Write(piece.data(), n);
    out.Close();
    platform::RenameReplacing(temporary, to);
  } catch (...) {
    if (!temporary.empty()) platform::RemoveFile(temporary);
    throw;
  }
}

std::string Subfolder(const FolderHost& host, const char* name) {
  return host.folder() + name + platform::kPathSeparator;
}

// The report command's answer: its first line, without the line end.
std::string FirstLine(const std::string& output) {
  std::string line = output.substr(0, output.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::string MakeReport(const FolderHost& host, const std::string& request_path) {
  if (!host.report_command().empty()) {
    const platform::CommandResult run = platform::RunCommand(host.report_command(), request_path);
    if (run.exit_code != 0)
      throw Error("the report command ended with status " + std::to_string(run.exit_code));
    return FirstLine(run.output);
  }
  const std::string folder = Subfolder(host, "answers");
  platform::CreateDirectories(folder);
  const std::string report = folder + LastName(request_path) + ".txt";
  const std::uint64_t size = platform::FileSize(request_path).value_or(0);
  platform::WriteFileReplacing(report, "Report of " + host.own_name() + " for request " +
                                           LastName(request_path) + " (" + std::to_string(size) +
                                           " bytes)\r\n");
  return report;
}

PwError PW_CALL GetInterfaceVersion(PwHostServices* self, int32_t* version) {
  *version = Self(self).interface_version();
  return nullptr;
}

PwError PW_CALL GetOwnName(PwHostServices* self, const char** name) {
  *name = Self(self).own_name().c_str();
  return nullptr;
}

PwError PW_CALL ProcessRequestFile(PwHostServices* self, const char* request_path,
                                   const char** report_path) {
  FolderHost& host = Self(self);
  const std::string call = "host: ProcessRequestFile " + Utf8(request_path);
  try {
    const std::string report = MakeReport(host, request_path);
    host.Print(call + " -> " + (report.empty() ? "none" : Utf8(report)));
    *report_path = Keep(report);
    return nullptr;
  } catch (const std::exception& e) {
    host.Print(call + " -> error: " + Utf8(e.what()));
    return KeepError(e);
  }
}

PwError PW_CALL GetRequestFile(PwHostServices* self, const char* station_name,
                               const char** request_path) {
  FolderHost& host = Self(self);
  const std::string name = station_name;
  const std::string call = "host: GetRequestFile " + Utf8(name);
  try {
    std::string request;
    if (!PlainFileName(name)) {
      host.Print(call + " -> none (not a plain file name)");
    } else {
      const std::string path = Subfolder(host, "requests") + name;
      if (platform::FileExists(path)) request = path;
      host.Print(call + " -> " + (request.empty() ? "none" : Utf8(request)));
    }
    *request_path = Keep(request);
    return nullptr;
  } catch (const std::exception& e) {
    host.Print(call + " -> error: " + Utf8(e.what()));
    return KeepError(e);
  }
}

PwError PW_CALL ProcessReportFile(PwHostServices* self, const char* station_name,
                                  const char* report_path, const char** result) {
  FolderHost& host = Self(self);
  const std::string call = "host: ProcessReportFile " + Utf8(station_name) + " " + Utf8(report_path);
  try {
    const std::string name = LastName(report_path);
    if (!PlainFileName(name)) throw Error("not a report file: " + std::string(report_path));
    const std::string folder = Subfolder(host, "reports");
    platform::CreateDirectories(folder);
    CopyFile(report_path, folder + name);
    host.Print(call + " -> " + Utf8(folder + name));
    *result = Keep({});
    return nullptr;
  } catch (const std::exception& e) {
    host.Print(call + " -> error: " + Utf8(e.what()));
    return KeepError(e);
  }
}

PwError PW_CALL GetMainMenu(PwHostServices* self, PwMenuItem** root) {
  *root = &Self(self).MainMenu();
  return nullptr;
}

PwError PW_CALL CreateMenuItem(PwHostServices* self, PwMenuItem* parent, int32_t, PwMenuItem** item) {
  if (parent == nullptr) return "CreateMenuItem: no parent";
  try {
    *item = &Self(self).AppendItem(*parent);
    return nullptr;
  } catch (const std::exception& e) {
    return KeepError(e);
  }
}

PwError PW_CALL GetCurrentStation(PwHostServices* self, int32_t, const PwStationInfo** station) {
  thread_local FolderHost::Station kept;
  thread_local PwStationInfo info;
  kept = Self(self).CurrentStation();
  info = PwStationInfo{kept.number, kept.name.c_str(), kept.address.c_str()};
  *station = &info;
  return nullptr;
}

PwError PW_CALL UpdateTableField(PwHostServices* self, const char* table, const char* field,
                                 const char* station_name) {
  Self(self).Print("host: UpdateTableField " + text::utf8_from_cp1251(table) + " " +
                   text::utf8_from_cp1251(field) + " " + text::utf8_from_cp1251(station_name));
  return nullptr;
}

constexpr PwHostServicesVtbl kVtbl = {
    GetInterfaceVersion, GetOwnName,     nullptr, ProcessRequestFile, GetRequestFile,
    nullptr,             ProcessReportFile, GetMainMenu, CreateMenuItem, nullptr,
    GetCurrentStation,   nullptr,        UpdateTableField};

}  // namespace

FolderHost::FolderHost(std::string host_folder, std::string own_name, int interface_version,
                       std::function<void(const std::string&)> print)
    : PwHostServices{&kVtbl},
      folder_(std::move(host_folder)),
      own_name_(std::move(own_name)),
      interface_version_(interface_version),
      print_(std::move(print)) {}

void FolderHost::SetCurrentStation(Station station) {
  MutexLock lock(station_mu_);
  station_ = std::move(station);
}

FolderHost::Station FolderHost::CurrentStation() const {
  MutexLock lock(station_mu_);
  return station_;
}

}  // namespace pw::host

#include "host/folder_host.h"

#include "platform/files.h"
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
  Self(self).Print("host: ProcessRequestFile " + text::utf8_from_cp1251(request_path));
  *report_path = Keep({});
  return nullptr;
}

PwError PW_CALL GetRequestFile(PwHostServices* self, const char* station_name,
                               const char** request_path) {
  Self(self).Print("host: GetRequestFile " + text::utf8_from_cp1251(station_name));
  *request_path = Keep({});
  return nullptr;
}

PwError PW_CALL ProcessReportFile(PwHostServices* self, const char* station_name,
                                  const char* report_path, const char** result) {
  Self(self).Print("host: ProcessReportFile " + text::utf8_from_cp1251(station_name) + " " +
                   text::utf8_from_cp1251(report_path));
  *result = Keep({});
  return nullptr;
}

PwError PW_CALL GetMainMenu(PwHostServices* self, PwMenuItem** root) {
  *root = &Self(self).menu();
  return nullptr;
}

PwError PW_CALL CreateMenuItem(PwHostServices*, PwMenuItem* parent, int32_t, PwMenuItem** item) {
  if (parent == nullptr) return "CreateMenuItem: no parent";
  *item = &static_cast<HostMenuItem*>(parent)->Append();
  return nullptr;
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
  std::lock_guard lock(station_mu_);
  station_ = std::move(station);
}

FolderHost::Station FolderHost::CurrentStation() const {
  std::lock_guard lock(station_mu_);
  return station_;
}

}  // namespace pw::host

#include "services/host_services.h"

#include "platform/error.h"
#include "text/cp1251.h"

namespace pw {

namespace {

void Check(PwError error) {
  if (error != nullptr) throw Error(error, ErrorKind::kHost);
}

std::string Copy(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

// A slot the host left empty fails like any other host error.
template <typename Slot>
Slot Require(Slot slot) {
  if (slot == nullptr) throw Error("host: missing service"_w.data(), ErrorKind::kHost);
  return slot;
}

}  // namespace

std::string MenuItem::Caption() const {
  const char* caption = nullptr;
  Check(Require(item_->vtbl->GetCaption)(item_, &caption));
  return Copy(caption);
}

void MenuItem::SetCaption(const std::string& caption) const {
  Check(Require(item_->vtbl->SetCaption)(item_, caption.c_str()));
}

void MenuItem::SetHint(const std::string& hint) const {
  Check(Require(item_->vtbl->SetHint)(item_, hint.c_str()));
}

void MenuItem::SetHelpContext(std::int32_t context) const {
  Check(Require(item_->vtbl->SetHelpContext)(item_, context));
}

void MenuItem::SetShortCut(std::uint16_t shortcut) const {
  Check(Require(item_->vtbl->SetShortCut)(item_, shortcut));
}

void MenuItem::SetOnClick(PwClickHandler handler, void* context) const {
  Check(Require(item_->vtbl->SetOnClick)(item_, handler, context));
}

std::int32_t MenuItem::Count() const {
  std::int32_t count = 0;
  Check(Require(item_->vtbl->Count)(item_, &count));
  return count;
}

MenuItem MenuItem::Item(std::int32_t index) const {
  PwMenuItem* child = nullptr;
  Check(Require(item_->vtbl->Item)(item_, index, &child));
  return MenuItem(child);
}

MenuItem MenuItem::Find(const std::string& caption) const {
  PwMenuItem* child = nullptr;
  Check(Require(item_->vtbl->Find)(item_, caption.c_str(), &child));
  return MenuItem(child);
}

std::int32_t HostServices::GetInterfaceVersion() const {
  std::int32_t version = 0;
  Check(Require(host_->vtbl->GetInterfaceVersion)(host_, &version));
  return version;
}

std::string HostServices::GetOwnName() const {
  const char* name = nullptr;
  Check(Require(host_->vtbl->GetOwnName)(host_, &name));
  return Copy(name);
}

std::string HostServices::ProcessRequestFile(const std::string& request_path) const {
  const char* report = nullptr;
  Check(Require(host_->vtbl->ProcessRequestFile)(host_, request_path.c_str(), &report));
  return Copy(report);
}

std::string HostServices::GetRequestFile(const std::string& station_name) const {
  const char* request = nullptr;
  Check(Require(host_->vtbl->GetRequestFile)(host_, station_name.c_str(), &request));
  return Copy(request);
}

void HostServices::ProcessReportFile(const std::string& station_name,
                                     const std::string& report_path) const {
  const char* unused = nullptr;
  Check(Require(host_->vtbl->ProcessReportFile)(host_, station_name.c_str(), report_path.c_str(),
                                                &unused));
}

MenuItem HostServices::GetMainMenu() const {
  PwMenuItem* root = nullptr;
  Check(Require(host_->vtbl->GetMainMenu)(host_, &root));
  if (root == nullptr) throw Error("host: no main menu"_w.data(), ErrorKind::kHost);
  return MenuItem(root);
}

MenuItem HostServices::CreateMenuItem(const MenuItem& parent, std::int32_t index) const {
  PwMenuItem* item = nullptr;
  Check(Require(host_->vtbl->CreateMenuItem)(host_, parent.get(), index, &item));
  if (item == nullptr) throw Error("host: no menu item made"_w.data(), ErrorKind::kHost);
  return MenuItem(item);
}

StationInfo HostServices::GetCurrentStation(std::int32_t which) const {
  const PwStationInfo* info = nullptr;
  Check(Require(host_->vtbl->GetCurrentStation)(host_, which, &info));
  if (info == nullptr) throw Error("host: no current station"_w.data(), ErrorKind::kHost);
  return StationInfo{info->Number, Copy(info->Name), Copy(info->Address)};
}

void HostServices::UpdateTableField(const std::string& table, const std::string& field,
                                    const std::string& station_name) const {
  Check(Require(host_->vtbl->UpdateTableField)(host_, table.c_str(), field.c_str(),
                                               station_name.c_str()));
}

}  // namespace pw

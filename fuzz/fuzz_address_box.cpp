// The remembered office addresses (IPs of cnf.INI): the stored value parsed,
// written back unchanged in meaning, and an address remembered on top.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "services/event_log.h"
#include "services/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pw;
  const std::string stored(fuzz::Bytes(data, size));
  std::vector<std::string> list = ParseRememberedAddresses(stored);
  if (ParseRememberedAddresses(FormatRememberedAddresses(list)) != list) __builtin_trap();
  if (!list.empty()) {
    std::vector<std::string> items;
    const std::string address = list.back();
    const std::size_t before = list.size();
    RememberAddress(address, list, items);
    if (list.empty() || list[0] != address || items != list || list.size() > before) __builtin_trap();
  }
  return 0;
}

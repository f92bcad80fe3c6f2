// cnf.INI as a file someone else wrote: every key of the settings read, then
// one key written and read back.
#include <cstdint>
#include <fstream>

#include "fuzz_support.h"
#include "platform/error.h"
#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pw;
  const std::string path = fuzz::ScratchFolder() + "cnf.INI";
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
  IniFile ini(path);
  for (const char* key : {"IPs", "Password", "PasswordEnable", "ReadTimeOut", "Port", ""}) {
    (void)ini.ReadString("Inet", key, "def");
    (void)ini.ReadInteger("inet", key, -1);
    (void)ini.ReadBool("INET", key, false);
  }
  try {
    ini.WriteString("Inet", "IPs", "10.0.0.1\t10.0.0.2\t");
  } catch (const Error&) {
    return 0;
  }
  if (ini.ReadString("Inet", "IPs", "") != "10.0.0.1\t10.0.0.2\t") __builtin_trap();
  return 0;
}

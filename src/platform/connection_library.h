// The separate connection library ("Dialgate.so" in the installation folder
// here, "Dialgate.dll" on Windows): a library outside this system that brings
// an Internet connection up and takes it down. It exports four entry points,
// each of which may be missing:
//
//     unsigned char Connect(unsigned char code);
//     unsigned char Disconnect(unsigned char code);
//     unsigned char GetConnectState(unsigned char code);
//     unsigned char AutoDisconnectValue(unsigned char code);
//
// On 32-bit Windows each is __stdcall with an undecorated name. A one-byte
// result (nonzero = true) is read from the low byte of the return register,
// which is right both for a one-byte boolean and for a 0/1 BOOL; the byte
// argument takes a whole stack slot under __stdcall either way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The entry points' calling convention: __stdcall on 32-bit Windows, the
// only convention elsewhere.
#if defined(_WIN32) && defined(__i386__)
#define PW_CONNECTION_CALL __stdcall
#else
#define PW_CONNECTION_CALL
#endif

namespace pw::platform {

class DynamicLibrary;

enum class ConnectionEntry { Connect, Disconnect, GetConnectState, AutoDisconnectValue };

class ConnectionLibrary {
 public:
  // The library at path, or nullptr when it cannot be loaded (missing, not a
  // library, wrong architecture): the caller then goes without it. Never raises.
  static std::unique_ptr<ConnectionLibrary> Open(const std::string& path) noexcept;
  ~ConnectionLibrary();
  ConnectionLibrary(const ConnectionLibrary&) = delete;
  ConnectionLibrary& operator=(const ConnectionLibrary&) = delete;

  bool Has(ConnectionEntry entry) const;
  // Calls the entry point with code; false when the library lacks it. Any
  // thread, several at once: the library is expected to cope.
  bool Call(ConnectionEntry entry, std::uint8_t code) const;

 private:
  using EntryPoint = unsigned char(PW_CONNECTION_CALL*)(unsigned char);
  explicit ConnectionLibrary(std::unique_ptr<DynamicLibrary> library);

  std::unique_ptr<DynamicLibrary> library_;
  EntryPoint entries_[4] = {};
};

// Where the plug-in looks for the library: the installation folder + its
// file name on this OS.
std::string ConnectionLibraryPath();

}  // namespace pw::platform

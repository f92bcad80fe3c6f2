// CNG's SHA-256 provider (bcrypt.dll, part of Windows since Vista). The
// provider handle is opened once per process; each hash owns its object
// buffer and handle.
#include "platform/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/error.h"

namespace pw::platform {

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

[[noreturn]] void Fail(const char* call, NTSTATUS status) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(status));
  throw Error(std::string(call) + " failed: " + code);
}

// Opened on first use and kept for the process: closing it while another
// thread hashes would break that hash.
BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    const NTSTATUS status = BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!Succeeded(status)) Fail("BCryptOpenAlgorithmProvider", status);
    return handle;
  }();
  return provider;
}

ULONG ObjectLength() {
  static const ULONG length = [] {
    DWORD value = 0;
    ULONG written = 0;
    const NTSTATUS status = BCryptGetProperty(Provider(), BCRYPT_OBJECT_LENGTH,
                                              reinterpret_cast<PUCHAR>(&value), sizeof value, &written, 0);
    if (!Succeeded(status)) Fail("BCryptGetProperty", status);
    return static_cast<ULONG>(value);
  }();
  return length;
}

}  // namespace

struct Sha256::State {
  std::vector<UCHAR> object;
  BCRYPT_HASH_HANDLE hash = nullptr;

  void Open() {
    const NTSTATUS status = BCryptCreateHash(Provider(), &hash, object.data(),
                                             static_cast<ULONG>(object.size()), nullptr, 0, 0);
    if (!Succeeded(status)) Fail("BCryptCreateHash", status);
  }
  void Close() {
    if (hash) BCryptDestroyHash(hash);
    hash = nullptr;
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->object.resize(ObjectLength());
  state_->Open();
}

Sha256::~Sha256() { state_->Close(); }

void Sha256::Update(const void* data, std::size_t size) {
  // BCryptHashData takes a ULONG count: a larger piece goes in parts.
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {
    const ULONG count = static_cast<ULONG>(size > 0x40000000u ? 0x40000000u : size);
    const NTSTATUS status = BCryptHashData(state_->hash, bytes, count, 0);
    if (!Succeeded(status)) Fail("BCryptHashData", status);
    bytes += count;
    size -= count;
  }
}

Sha256Digest Sha256::Final() {
  Sha256Digest digest;
  const NTSTATUS status = BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  if (!Succeeded(status)) Fail("BCryptFinishHash", status);
  // A finished CNG hash cannot be fed again: start a new one.
  state_->Close();
  state_->Open();
  return digest;
}

}  // namespace pw::platform

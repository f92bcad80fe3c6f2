// SHA-256 of a byte stream fed in pieces, from the system's own library:
// Nettle on POSIX, CNG (bcrypt.dll) on Windows. A body is hashed as it
// streams, so the file is never read a second time for its digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pw::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything fed so far; the hash starts over afterwards.
  Sha256Digest Final();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The 64 lower-case hex digits of digest.
std::string HexDigest(const Sha256Digest& digest);

}  // namespace pw::platform

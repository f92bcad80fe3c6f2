// Bytes as they travel in a body: a recognisable pattern, the int4 of an
// acknowledgement, and exact reads from a raw peer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/tcp.h"

namespace pw::test {

// n bytes that repeat only after a long stretch, so a shifted or dropped
// piece shows.
inline std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return s;
}

// Big-endian signed 32-bit, as acknowledgements travel.
inline std::string Int4(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
          static_cast<char>(u)};
}

inline std::string ReadExactly(platform::TcpConnection& c, std::size_t n) {
  std::string s(n, '\0');
  c.ReadExact(s.data(), n);
  return s;
}

}  // namespace pw::test

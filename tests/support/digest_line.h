// The log line that follows the success line of a whole body, for the
// transcripts the tests expect.
#pragma once

#include <string>

#include "platform/sha256.h"
#include "protocol/body_transfer.h"

namespace pw::test {

inline std::string Sha256Hex(const std::string& body) {
  platform::Sha256 hash;
  hash.Update(body.data(), body.size());
  return platform::HexDigest(hash.Final());
}

inline std::string DigestLine(const std::string& body, const std::string& path) {
  return protocol::DigestLine(Sha256Hex(body), path);
}

}  // namespace pw::test

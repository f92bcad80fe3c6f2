// DecodePassword over a stored Password value; and a password scrambled
// then read back must be the same password.
#include <cstdint>

#include "fuzz_support.h"
#include "services/password_scrambling.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pw;
  const std::string_view bytes = fuzz::Bytes(data, size);
  (void)DecodePassword(kPasswordKey, bytes);
  (void)IsScrambledForm(bytes);
  // The first line is a key, the rest a plain password.
  const std::size_t cut = bytes.find('\n');
  const std::string_view key = cut == std::string_view::npos ? kPasswordKey : bytes.substr(0, cut);
  const std::string_view plain = cut == std::string_view::npos ? bytes : bytes.substr(cut + 1);
  const std::string stored = EncodePassword(key, plain);
  // An empty key (an empty IntLogin) keeps no password at all.
  const std::string_view expected = key.empty() ? std::string_view() : plain;
  if (!IsScrambledForm(stored) || DecodePassword(key, stored) != expected) __builtin_trap();
  return 0;
}

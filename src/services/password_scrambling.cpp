#include "services/password_scrambling.h"

#include <array>

namespace pw {

namespace {

// Built into the scrambling; the given key is mixed into it at run time and
// the mixed key is never stored.
constexpr std::string_view kBuiltInKey = "lanternsflickerbeyondthemarshes";
static_assert(kBuiltInKey.size() == 31);

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string ScrambleText(std::string_view key, std::string_view data) {
  if (key.empty()) return {};
  std::array<char, kBuiltInKey.size()> mixed{};
  for (std::size_t i = 0; i < mixed.size(); ++i)
    mixed[i] = static_cast<char>(kBuiltInKey[i] ^ key[i % key.size()]);
  std::string out(data);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char>(out[i] ^ mixed[i % mixed.size()]);
  return out;
}

std::string EncodePassword(std::string_view key, std::string_view plain) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::string scrambled = ScrambleText(key, plain);
  std::string out;
  out.reserve(scrambled.size() * 2);
  for (const char c : scrambled) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

// A pair that is not two hexadecimal digits ends the stored text: the bytes
// decoded before it are unscrambled and returned, the rest is dropped. A
// damaged file thus gives a password that fails the check instead of an
// error that would stop the plug-in from loading.
std::string DecodePassword(std::string_view key, std::string_view stored) {
  std::string bytes;
  bytes.reserve(stored.size() / 2);
  for (std::size_t i = 0; i + 1 < stored.size(); i += 2) {
    const int hi = HexDigit(stored[i]);
    const int lo = HexDigit(stored[i + 1]);
    if (hi < 0 || lo < 0) break;
    bytes += static_cast<char>(hi * 16 + lo);
  }
  return ScrambleText(key, bytes);
}

bool IsScrambledForm(std::string_view stored) {
  if (stored.size() % 2 != 0) return false;
  for (const char c : stored)
    if (HexDigit(c) < 0) return false;
  return true;
}

}  // namespace pw

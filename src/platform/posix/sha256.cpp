// Nettle: a plain context struct, no allocation, no global set-up or
// configuration file, and no error to handle; Debian's build picks the
// SHA extensions of the CPU at run time when it has them.
#include "platform/sha256.h"

#include <nettle/sha2.h>

namespace pw::platform {

struct Sha256::State {
  sha256_ctx context;
};

Sha256::Sha256() : state_(std::make_unique<State>()) { sha256_init(&state_->context); }

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  if (size > 0) sha256_update(&state_->context, size, static_cast<const std::uint8_t*>(data));
}

Sha256Digest Sha256::Final() {
  Sha256Digest digest;
  sha256_digest(&state_->context, digest.size(), digest.data());  // and re-initialises
  return digest;
}

}  // namespace pw::platform

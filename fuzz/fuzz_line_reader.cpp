// The line and number-line readers over the bytes a peer sends: lines until
// the peer's close, each read as a number line when the previous one said so.
#include <cstdint>

#include "fuzz_support.h"
#include "platform/error.h"
#include "protocol/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pw;
  if (size > fuzz::kMaxPeerBytes) return 0;
  auto [end, peer] = platform::ConnectionPairAfterSending(fuzz::Bytes(data, size));
  end.SetReadTimeout(1000);  // the bytes are all there: never reached
  protocol::Session session(end);
  bool number_next = false;
  try {
    for (;;) {
      if (number_next) {
        number_next = session.ReadNumberLine() % 2 != 0;
      } else {
        const std::string line = session.ReadLine();
        number_next = !line.empty() && line[0] == '#';
        try {
          (void)protocol::ParseNumberLine(line);
        } catch (const Error&) {
        }
      }
    }
  } catch (const platform::ConnectionClosed&) {
  } catch (const Error&) {
    // A line too long or not a number: the connection would end here.
  }
  return 0;
}

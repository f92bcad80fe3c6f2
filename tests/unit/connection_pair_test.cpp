// The in-memory connection pair the fuzz programs feed the listeners with:
// both ends behave as a TCP connection does (lines, close, a peer's bytes
// there before the first read).
#include "platform/connection_pair.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "protocol/session.h"

namespace pw::platform {
namespace {

TEST(ConnectionPair, EachEndReadsWhatTheOtherWrites) {
  auto [a, b] = ConnectionPair();
  a.SetReadTimeout(5000);
  b.SetReadTimeout(5000);
  protocol::Session first(a), second(b);
  first.WriteLine("OK");
  EXPECT_EQ(second.ReadLine(), "OK");
  second.WriteNumberLine(-17);
  EXPECT_EQ(first.ReadNumberLine(), -17);
  b.Disconnect();
  EXPECT_THROW(first.ReadLine(), ConnectionClosed);
}

TEST(ConnectionPair, SentBytesAreReadThenTheCloseWhileRepliesStillGo) {
  auto [end, peer] = ConnectionPairAfterSending("name\r\npassword\r\n");
  end.SetReadTimeout(5000);
  peer.SetReadTimeout(5000);
  protocol::Session session(end);
  EXPECT_EQ(session.ReadLine(), "name");
  session.WriteLine("OK");  // the peer only closed its sending side
  EXPECT_EQ(session.ReadLine(), "password");
  EXPECT_THROW(session.ReadLine(), ConnectionClosed);
  EXPECT_EQ(protocol::Session(peer).ReadLine(), "OK");
}

TEST(ConnectionPair, MoreThanTheBufferHoldsIsRefusedNotWaitedFor) {
  EXPECT_THROW(ConnectionPairAfterSending(std::string(8 * 1024 * 1024, 'x')), Error);
}

}  // namespace
}  // namespace pw::platform

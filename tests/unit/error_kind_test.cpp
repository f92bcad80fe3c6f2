// Errors tell their kind whatever words the OS gives them: the platform's
// sockets and files and the host's services each raise theirs.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "pumpwire/plugin.h"
#include "raw_peer.h"
#include "services/host_services.h"
#include "temp_folder.h"

namespace pw {
namespace {

using platform::TcpConnection;

// The kind of what fn raises; fails the test when it raises nothing.
template <class Fn>
ErrorKind KindRaised(Fn fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    return KindOf(e);
  }
  ADD_FAILURE() << "nothing raised";
  return ErrorKind::kOther;
}

PwError PW_CALL FailingGetOwnName(PwHostServices*, const char** name) {
  *name = nullptr;
  return "no name today";
}

TEST(ErrorKindTest, SocketsTellARefusalATimeoutAndACloseApart) {
  const int nobody = test::FreePort();
  EXPECT_EQ(KindRaised([&] { TcpConnection::Connect(test::kLoopback, nobody, test::kWaitMs); }),
            ErrorKind::kRefused);

  platform::TcpListener listener(test::kLoopback, 0);
  TcpConnection client = TcpConnection::Connect(test::kLoopback, listener.Port(), test::kWaitMs);
  std::optional<TcpConnection> served = listener.Accept(test::kWaitMs);
  ASSERT_TRUE(served);
  client.SetReadTimeout(20);
  EXPECT_EQ(KindRaised([&] { client.ReadByte(); }), ErrorKind::kTimeout);
  served->Disconnect();
  client.SetReadTimeout(test::kWaitMs);
  EXPECT_EQ(KindRaised([&] { client.ReadByte(); }), ErrorKind::kClosed);
  client.Disconnect();
  EXPECT_EQ(KindRaised([&] { client.Write("late"); }), ErrorKind::kClosed);
}

TEST(ErrorKindTest, FilesAndTheHostsServicesTellTheirsAndOtherErrorsNone) {
  test::TempFolder folder;
  EXPECT_EQ(KindRaised([&] { platform::ReadWholeFile(folder.path() + "missing"); }), ErrorKind::kFile);
  EXPECT_EQ(KindRaised([&] { platform::RenameReplacing(folder.path() + "a", folder.path() + "b"); }),
            ErrorKind::kFile);

  PwHostServicesVtbl vtbl{};
  vtbl.GetOwnName = FailingGetOwnName;
  PwHostServices raw{&vtbl};
  const HostServices host(&raw);
  EXPECT_EQ(KindRaised([&] { host.GetOwnName(); }), ErrorKind::kHost);
  EXPECT_EQ(KindRaised([&] { host.GetRequestFile("x"); }), ErrorKind::kHost) << "a missing slot";

  EXPECT_EQ(KindOf(std::runtime_error("other")), ErrorKind::kOther);
  EXPECT_EQ(KindOf(Error("plain")), ErrorKind::kOther);
}

}  // namespace
}  // namespace pw

#include "connection/internet_connection.h"


#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "connection/plugin_connection.h"
#include "dialgate_file.h"
#include "fake_dial_up.h"
#include "platform/connection_library.h"
#include "platform/dial_up.h"
#include "platform/environment.h"
#include "platform/error.h"
#include "platform/files.h"
#include "services/settings.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "sync/mutex.h"

namespace pw::test {
namespace {

using connection::InternetConnection;
using platform::ConnectionEntry;
using platform::ConnectionLibrary;
using platform::kConnectionLan;
using platform::kConnectionModem;
using platform::kConnectionProxy;
using text::utf8_from_cp1251;
using Lines = std::vector<std::string>;

// The lines a connection step logs, in UTF-8 for readable failures.
struct LogLines {
  Lines lines;
  Mutex mu;
  connection::LogLine sink() {
    return [this](std::string_view line) {
      MutexLock lock(mu);
      lines.push_back(utf8_from_cp1251(line));
    };
  }
};

// ---- The connection library -------------------------------------------------

// The fake library's answers and its call log, per test.
class ConnectionLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetEnvironmentValue("FAKE_DIALGATE_LOG", (root_ / "dialgate.log").c_str()); }
  void TearDown() override {
    platform::SetEnvironmentValue("FAKE_DIALGATE_LOG", nullptr);
    platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", nullptr);
  }
  void Answers(const char* answers) { platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", answers); }
  // The calls since the library was loaded.
  std::string Calls() {
    std::string all = ReadFile(root_ / "dialgate.log");
    const auto load = all.find("load\n");
    return load == std::string::npos ? all : all.substr(load + 5);
  }

  TempFolder root_;
  FakeConnectedState state_{{{true, kConnectionLan}}};
  FakeDialUp dial_up_;
  Settings settings_;
  LogLines log_;
};

TEST_F(ConnectionLibraryTest, AbsentWhenMissingOrNotALibraryAndThenTheSystemIsAsked) {
  EXPECT_EQ(ConnectionLibrary::Open(root_ / DialgateFile()), nullptr);
  WriteFile(root_ / DialgateFile(), "not a library");
  EXPECT_EQ(ConnectionLibrary::Open(root_ / DialgateFile()), nullptr);
  EXPECT_EQ(platform::ConnectionLibraryPath(), root_ / DialgateFile());

  InternetConnection c(nullptr, state_, dial_up_, settings_);
  EXPECT_FALSE(c.LibraryPresent());
  EXPECT_TRUE(c.ConnectBeforeExchange(log_.sink()));
  EXPECT_EQ(state_.calls(), 1);
  EXPECT_EQ(log_.lines, Lines{"Соединение с интернет..."});
  c.DisconnectAfterExchange();  // nothing to take down, nothing to call
}

TEST_F(ConnectionLibraryTest, PresentItAloneDecidesWithCodeTwoAndTheSystemIsNeverAsked) {
  const auto library = ConnectionLibrary::Open(PUMPWIRE_FAKE_DIALGATE_PATH);
  ASSERT_NE(library, nullptr);
  for (auto e : {ConnectionEntry::Connect, ConnectionEntry::Disconnect,
                 ConnectionEntry::GetConnectState, ConnectionEntry::AutoDisconnectValue})
    EXPECT_TRUE(library->Has(e));
  InternetConnection c(library.get(), state_, dial_up_, settings_);

  Answers("Connect=1");
  EXPECT_TRUE(c.ConnectBeforeExchange(log_.sink()));
  Answers("Connect=0");
  EXPECT_FALSE(c.ConnectBeforeExchange(log_.sink()));
  EXPECT_EQ(Calls(), "Connect 2\nConnect 2\n");
  EXPECT_EQ(state_.calls(), 0);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(ConnectionLibraryTest, DisconnectOnlyWhenItsConnectionIsUpAndItAsksForIt) {
  const auto library = ConnectionLibrary::Open(PUMPWIRE_FAKE_DIALGATE_PATH);
  ASSERT_NE(library, nullptr);
  InternetConnection c(library.get(), state_, dial_up_, settings_);
  struct Case {
    const char* answers;
    const char* calls;
  } cases[] = {
      {"GetConnectState=1 AutoDisconnectValue=1",
       "GetConnectState 2\nAutoDisconnectValue 2\nDisconnect 2\n"},
      {"GetConnectState=1 AutoDisconnectValue=0", "GetConnectState 2\nAutoDisconnectValue 2\n"},
      {"GetConnectState=0 AutoDisconnectValue=1", "GetConnectState 2\n"},
      {"", "GetConnectState 2\n"},
  };
  for (const Case& k : cases) {
    platform::RemoveFile(root_ / "dialgate.log");
    Answers(k.answers);
    c.DisconnectAfterExchange();
    EXPECT_EQ(ReadFile(root_ / "dialgate.log"), k.calls) << k.answers;
  }
}

TEST_F(ConnectionLibraryTest, AMissingEntryPointAnswersFalse) {
  const auto library = ConnectionLibrary::Open(PUMPWIRE_FAKE_DIALGATE_PARTIAL_PATH);
  ASSERT_NE(library, nullptr);
  EXPECT_FALSE(library->Has(ConnectionEntry::Connect));
  EXPECT_FALSE(library->Has(ConnectionEntry::GetConnectState));
  EXPECT_TRUE(library->Has(ConnectionEntry::AutoDisconnectValue));
  InternetConnection c(library.get(), state_, dial_up_, settings_);

  Answers("Connect=1 GetConnectState=1 AutoDisconnectValue=1");
  // Present but without Connect: the exchange is skipped, the system is not
  // asked in its place.
  EXPECT_FALSE(c.ConnectBeforeExchange(log_.sink()));
  EXPECT_EQ(state_.calls(), 0);
  EXPECT_FALSE(c.LibGetConnectState());
  c.DisconnectAfterExchange();
  EXPECT_EQ(Calls(), "") << "no entry point was there to call";
}

TEST_F(ConnectionLibraryTest, ThePluginsConnectionIsTheProcessesWhileItLives) {
  Answers("Connect=1");
  {
    const connection::PluginConnection loaded(PUMPWIRE_FAKE_DIALGATE_PATH);
    EXPECT_TRUE(loaded.LibraryPresent());
    EXPECT_TRUE(connection::ConnectBeforeExchange(log_.sink()));
    connection::DisconnectAfterExchange();
  }
  EXPECT_EQ(Calls(), "Connect 2\nGetConnectState 2\nunload\n") << "released with it";
  const connection::PluginConnection absent(root_ / DialgateFile());
  EXPECT_FALSE(absent.LibraryPresent());
}

// ---- The connected-state query and the dial-up step --------------------------

class DialTest : public ::testing::Test {
 protected:
  DialTest() {
    settings_.PhonebookEntry.set("Модем");
    settings_.ShowDialUp = false;
    settings_.DialTimeOut = 10000;
  }
  FakeDialUp dial_up_;
  Settings settings_;
  LogLines log_;
};

TEST_F(DialTest, ConnectedOverLanModemOrProxyNeedsNoDial) {
  for (std::uint32_t flags : {kConnectionLan, kConnectionModem, kConnectionProxy}) {
    FakeConnectedState state({{true, flags}});
    InternetConnection c(nullptr, state, dial_up_, settings_);
    LogLines log;
    EXPECT_TRUE(c.EnsureInternetConnection(log.sink()));
    EXPECT_EQ(log.lines, Lines{"Соединение с интернет..."});
  }
  EXPECT_EQ(dial_up_.dialers_created(), 0);
}

TEST_F(DialTest, AFailedQueryWithLanDialsAndLanAloneAfterwardsIsNotEnough) {
  FakeConnectedState state({{false, kConnectionLan}, {true, kConnectionLan}});
  InternetConnection c(nullptr, state, dial_up_, settings_);
  EXPECT_FALSE(c.EnsureInternetConnection(log_.sink()));
  EXPECT_EQ(log_.lines, (Lines{"Соединение с Internet...", "Соединение с интернет не установлено"}));
  EXPECT_EQ(dial_up_.dials(), Lines{"start Модем stored-user stored-password"});
}

TEST_F(DialTest, AModemOrProxyAfterTheDialCountsWhateverTheQueryReports) {
  for (std::uint32_t after : {kConnectionModem, kConnectionProxy}) {
    FakeConnectedState state({{false, 0}, {false, after}});
    InternetConnection c(nullptr, state, dial_up_, settings_);
    LogLines log;
    EXPECT_TRUE(c.EnsureInternetConnection(log.sink()));
    EXPECT_EQ(log.lines, Lines{"Соединение с Internet..."});
  }
}

TEST_F(DialTest, ShowDialUpUsesTheDialogAndDoesNotWait) {
  settings_.ShowDialUp = true;
  dial_up_.outcome = FakeDialUp::Outcome::Silent;  // a wait would last DialTimeOut, 10 s
  FakeConnectedState state({{false, 0}, {true, kConnectionModem}});
  InternetConnection c(nullptr, state, dial_up_, settings_);
  EXPECT_TRUE(c.EnsureInternetConnection(log_.sink()));
  EXPECT_EQ(dial_up_.dials(), Lines{"dialog Модем stored-user stored-password"});
}

TEST_F(DialTest, UserDataReplacesTheStoredCredentialsOnlyWhenOn) {
  FakeConnectedState state({{false, 0}});
  InternetConnection c(nullptr, state, dial_up_, settings_);
  settings_.IntLogin.set("ivanov");
  settings_.IntPassword.set("secret");
  c.DialPhonebookEntry(log_.sink());
  settings_.UserData = true;
  settings_.PhonebookEntry.set("Офис");
  c.DialPhonebookEntry(log_.sink());
  EXPECT_EQ(dial_up_.dials(),
            (Lines{"start Модем stored-user stored-password", "start Офис ivanov secret"}));
  EXPECT_EQ(dial_up_.dialers_created(), 1) << "one dialer, its entry set anew per dial";
}

// A dial has a bound of its own, longer than a TCP connect's: a dial that
// never reports back ends at DialTimeOut, not at ConnectTimeOut.
TEST_F(DialTest, ADialThatNeverReportsBackEndsAtDialTimeOutNotConnectTimeOut) {
  dial_up_.outcome = FakeDialUp::Outcome::Silent;
  settings_.ConnectTimeOut = 50;
  settings_.DialTimeOut = 400;
  FakeConnectedState state({{false, 0}});
  InternetConnection c(nullptr, state, dial_up_, settings_);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(c.EnsureInternetConnection(log_.sink()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_EQ(log_.lines, (Lines{"Соединение с Internet...",
                               "Соединение с Internet не установлено за отведённое время (400 мс)",
                               "Соединение с интернет не установлено"}));
  EXPECT_EQ(connection::kDefaultDialWait, std::chrono::minutes(3));  // when DialTimeOut is below 1
  EXPECT_EQ(Settings().DialTimeOut, 180000);
}

TEST_F(DialTest, AnEarlierDialsNotificationDoesNotEndALaterWait) {
  FakeConnectedState state({{false, 0}});
  InternetConnection c(nullptr, state, dial_up_, settings_);
  c.DialPhonebookEntry(log_.sink());  // connected at once
  dial_up_.outcome = FakeDialUp::Outcome::Silent;
  settings_.DialTimeOut = 50;
  c.DialPhonebookEntry(log_.sink());
  EXPECT_EQ(log_.lines, (Lines{"Соединение с Internet...", "Соединение с Internet...",
                               "Соединение с Internet не установлено за отведённое время (50 мс)"}));
}

TEST_F(DialTest, ADialThatCannotStartOrAnErrorIsNotWaitedFor) {
  FakeConnectedState state({{false, 0}});
  InternetConnection c(nullptr, state, dial_up_, settings_);
  dial_up_.start_result = 623;
  c.DialPhonebookEntry(log_.sink());
  dial_up_.start_result = 0;
  dial_up_.outcome = FakeDialUp::Outcome::DialError;
  c.DialPhonebookEntry(log_.sink());
  settings_.PhonebookEntry.set("Нет такой");
  c.DialPhonebookEntry(log_.sink());
  EXPECT_EQ(log_.lines, (Lines{"Соединение с Internet...", "Соединение с Internet...",
                               "Соединение с Internet...", "Ошибка:"}));
}

TEST_F(DialTest, TwoThreadsDialingAtOnceShareOneDialer) {
  dial_up_.outcome = FakeDialUp::Outcome::ConnectedLater;
  dial_up_.rendezvous = 2;  // both dial before either asks again
  FakeConnectedState state({{false, 0}, {false, 0}, {true, kConnectionModem}});
  InternetConnection c(nullptr, state, dial_up_, settings_);
  std::vector<std::thread> threads;
  std::atomic<int> on_line{0};
  for (int i = 0; i < 2; ++i)
    threads.emplace_back([&] { on_line += c.EnsureInternetConnection(log_.sink()) ? 1 : 0; });
  for (auto& t : threads) t.join();
  EXPECT_EQ(dial_up_.dialers_created(), 1);
  EXPECT_EQ(dial_up_.dials().size(), 2u);
  EXPECT_EQ(on_line, 2);
}

TEST(SystemDialUp, HasNoPhonebookSoTheDialFailsWithItsErrorLine) {
  EXPECT_TRUE(platform::SystemDialUp().PhonebookEntries().empty());
  // A system that reads the parameters of any entry, known or not (Wine's
  // dial-up does), fails at the dial itself, which adds no line of its own.
  bool entry_read = true;
  try {
    platform::SystemDialUp().CreateDialer({})->LoadEntry(text::cp1251_from_utf8("Модем"));
  } catch (const Error&) {
    entry_read = false;
  }
  Settings settings;
  settings.PhonebookEntry.set("Модем");
  settings.ShowDialUp = false;
  FakeConnectedState state({{false, 0}});
  InternetConnection c(nullptr, state, platform::SystemDialUp(), settings);
  LogLines log;
  EXPECT_FALSE(c.ConnectBeforeExchange(log.sink()));
  if (entry_read)
    EXPECT_EQ(log.lines, (Lines{"Соединение с Internet...", "Соединение с интернет не установлено"}));
  else
    EXPECT_EQ(log.lines, (Lines{"Соединение с Internet...", "Ошибка:",
                                "Соединение с интернет не установлено"}));
}

TEST(SystemConnectedState, AnswersLanOrNothing) {
  std::uint32_t flags = 7;
  const bool ok = platform::SystemConnectedState().GetConnectedState(flags);
  EXPECT_EQ(ok ? kConnectionLan : 0u, flags);
}

}  // namespace
}  // namespace pw::test

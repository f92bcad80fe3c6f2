#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "interactive/interactive_form.h"
#include "interactive/message_history.h"
#include "interactive/show_history_form.h"
#include "interactive/text_input_form.h"
#include "process_state.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/screen.h"
#include "platform/tcp.h"
#include "services/event_log.h"
#include "services/folders.h"
#include "shell/plugin_state.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"

namespace pw::interactive {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kStampAndDash = 24 + 3;  // "dd.mm.yyyy hh:nn:ss:zzz " + " - "

std::string W(std::string_view s) { return std::string(s); }
int ScreenWidth() { return platform::PrimaryScreenSize().width; }
int ScreenHeight() { return platform::PrimaryScreenSize().height; }

class MessageWindowTest : public test::ProcessStateTest {
 protected:
  void SetUp() override {
    platform::CreateDirectories(CurrentFolders().log_files);
    op.SetObserver([this](const std::string& caption, const std::string& text, ui::Answer) {
      boxes.push_back(caption + "|" + text);
    });
  }

  // The texts of the history's lines, without their stamps.
  static std::vector<std::string> HistoryTexts() {
    std::vector<std::string> texts;
    const std::string h = test::ReadFile(CurrentFolders().history_file);
    std::size_t start = 0;
    for (std::size_t end; (end = h.find("\r\n", start)) != std::string::npos; start = end + 2)
      texts.push_back(h.substr(start + kStampAndDash, end - start - kStampAndDash));
    EXPECT_EQ(start, h.size()) << "the file ends in a whole line";
    return texts;
  }

  test::TempFolder root;
  ui::Dispatcher& d = ui::Dispatcher::instance();
  ui::Operator& op = ui::Operator::instance();
  std::vector<std::string> boxes;  // "caption|text" of every message box
};

TEST_F(MessageWindowTest, HistoryLinesAreStampedAndKeepTheirTextByteForByte) {
  AppendHistory("Отправлено: 100% %s %d\rвторая"_w);
  const std::string h = test::ReadFile(CurrentFolders().history_file);
  const std::string shape = "dd.dd.dddd dd:dd:dd:ddd  - ";  // d: a digit
  ASSERT_GE(h.size(), shape.size());
  for (std::size_t i = 0; i < shape.size(); ++i)
    EXPECT_TRUE(shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(h[i])) : h[i] == shape[i])
        << h;
  EXPECT_EQ(HistoryTexts(), std::vector<std::string>{W("Отправлено: 100% %s %d\rвторая"_w)});

  // A failed write reaches the caller with the log lock released again.
  platform::RemoveFile(CurrentFolders().history_file);
  platform::CreateDirectories(CurrentFolders().history_file + "/");
  EXPECT_THROW(AppendHistory("x"), Error);
  AddToLog("after the failure");  // would hang on a lock left held
}

TEST_F(MessageWindowTest, HistoryIsSetAsideOnlyWhenAboveTheLimit) {
  const std::string path = CurrentFolders().history_file;
  const std::string day_before = path + platform::ShortDateText(platform::Now());
  const std::size_t line = kStampAndDash + 1 + 2;

  test::WriteFile(path, std::string(kRotationLimit - line, 'a'));
  AppendHistory("x");  // exactly at the limit: stays
  EXPECT_EQ(FileSizeByName(path), kRotationLimit);
  AppendHistory("x");  // one line above: set aside at once
  EXPECT_FALSE(platform::FileExists(path));
  const std::string day_after = path + platform::ShortDateText(platform::Now());
  EXPECT_EQ(FileSizeByName(platform::FileExists(day_after) ? day_after : day_before),
            kRotationLimit + line);

  test::WriteFile(path, std::string(kRotationLimit, 'b'));
  AppendHistory("x");  // the same day again: the first set-aside stays, this one is ".2"
  if (path + platform::ShortDateText(platform::Now()) != day_before) GTEST_SKIP() << "the day changed";
  EXPECT_EQ(test::ReadFile(day_before).substr(0, 1), "a");
  EXPECT_EQ(test::ReadFile(day_before + ".2").substr(0, 1), "b");
}

TEST_F(MessageWindowTest, ConcurrentHistoryAndLogWritersNeverTear) {
  constexpr int kThreads = 6, kLines = 200;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        AppendHistory(std::to_string(t) + " " + std::to_string(i) + " " + std::string(50, 'a' + t));
        if (i % 10 == 0) AddToLog("log");
      }
    });
  for (auto& w : writers) w.join();

  std::set<std::string> seen;
  for (const std::string& text : HistoryTexts()) {
    EXPECT_EQ(text.substr(text.size() - 50), std::string(50, 'a' + (text[0] - '0'))) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST_F(MessageWindowTest, ANoticeSlidesInFromBelowTheScreenAndStopsInTheCorner) {
  TInteractiveForm form{State()};
  EXPECT_FALSE(form.visible);
  EXPECT_EQ(form.top, ScreenHeight() + 1500);

  form.ShowIncoming("Получено сообщение из ОФиса!"_w, "раз\rдва"_w);
  EXPECT_TRUE(form.visible);
  EXPECT_EQ(form.top, ScreenHeight());
  EXPECT_EQ(form.width, 380);
  EXPECT_EQ(form.height, 160);
  EXPECT_EQ(form.caption, W("Получено сообщение из ОФиса!"_w));
  EXPECT_EQ(form.Label1.caption, W("раз\rдва"_w));
  for (int step = 1; step < 32; ++step) {
    form.Timer1Timer();
    ASSERT_TRUE(form.Timer1.enabled()) << "stopped early at step " << step;
  }
  form.Timer1Timer();
  EXPECT_FALSE(form.Timer1.enabled());
  EXPECT_EQ(form.left, ScreenWidth() - 380);
  EXPECT_EQ(form.top, ScreenHeight() - 160);
  EXPECT_EQ(HistoryTexts(), std::vector<std::string>{W("Принято : раз\rдва"_w)});

  // The same slide through the dispatcher's own timer.
  form.FormClose();
  form.ShowIncoming("t", "b");
  ASSERT_TRUE(d.run_until([&] { return !form.Timer1.enabled(); }, 30s));
  EXPECT_EQ(form.top, ScreenHeight() - 160);
}

TEST_F(MessageWindowTest, ANoticeWhileShownKeepsPlaceAndSizeAndNamesTheSenderAtTheOffice) {
  State().mode = kOfficeMode;
  TInteractiveForm form{State()};
  form.ShowIncoming("от АЗС 1"_w, "первое"_w, "АЗС 1"_w);
  while (form.Timer1.enabled()) form.Timer1Timer();
  form.left = 17;  // the operator moved and widened it
  form.width = 401;

  const std::string body = W("Принят файл от АЗС 2\r\nC:\\x\r\nРазмер: 3 байт"_w);
  form.ShowIncoming("Принят файл от АЗС 2"_w, body, "АЗС 2"_w);
  EXPECT_EQ(form.left, 17);
  EXPECT_EQ(form.top, ScreenHeight() - 160);
  EXPECT_EQ(form.width, 401);
  EXPECT_FALSE(form.Timer1.enabled());
  EXPECT_EQ(form.caption, W("Принят файл от АЗС 2"_w));
  EXPECT_EQ(form.Label1.caption, body);
  const std::string h = test::ReadFile(CurrentFolders().history_file);
  EXPECT_NE(h.find(W("  - Принято от АЗС 1 : первое\r\n"_w)), std::string::npos) << h;
  EXPECT_NE(h.find("  - " + W("Принято от АЗС 2 : "_w) + body + "\r\n"), std::string::npos) << h;
}

TEST_F(MessageWindowTest, TheHistoryShowsAPeersControlBytesButKeepsTheBodysLineBreaks) {
  State().mode = kOfficeMode;
  TInteractiveForm form{State()};
  const std::string station("A\rB\0", 4);
  const std::string body = W("Принят файл от "_w) + station + W("\r\nC:\\x\r\nРазмер: 3 байт"_w);
  form.ShowIncoming("t", body, station);
  const std::string text("a\0b\x1B[2J\r", 8);
  form.ShowIncoming("t", text, "C");
  EXPECT_EQ(form.Label1.caption, text);  // the window shows it as it came
  const std::string h = test::ReadFile(CurrentFolders().history_file);
  EXPECT_NE(h.find(W("  - Принято от A\\x0DB\\x00 : Принят файл от A\rB\\x00\r\nC:\\x\r\n"
                     "Размер: 3 байт\r\n"_w)),
            std::string::npos)
      << h;
  EXPECT_NE(h.find(W("  - Принято от C : a\\x00b\\x1B[2J\r\r\n"_w)), std::string::npos) << h;
  const std::string lf_alone("x\ny", 3);  // never from the line reader, yet not a line of its own
  form.ShowIncoming("t", lf_alone, "D");
  EXPECT_NE(test::ReadFile(CurrentFolders().history_file).find(W("  - Принято от D : x\\x0Ay\r\n"_w)),
            std::string::npos);
}

TEST_F(MessageWindowTest, ClosingInMidSlideParksTheWindowAndTheNextNoticeSlidesInAgain) {
  TInteractiveForm form{State()};
  form.ShowIncoming("t1", "b1");
  for (int i = 0; i < 10; ++i) form.Timer1Timer();
  form.FormClose();
  EXPECT_FALSE(form.visible);
  EXPECT_EQ(form.top, ScreenHeight() + 1500);
  EXPECT_FALSE(form.Timer1.enabled()) << "a running slide would bring the hidden window back";

  form.ShowIncoming("t2", "b2");
  EXPECT_TRUE(form.visible);
  EXPECT_EQ(form.top, ScreenHeight());
  EXPECT_TRUE(form.Timer1.enabled());
}

TEST_F(MessageWindowTest, NoticesFromTwoListenerThreadsKeepBodyAndSenderTogether) {
  State().mode = kOfficeMode;
  TInteractiveForm form{State()};
  std::atomic<int> finished{0};
  auto listener = [&](const std::string& station) {
    for (int i = 0; i < 50; ++i) form.Notify("от " + station, station + std::to_string(i), station);
    ++finished;
    d.wake();
  };
  std::thread a(listener, "A"), b(listener, "B");
  ASSERT_TRUE(d.run_until([&] { return finished == 2; }, 60s));
  a.join();
  b.join();

  const std::string prefix = W("Принято от "_w);
  const std::vector<std::string> texts = HistoryTexts();
  EXPECT_EQ(texts.size(), 100u);
  for (const std::string& text : texts) {
    ASSERT_EQ(text.substr(0, prefix.size()), prefix);
    const char sender = text[prefix.size()];
    EXPECT_EQ(text.substr(prefix.size() + 1, 4), std::string(" : ") + sender) << text;
  }
}

TEST_F(MessageWindowTest, TheScreenshotIsShownModallyStretchedOverAPlainWindowThenFreed) {
  TInteractiveForm form{State()};
  form.Screenshot = platform::PixelImage{2, 1, {0x102030, 0xA0B0C0}};
  std::optional<std::uint64_t> viewer_id;
  op.SetModalObserver([&](ui::Window& w) {
    auto* viewer = dynamic_cast<TScreenshotViewer*>(&w);
    ASSERT_NE(viewer, nullptr);
    viewer_id = viewer->id();
    EXPECT_EQ(viewer->caption, W("Скриншот с АЗС 7"_w));
    EXPECT_EQ(viewer->Image1.picture->width, 2);
    EXPECT_EQ(viewer->Image1.picture->height, 1);
    EXPECT_EQ(viewer->Image1.picture->pixels, form.Screenshot.pixels);
    EXPECT_EQ(viewer->Image1.width, viewer->client_width);
    EXPECT_EQ(viewer->Image1.height, viewer->client_height);
    EXPECT_TRUE(viewer->Image1.stretch && !viewer->Image1.proportional);
  });
  op.QueueAnswer(ui::Answer::Cancel);
  EXPECT_EQ(form.ShowScreenshot("АЗС 7"_w), ui::Answer::Cancel);
  ASSERT_TRUE(viewer_id.has_value());
  EXPECT_EQ(ui::FindWindowById(*viewer_id), nullptr);
}

TEST_F(MessageWindowTest, ThePromptJoinsLinesByCarriageReturnsAndKeepsTextWhenCancelled) {
  TTextInputForm prompt;
  op.QueueText(W("первая\r\nвторая"_w));
  EXPECT_EQ(prompt.PromptMessage("10.0.0.5", 6090), W("первая\rвторая"_w));
  EXPECT_EQ(prompt.Address, "10.0.0.5");
  EXPECT_FALSE(prompt.visible);

  // CR LF LF: the CR left by the first pass pairs with the next LF.
  op.QueueText("a\r\n\nb\r\n");
  EXPECT_EQ(prompt.PromptMessage("h", 1), "a\rb\r");

  op.QueueText(W("не отправлено"_w));
  op.QueueAnswer(ui::Answer::Cancel);
  EXPECT_EQ(prompt.PromptMessage("h", 1), "");
  EXPECT_EQ(prompt.PromptMessage("h", 1), W("не отправлено"_w)) << "kept for the next opening";

  op.SetModalObserver([&](ui::Window&) { prompt.BitBtn3.Click(); });  // "Отчистить"
  EXPECT_EQ(prompt.PromptMessage("h", 1), "");
}

// Dragged larger, the text box takes the room and the buttons keep to the
// bottom; no smaller than the least size the window itself holds.
TEST_F(MessageWindowTest, ThePromptAndTheHistoryViewerFollowTheirSize) {
  TTextInputForm prompt;
  EXPECT_EQ(prompt.min_width, 440);
  EXPECT_EQ(prompt.min_height, 180);
  const auto bottom = [](const ui::Control& c) { return c.top + c.height; };
  EXPECT_LE(bottom(prompt.BitBtn1), 156);
  EXPECT_LE(bottom(prompt.Mtext), prompt.BitBtn1.top);
  EXPECT_LE(prompt.BitBtn4.left + prompt.BitBtn4.width, prompt.BitBtn1.left);
  prompt.SetClientSize(632, 356);
  EXPECT_EQ(prompt.Mtext.width, 632);
  EXPECT_EQ(prompt.BitBtn1.top, prompt.Mtext.height + 4);
  EXPECT_EQ(356 - bottom(prompt.BitBtn2), 3);
  EXPECT_EQ(632 - (prompt.BitBtn2.left + prompt.BitBtn2.width), 8);
  prompt.SetClientSize(100, 50);
  EXPECT_EQ(prompt.width, 440);
  EXPECT_EQ(prompt.client_width, 432);
  EXPECT_EQ(prompt.Mtext.width, 432);

  TShowHistoryForm viewer;
  EXPECT_TRUE(viewer.Memo1.read_only);
  EXPECT_TRUE(viewer.Memo1.horizontal_scroll);
  EXPECT_EQ(viewer.BitBtn1.left + viewer.BitBtn1.width, 667 - 8);
  viewer.SetClientSize(800, 500);
  EXPECT_EQ(viewer.Memo1.width, 800);
  EXPECT_EQ(viewer.BitBtn1.left + viewer.BitBtn1.width, 800 - 8);
  EXPECT_EQ(viewer.BitBtn1.top + viewer.BitBtn1.height, 500 - 6);
  EXPECT_LT(viewer.Memo1.height, viewer.Bevel1.top);
}

TEST_F(MessageWindowTest, TheReachabilityCheckConnectsWithoutAWordAndThePromptStaysOpen) {
  platform::TcpListener listener("127.0.0.1", 0);
  TTextInputForm prompt;
  std::optional<platform::TcpConnection> accepted;
  op.SetModalObserver([&](ui::Window&) {
    prompt.BitBtn4.Click();
    accepted = listener.Accept(5000);
    EXPECT_TRUE(prompt.visible);
  });
  op.QueueText("hello");
  EXPECT_EQ(prompt.PromptMessage("127.0.0.1", listener.Port()), "hello");
  EXPECT_EQ(boxes, std::vector<std::string>{"|" + W("Адресат доступен"_w)});
  ASSERT_TRUE(accepted.has_value());
  accepted->SetReadTimeout(5000);
  std::uint8_t byte = 0;
  EXPECT_THROW(accepted->ReadExact(&byte, 1), platform::ConnectionClosed);
}

TEST_F(MessageWindowTest, TheReachabilityCheckReportsAClosedPortABadAddressAndASilentHost) {
  TTextInputForm prompt;
  {
    platform::TcpListener gone("127.0.0.1", 0);
    prompt.Port = gone.Port();
  }
  prompt.Address = "127.0.0.1";
  prompt.BitBtn4Click();
  prompt.Address = "";
  prompt.Port = -5;
  prompt.BitBtn4Click();

  // A listener that never accepts: once its queue is full the system leaves
  // further attempts unanswered, as a silent host does.
  platform::TcpListener silent("127.0.0.1", 0, 0);
  std::vector<platform::TcpConnection> queued;
  bool full = false;
  for (int i = 0; i < 16 && !full; ++i) {
    try {
      queued.push_back(platform::TcpConnection::Connect("127.0.0.1", silent.Port(), 200));
    } catch (const Error&) {
      full = true;
    }
  }
  if (full) {
    prompt.Address = "127.0.0.1";
    prompt.Port = silent.Port();
    const auto start = std::chrono::steady_clock::now();
    prompt.BitBtn4Click();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 10s);
  }
  const std::string unreachable = "|" + W("Адресат НЕ доступен"_w);
  EXPECT_EQ(boxes, std::vector<std::string>(full ? 3 : 2, unreachable));
}

TEST_F(MessageWindowTest, TheHistoryViewerShowsTheFileLineByLineWithTheCaretAtTheEnd) {
  EXPECT_TRUE(OpenMessageHistory().empty()) << "no file yet: an empty viewer";

  AppendHistory("Отправлено: раз\rдва"_w);
  AppendHistory("Принято : три"_w);
  op.SetModalObserver([&](ui::Window& w) {
    auto* viewer = dynamic_cast<TShowHistoryForm*>(&w);
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->visible);
    EXPECT_EQ(viewer->Memo1Caret.line, 3);
    EXPECT_EQ(viewer->Memo1Caret.column, 0);
  });
  const std::vector<std::string> lines = OpenMessageHistory();
  ASSERT_EQ(lines.size(), 3u);  // a message's lone CR breaks its line on screen
  EXPECT_EQ(lines[0].substr(kStampAndDash), W("Отправлено: раз"_w));
  EXPECT_EQ(lines[1], W("два"_w));
  EXPECT_EQ(lines[2].substr(kStampAndDash), W("Принято : три"_w));
}

}  // namespace
}  // namespace pw::interactive

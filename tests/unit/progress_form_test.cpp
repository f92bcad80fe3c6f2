#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "interactive/progress_form.h"
#include "process_state.h"
#include "platform/screen.h"
#include "services/settings.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"

namespace pw::interactive {
namespace {

using namespace std::chrono_literals;

constexpr int kOuter = TProgressForm::kOuterHeight;

int ScreenHeight() { return platform::PrimaryScreenSize().height; }
int SlotTop(int slot) { return ScreenHeight() - slot * kOuter - 30; }

class ProgressFormTest : public test::ProcessStateTest {
 protected:
  void SetUp() override { TheSettings().InetBuffSize = 128; }

  // A window started on the main thread with a tick source the test moves;
  // its show message is delivered, its one-second timer never comes due.
  std::unique_ptr<TProgressForm> Started(std::int32_t bytes, std::int32_t packets) {
    auto form = std::make_unique<TProgressForm>();
    form->tick_source = [this] { return now; };
    form->StartTransfer("передача файла: C:\\KELD\\a.txt"_w, bytes, packets);
    d.pump_pending();
    return form;
  }

  static void Refresh(TProgressForm& f, std::int32_t p) {
    ui::SendWindowMessage(f, WM_PROGRESSSTATS, p, 0);
  }

  ui::Dispatcher& d = ui::Dispatcher::instance();
  std::uint32_t now = 5000;
};

std::string W(std::string_view s) { return std::string(s); }

TEST(GaugeTest, TruncatesThePercentWithoutOverflow) {
  ui::Window owner("TOwner");
  ui::Gauge g(owner, "g");
  g.SetMax(3);
  g.SetPosition(2);
  EXPECT_EQ(g.PercentDone(), 66);
  g.SetMax(2'000'000'000);
  g.SetPosition(1'999'999'999);
  EXPECT_EQ(g.PercentDone(), 99);
}

TEST_F(ProgressFormTest, StartsHiddenWithItsCaptionsThenStartTransferFillsAndShowsIt) {
  auto form = std::make_unique<TProgressForm>();
  EXPECT_EQ(form->class_name(), "TProgressForm");
  EXPECT_EQ(form->caption, W("Прямое IP соединение"_w));
  EXPECT_FALSE(form->Timer1.enabled());
  const std::pair<const char*, std::string> captions[] = {
      {"Label1", W("Состояние: "_w)},        {"lb_State", "lb_State"},
      {"Label3", W("Размер файла:"_w)},      {"lb_Sizefil", "0"},
      {"lb_ProgresP", "0 / 0"},              {"Label2", W("Прогресс:"_w)},
      {"lb_ProgresB", "0 / 0"},              {"Label4", W("Скорость: "_w)},
      {"lb_speed", W("0 байт/сек"_w)},       {"Label6", W("Обмен пакетами:"_w)},
      {"lbSpeedPacket", W("0 пакетов/сек"_w)}, {"Label5", W("Средняя скорость: "_w)},
      {"lbMedleSpeed", W("0 байт/сек"_w)},   {"BitBtn1", W("Остановить"_w)},
  };
  for (const auto& [name, caption] : captions) {
    const ui::Control* c = form->FindControl(name);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_EQ(c->caption, caption) << name;
  }
  EXPECT_NE(form->FindControl("Gauge1"), nullptr);
  EXPECT_TRUE(form->lb_Sizefil.bold);
  EXPECT_TRUE(form->lbMedleSpeed.bold);
  EXPECT_EQ(form->lb_ProgresP.alignment, ui::Alignment::Right);

  form->StartTransfer("прием файла: x"_w, 300, 2);
  EXPECT_EQ(form->lb_State.caption, W("прием файла: x"_w));
  EXPECT_EQ(form->lb_Sizefil.caption, W("300 байт"_w));
  EXPECT_EQ(form->lb_ProgresB.caption, "0 / 300");
  EXPECT_EQ(form->lb_ProgresP.caption, "0 / 2");
  EXPECT_EQ(form->Gauge1.max(), 2);
  EXPECT_TRUE(form->Timer1.enabled());
  EXPECT_FALSE(form->visible);  // the show message is posted
  d.pump_pending();
  EXPECT_TRUE(form->visible);
  EXPECT_EQ(form->left, 0);
  EXPECT_EQ(form->top, SlotTop(1));
}

// What a renderer sees through the window's own fields: a tool window on top
// with its client area of 458 x 98 inside the outer frame.
TEST_F(ProgressFormTest, ARendererSeesAToolWindowOnTopOfItsDesignSize) {
  auto form = std::make_unique<TProgressForm>();
  const ui::Window& w = *form;
  EXPECT_TRUE(w.tool_window);
  EXPECT_TRUE(w.stays_on_top);
  EXPECT_EQ(w.client_width, 458);
  EXPECT_EQ(w.client_height, 98);
  EXPECT_EQ(w.width, 464);
  EXPECT_EQ(w.height, 121);
}

TEST_F(ProgressFormTest, RefreshReportsCurrentAndAverageSpeeds) {
  auto form = Started(1000, 7);  // StartTick 5000

  // Same tick as the start: the counters move, the speeds stay.
  Refresh(*form, 2);
  EXPECT_EQ(form->lb_ProgresP.caption, "2 / 7");
  EXPECT_EQ(form->lb_ProgresB.caption, W("256 / 1000 байт"_w));
  EXPECT_EQ(form->lb_speed.caption, W("0 байт/сек"_w));
  EXPECT_EQ(form->lbMedleSpeed.caption, W("0 байт/сек"_w));
  EXPECT_EQ(form->lbSpeedPacket.caption, W("0 пакетов/сек"_w));

  // The current speed counts from the previous refresh, the averages from the start.
  now = 5500;
  Refresh(*form, 3);
  EXPECT_EQ(form->lb_speed.caption, W("128 байт/сек"_w));
  EXPECT_EQ(form->lbMedleSpeed.caption, W("768 байт/сек"_w));  // 384 / 500 ms
  EXPECT_EQ(form->lbSpeedPacket.caption, W("6 пакетов/сек"_w));
  now = 6500;
  Refresh(*form, 5);
  EXPECT_EQ(form->lb_speed.caption, W("256 байт/сек"_w));
  EXPECT_EQ(form->lbMedleSpeed.caption, W("427 байт/сек"_w));  // 426.67
  EXPECT_EQ(form->lbSpeedPacket.caption, W("3 пакетов/сек"_w));  // 3.33
  EXPECT_TRUE(form->visible);
  EXPECT_TRUE(form->Timer1.enabled());
}

TEST_F(ProgressFormTest, FirstRefreshCountsAllBytesAndHalvesRoundToEven) {
  TheSettings().InetBuffSize = 3;
  auto form = Started(10000, 3333);
  now += 16;  // exact binary fractions: every value below ends in .5
  Refresh(*form, 1);
  EXPECT_EQ(form->lb_speed.caption, W("3 байт/сек"_w));
  EXPECT_EQ(form->lbMedleSpeed.caption, W("188 байт/сек"_w));      // 187.5
  EXPECT_EQ(form->lbSpeedPacket.caption, W("62 пакетов/сек"_w));   // 62.5
  Refresh(*form, 5);
  EXPECT_EQ(form->lb_speed.caption, W("12 байт/сек"_w));
  EXPECT_EQ(form->lbMedleSpeed.caption, W("938 байт/сек"_w));      // 937.5
  EXPECT_EQ(form->lbSpeedPacket.caption, W("312 пакетов/сек"_w));  // 312.5
}

TEST_F(ProgressFormTest, PacketTimesSizeWrapsAsThirtyTwoBits) {
  TheSettings().InetBuffSize = 5'000'000;
  auto form = Started(2'000'000'000, 400);
  now += 1000;
  Refresh(*form, 500);  // 2.5e9 bytes do not fit: the product goes negative
  EXPECT_EQ(form->lb_ProgresB.caption, W("-1794967296 / 2000000000 байт"_w));
  EXPECT_EQ(form->lb_speed.caption, W("-1794967296 байт/сек"_w));
  EXPECT_EQ(form->lbMedleSpeed.caption, W("-1794967296 байт/сек"_w));
  EXPECT_TRUE(form->visible);
}

TEST_F(ProgressFormTest, AFileOfAtMostOnePacketCompletesAtTheFirstRefresh) {
  for (const std::int32_t size : {0, 100, 128}) {
    SCOPED_TRACE(size);
    auto form = Started(size, size / 128);
    form->ReportPackets(1);
    d.pump_pending();
    // With no full packet the gauge cannot move off 0 percent.
    if (size < 128) {
      EXPECT_EQ(form->Gauge1.PercentDone(), 0);
    }
    form->Timer1Timer();
    EXPECT_EQ(form->lb_ProgresB.caption, std::to_string(size) + " / " + std::to_string(size) +
                                             W(" байт"_w));
    EXPECT_FALSE(form->visible);
    EXPECT_FALSE(form->Timer1.enabled());
  }
}

TEST_F(ProgressFormTest, StepsBeyondTheTotalClampAndAFullGaugeCloses) {
  auto form = Started(1000, 7);
  form->ReportPackets(9);
  d.pump_pending();
  EXPECT_EQ(form->Gauge1.position(), 7);
  form->Timer1Timer();  // refreshes with the gauge's position
  EXPECT_EQ(form->lb_ProgresP.caption, "7 / 7");
  // 896 of 1000 bytes is not the whole file, but the gauge reads 100 percent.
  EXPECT_EQ(form->lb_ProgresB.caption, W("896 / 1000 байт"_w));
  EXPECT_FALSE(form->visible);
  EXPECT_FALSE(form->Timer1.enabled());
}

// A step costs the main thread a wake; tens of thousands a second would
// cost more than the steps, so only one per interval goes, and the steps
// that fill the gauge always.
TEST_F(ProgressFormTest, StepsCloserThanThePostIntervalAreDroppedButTheFullGaugeComes) {
  auto form = Started(1000, 7);
  const auto start = std::chrono::steady_clock::now();
  form->ReportPackets(2);
  form->ReportPackets(3);
  const bool within = std::chrono::steady_clock::now() - start < TProgressForm::kStepPostInterval;
  d.pump_pending();
  if (within) {
    EXPECT_EQ(form->Gauge1.position(), 2);
  }
  form->ReportPackets(7);
  d.pump_pending();
  EXPECT_EQ(form->Gauge1.position(), 7);
}

TEST_F(ProgressFormTest, WindowsStackUpwardInOnePassOverTheWindowList) {
  auto a = Started(1000, 7);
  auto b = Started(1000, 7);
  EXPECT_EQ(a->top, SlotTop(1));
  EXPECT_EQ(b->top, SlotTop(2));
  EXPECT_EQ(b->left, 0);
  EXPECT_EQ(a->top - b->top, a->height);

  // A freed slot is taken again; the single pass then only looks at windows
  // after the one it matched, so the next window lands on b's slot.
  a.reset();
  auto c = Started(1000, 7);
  EXPECT_EQ(c->top, SlotTop(1));
  auto e = Started(1000, 7);
  EXPECT_EQ(e->top, SlotTop(2));
}

TEST_F(ProgressFormTest, StopAsksAndOnlyOkSetsTheFlagAndHides) {
  auto form = Started(1000, 7);
  std::string caption = "unset", text;
  ui::Operator::instance().SetObserver([&](const std::string& c, const std::string& t, ui::Answer) {
    caption = c;
    text = t;
  });

  ui::Operator::instance().QueueAnswer(ui::Answer::Cancel);
  form->BitBtn1.Click();
  EXPECT_FALSE(form->StopRequested);
  EXPECT_TRUE(form->visible);

  ui::Operator::instance().QueueAnswer(ui::Answer::Ok);
  form->BitBtn1.Click();
  EXPECT_TRUE(form->StopRequested);
  EXPECT_FALSE(form->visible);

  EXPECT_EQ(caption, "");
  EXPECT_EQ(text,
            W("Разрыв связи приведет к потере передаваемых данных\rи может привести к "
              "нестабильной работе системы при выходе\rПрервать обмен информацией?"_w));
}

TEST_F(ProgressFormTest, TimerRefreshesFromTheGaugeAndDiesWithTheWindow) {
  TtmpClass holder;
  holder.CreateForm();
  TProgressForm& form = *holder.Form;
  form.tick_source = [this] { return now; };
  form.StartTransfer("x", 1000, 7);
  form.Timer1.SetInterval(1ms);
  form.ReportPackets(3);
  EXPECT_TRUE(d.run_until([&] { return form.lb_ProgresP.caption == "3 / 7"; }, 30s));
  EXPECT_EQ(form.lb_ProgresB.caption, W("384 / 1000 байт"_w));

  // Messages still queued for a freed window are dropped, and its timer is
  // gone with it (a late tick would touch freed memory).
  form.ReportPackets(4);
  holder.Form.reset();
  d.run_until([] { return false; }, 20ms);
}

TEST_F(ProgressFormTest, ATransferThreadDrivesItsWindowThroughTheMainThread) {
  std::promise<void> stop_answered;
  std::atomic<bool> done{false};
  bool cancelled = false, reset = false;  // written by the worker before done
  std::thread worker([&] {
    {
      ProgressWindow window("прием файла: y"_w, 1000, 7);
      for (int i = 1; i <= 8; ++i) window.Step(i + 1);
      stop_answered.get_future().wait();
      cancelled = window.Cancelled();
      reset = window.TakeStop() && !window.Cancelled();
    }
    done = true;
    d.wake();
  });

  TProgressForm* form = nullptr;
  EXPECT_TRUE(d.run_until(
      [&] {
        for (ui::Window* w : ui::AllWindows())
          if (w->class_name() == "TProgressForm") form = static_cast<TProgressForm*>(w);
        return form && form->Gauge1.position() == 7;
      },
      30s));
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->lb_State.caption, W("прием файла: y"_w));
  EXPECT_EQ(form->top, SlotTop(1));
  ui::Operator::instance().QueueAnswer(ui::Answer::Ok);
  form->BitBtn1.Click();
  stop_answered.set_value();

  EXPECT_TRUE(d.run_until([&] { return done.load(); }, 30s));
  worker.join();
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(reset);
  for (ui::Window* w : ui::AllWindows()) EXPECT_NE(w->class_name(), "TProgressForm");
}

}  // namespace
}  // namespace pw::interactive

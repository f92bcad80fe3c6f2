#include "interactive/progress_form.h"

#include <cmath>
#include <string>

#include "platform/clock.h"
#include "platform/screen.h"
#include "services/settings.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"

namespace pw::interactive {

namespace {

// 32-bit signed arithmetic that wraps like the two's complement registers the
// packet counts were first computed in.
std::int32_t Mul32(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

std::int32_t Sub32(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// Nearest integer, ties to even (the default rounding mode).
std::string Rounded(double v) { return std::to_string(static_cast<std::int64_t>(std::nearbyint(v))); }

std::string Num(std::int64_t v) { return std::to_string(v); }

}  // namespace

TProgressForm::TProgressForm() : ui::Window("TProgressForm"), tick_source(platform::TickCount) {
  caption = "Прямое IP соединение"_w;
  tool_window = true;
  stays_on_top = true;
  client_width = kClientWidth;
  client_height = kClientHeight;
  width = kOuterWidth;
  height = kOuterHeight;

  Label1.caption = "Состояние: "_w;
  lb_State.caption = "lb_State";
  Label3.caption = "Размер файла:"_w;
  lb_Sizefil.caption = "0";
  lb_Sizefil.bold = true;
  lb_ProgresP.caption = "0 / 0";
  lb_ProgresP.alignment = ui::Alignment::Right;
  Gauge1.SetMin(0);
  Gauge1.SetMax(100);
  Gauge1.SetPosition(0);
  Label2.caption = "Прогресс:"_w;
  lb_ProgresB.caption = "0 / 0";
  Label4.caption = "Скорость: "_w;
  lb_speed.caption = "0 байт/сек"_w;
  Label6.caption = "Обмен пакетами:"_w;
  lbSpeedPacket.caption = "0 пакетов/сек"_w;
  Label5.caption = "Средняя скорость: "_w;
  lbMedleSpeed.caption = "0 байт/сек"_w;
  lbMedleSpeed.bold = true;
  BitBtn1.caption = "Остановить"_w;
  BitBtn1.glyph = "stop";
  BitBtn1.on_click = [this] { BitBtn1Click(); };
  Timer1.on_timer = [this] { Timer1Timer(); };

  // Client coordinates: two text rows, the bar across the full width, then
  // the counters in two columns and Stop in the lower right corner.
  Label1.SetBounds(8, 4, 64, 13);
  lb_State.SetBounds(72, 4, 378, 13);
  Label3.SetBounds(8, 20, 76, 13);
  lb_Sizefil.SetBounds(84, 20, 180, 13);
  lb_ProgresP.SetBounds(270, 20, 180, 13);
  Gauge1.SetBounds(8, 36, 442, 14);
  Label2.SetBounds(8, 54, 64, 13);
  lb_ProgresB.SetBounds(72, 54, 190, 13);
  Label4.SetBounds(8, 68, 64, 13);
  lb_speed.SetBounds(72, 68, 110, 13);
  Label6.SetBounds(8, 82, 90, 13);
  lbSpeedPacket.SetBounds(98, 82, 110, 13);
  Label5.SetBounds(186, 68, 104, 13);
  lbMedleSpeed.SetBounds(186, 82, 110, 13);
  BitBtn1.SetBounds(350, 66, 100, 26);
}

TProgressForm::~TProgressForm() = default;

void TProgressForm::OnMainThread(std::function<void(TProgressForm&)> fn) {
  auto& dispatcher = ui::Dispatcher::instance();
  if (dispatcher.on_main_thread()) {
    fn(*this);
    return;
  }
  dispatcher.post([id = this->id(), fn = std::move(fn)] {
    // Window ids are never reused, so the id names this very form.
    if (ui::Window* w = ui::FindWindowById(id)) fn(static_cast<TProgressForm&>(*w));
  });
}

void TProgressForm::StartTransfer(std::string_view state_text, std::int32_t total_bytes,
                                  std::int32_t total_packets) {
  TotalBytes = total_bytes;
  TotalPackets = total_packets;
  OnMainThread([state = std::string(state_text), total_bytes, total_packets](TProgressForm& f) {
    f.Gauge1.SetMin(0);
    f.Gauge1.SetMax(total_packets);
    f.Gauge1.SetPosition(0);
    f.lb_State.caption = state;
    f.lb_Sizefil.caption = Num(total_bytes) + std::string(" байт"_w);
    f.lb_ProgresB.caption = "0 / " + Num(total_bytes);
    f.lb_ProgresP.caption = "0 / " + Num(total_packets);
  });
  ui::PostWindowMessage(*this, WM_PROGRESSSHOW, 0, 0);
  StartTick = tick_source();
  LastPackets = 0;
  OnMainThread([](TProgressForm& f) { f.Timer1.SetEnabled(true); });
}

void TProgressForm::ReportPackets(std::int32_t n) {
  // Each post wakes the main thread; at one a step that costs more than the
  // step itself on a small packet.
  const auto now = std::chrono::steady_clock::now();
  if (n < TotalPackets && now - last_step_post_ < kStepPostInterval) return;
  last_step_post_ = now;
  ui::PostWindowMessage(*this, WM_PROGRESSSTEP, 0, n);
}

void TProgressForm::HandleMessage(const ui::Message& m) {
  switch (m.msg) {
    case WM_PROGRESSSHOW: PlaceAndShow(); break;
    case WM_PROGRESSSTATS: RefreshStatistics(static_cast<std::int32_t>(m.wparam)); break;
    case WM_PROGRESSSTEP: Gauge1.SetPosition(static_cast<std::int32_t>(m.lparam)); break;
    default: ui::Window::HandleMessage(m);
  }
}

void TProgressForm::PlaceAndShow() {
  const int screen_height = platform::PrimaryScreenSize().height;
  const int own_height = height;
  // One pass in creation order: a window standing in the current slot pushes
  // this one a slot higher.
  int slot = 1;
  for (const ui::Window* w : ui::AllWindows())
    if (w->top == screen_height - slot * own_height - kBottomGap) ++slot;
  top = screen_height - slot * own_height - kBottomGap;
  left = 0;
  // Brought to the front without taking the focus: the model has no z-order
  // beyond being shown.
  Show();
}

void TProgressForm::RefreshStatistics(std::int32_t p) {
  const std::int32_t b = TheSettings().InetBuffSize.load();
  const std::int32_t bytes_done = Mul32(p, b);

  lb_ProgresP.caption = Num(p) + " / " + Num(TotalPackets);

  if (bytes_done < TotalBytes && TotalBytes > b) {
    lb_ProgresB.caption = Num(bytes_done) + " / " + Num(TotalBytes) + std::string(" байт"_w);
  } else {
    lb_ProgresB.caption = Num(TotalBytes) + " / " + Num(TotalBytes) + std::string(" байт"_w);
    Timer1.SetEnabled(false);
    Close();
  }

  if (tick_source() != StartTick) {
    // The timer runs once a second, so the bytes since the last refresh are
    // the current speed.
    lb_speed.caption = Num(Mul32(Sub32(p, LastPackets), b)) + std::string(" байт/сек"_w);
    // Averages over the whole transfer. An elapsed time of 0 can only come
    // from a tick source that went back; such a reading leaves its label.
    std::uint32_t elapsed = tick_source() - StartTick;
    if (elapsed != 0)
      lbMedleSpeed.caption = Rounded(static_cast<double>(bytes_done) / elapsed * 1000) +
                             std::string(" байт/сек"_w);
    elapsed = tick_source() - StartTick;
    if (elapsed != 0)
      lbSpeedPacket.caption =
          Rounded(static_cast<double>(p) / elapsed * 1000) + std::string(" пакетов/сек"_w);
  }

  if (Gauge1.PercentDone() == 100) {
    Timer1.SetEnabled(false);
    Close();
  }
  LastPackets = p;
}

void TProgressForm::Timer1Timer() {
  ui::SendWindowMessage(*this, WM_PROGRESSSTATS, Gauge1.position(), 0);
}

void TProgressForm::BitBtn1Click() {
  // A box without owner.
  const std::string_view question =
      "Разрыв связи приведет к потере передаваемых данных\r"
      "и может привести к нестабильной работе системы при выходе\r"
      "Прервать обмен информацией?"_w;
  ui::BoxRequest box{"", std::string(question), ui::Buttons::OkCancel};
  box.owned = false;
  const std::uint64_t id = this->id();
  const ui::Answer answer = ui::Operator::instance().ShowMessageBox(box);
  // The transfer may have ended while the box was up, and its window with
  // it.
  if (ui::FindWindowById(id) != this) return;
  if (answer == ui::Answer::Ok) {
    StopRequested = true;
    Close();
  }
}

TtmpClass::~TtmpClass() {
  if (Form) ui::Dispatcher::instance().run_sync([this] { Form.reset(); });
}

void TtmpClass::CreateForm() {
  ui::Dispatcher::instance().run_sync([this] {
    Form = std::make_unique<TProgressForm>();
    Form->StopRequested = false;
  });
}

ProgressWindow::ProgressWindow(std::string_view state_text, std::int32_t total_bytes,
                               std::int32_t total_packets) {
  holder_.CreateForm();
  holder_.Form->StartTransfer(state_text, total_bytes, total_packets);
}

}  // namespace pw::interactive

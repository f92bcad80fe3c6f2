// The progress window of a packet-by-packet file transfer. The transfer runs
// on a worker thread; its window lives on the main thread. The worker has the
// window made and freed there through a TtmpClass holder, reports each packet
// step with one posted message, and reads StopRequested to learn that the
// operator pressed Stop. Windows of simultaneous transfers stack upward from
// the bottom-left corner of the screen.
//
// Calling order on the transfer thread (ProgressWindow below does all of it):
//   holder; holder.CreateForm(); Form->StartTransfer(text, S, S / B);
//   per step: test StopRequested, move the packet, Form->ReportPackets(value)
//   (which posts at most one step per kStepPostInterval and the full gauge);
//   test StopRequested once more; destroy the holder.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "ui/controls.h"
#include "ui/window.h"
#include "ui/window_frame.h"

namespace pw::interactive {

inline constexpr std::uint32_t WM_PROGRESSSHOW = ui::kWmUser + 1;   // 1025: place and show
inline constexpr std::uint32_t WM_PROGRESSSTATS = ui::kWmUser + 2;  // 1026: wParam = packets done
inline constexpr std::uint32_t WM_PROGRESSSTEP = ui::kWmUser + 3;   // 1027: lParam = packets done

class TProgressForm : public ui::Window {
 public:
  // The client area is 458 x 98 in a tool window's frame; the outer height
  // is the step between stacked windows.
  static constexpr int kClientWidth = 458;
  static constexpr int kClientHeight = 98;
  static constexpr int kOuterWidth = ui::kToolWindowFrame.OuterWidth(kClientWidth);     // 464
  static constexpr int kOuterHeight = ui::kToolWindowFrame.OuterHeight(kClientHeight);  // 121
  // Gap between the lowest window and the bottom of the screen.
  static constexpr int kBottomGap = 30;

  // Main thread. Hidden, no owner; a tool window (no minimise or maximise
  // box) that stays above normal windows.
  TProgressForm();
  ~TProgressForm() override;

  // Set by the transfer thread: the announced size, the number of full
  // packets (trunc(size / InetBuffSize)).
  std::int32_t TotalBytes = 0;
  std::int32_t TotalPackets = 0;
  // Tick count when StartTransfer ran, and the packets done at the previous
  // statistics refresh.
  std::uint32_t StartTick = 0;
  std::int32_t LastPackets = 0;
  // Set by Stop (main thread); read and reset by the transfer thread.
  std::atomic<bool> StopRequested{false};

  // The millisecond tick counter the statistics use; tests replace it.
  std::function<std::uint32_t()> tick_source;

  // Transfer thread (or main thread), once, right after CreateForm: records
  // the totals, has the controls set and the window placed and shown on the
  // main thread, starts the one-second timer. Never waits for the main thread.
  void StartTransfer(std::string_view state_text, std::int32_t total_bytes,
                     std::int32_t total_packets);
  // Transfer thread, after each packet step: posts WM_PROGRESSSTEP with
  // lParam n and returns at once. Steps come up to tens of thousands a
  // second while the gauge needs a repaint only every kStepPostInterval, so
  // a step that follows a posted one sooner is dropped, except the steps
  // that fill the gauge: its final position always arrives.
  void ReportPackets(std::int32_t n);
  static constexpr std::chrono::milliseconds kStepPostInterval{50};

  // Closing only hides; the window lives until its holder frees it.
  void Close() { Hide(); }

  using ui::Window::HandleMessage;
  void HandleMessage(const ui::Message& m) override;

  // Event handlers, main thread.
  void Timer1Timer();
  void BitBtn1Click();

  // Controls, top to bottom. Captions are Windows-1251.
  ui::Label Label1{*this, "Label1"};
  ui::Label lb_State{*this, "lb_State"};
  ui::Label Label3{*this, "Label3"};
  ui::Label lb_Sizefil{*this, "lb_Sizefil"};
  ui::Label lb_ProgresP{*this, "lb_ProgresP"};
  ui::Gauge Gauge1{*this, "Gauge1"};
  ui::Label Label2{*this, "Label2"};
  ui::Label lb_ProgresB{*this, "lb_ProgresB"};
  ui::Label Label4{*this, "Label4"};
  ui::Label lb_speed{*this, "lb_speed"};
  ui::Label Label6{*this, "Label6"};
  ui::Label lbSpeedPacket{*this, "lbSpeedPacket"};
  ui::Label Label5{*this, "Label5"};
  ui::Label lbMedleSpeed{*this, "lbMedleSpeed"};
  ui::Button BitBtn1{*this, "BitBtn1"};
  ui::Timer Timer1{"Timer1", std::chrono::milliseconds(1000)};

 private:
  // Runs fn on this window on the main thread: now when already there, else
  // later, and not at all if the window is gone by then.
  void OnMainThread(std::function<void(TProgressForm&)> fn);

  void PlaceAndShow();                    // WM_PROGRESSSHOW

  // When the last step was posted; the transfer thread's only.
  std::chrono::steady_clock::time_point last_step_post_{};
  void RefreshStatistics(std::int32_t p);  // WM_PROGRESSSTATS
};

// Holder that lets a transfer thread have its window made and freed on the
// main thread. Destroying the holder frees the window there, waiting for it.
class TtmpClass {
 public:
  TtmpClass() = default;
  ~TtmpClass();
  TtmpClass(const TtmpClass&) = delete;
  TtmpClass& operator=(const TtmpClass&) = delete;

  // Creates the window on the main thread (the caller waits): hidden, no
  // owner, StopRequested false.
  void CreateForm();

  std::unique_ptr<TProgressForm> Form;
};

// The transfer thread's side of one progress window, in the calling order:
// construction creates the holder, makes the window on the main thread and
// starts it; destruction frees it on the main thread. Any thread but the main
// one may also call it; the main thread must keep pumping meanwhile.
class ProgressWindow {
 public:
  ProgressWindow(std::string_view state_text, std::int32_t total_bytes,
                 std::int32_t total_packets);
  ~ProgressWindow() = default;
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // After a packet step: the value the transfer reports (i + 1 after step i).
  void Step(std::int32_t packets_done) { holder_.Form->ReportPackets(packets_done); }
  // Whether the operator confirmed Stop; the flag stays set.
  bool Cancelled() const { return holder_.Form->StopRequested.load(); }
  // Reads and resets the flag, for the transfer that acts on it.
  bool TakeStop() { return holder_.Form->StopRequested.exchange(false); }

  TProgressForm& form() { return *holder_.Form; }

 private:
  TtmpClass holder_;
};

}  // namespace pw::interactive

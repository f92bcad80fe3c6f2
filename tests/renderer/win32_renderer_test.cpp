// The Windows renderer seen from outside, as a driver of the real windows
// sees them: found by class name and window properties, read and driven
// with window messages.
#include "renderer/win32/win32_renderer.h"

#include "renderer/win32/operator_dialogs.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/win32/wide_text.h"
#include "text/cp1251.h"
#include "ui/backend.h"
#include "ui/controls.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"

namespace pw::renderer::win32 {
namespace {

using namespace std::chrono_literals;

std::wstring TextOfWindow(HWND hwnd) {
  wchar_t buffer[512] = {};
  GetWindowTextW(hwnd, buffer, 512);
  return buffer;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[64] = {};
  GetClassNameW(hwnd, buffer, 64);
  return buffer;
}

// The descendant of top that stands for the model control name.
HWND FindControl(HWND top, const std::string& name) {
  struct Search {
    std::wstring prop;
    HWND found = nullptr;
  } search{L"pw:" + platform::Wide(name)};
  EnumChildWindows(
      top,
      [](HWND child, LPARAM lparam) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lparam);
        if (GetPropW(child, s->prop.c_str()) == nullptr) return TRUE;
        s->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

RECT BoundsInParent(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Runs the main thread's queued messages, as a host's loop would.
void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// A top-level window of class cls once it appears (a box or dialog that
// another thread waits in), bounded.
HWND AwaitWindow(const wchar_t* cls, const wchar_t* caption) {
  for (auto until = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < until;) {
    if (HWND hwnd = FindWindowW(cls, caption); hwnd != nullptr && IsWindowVisible(hwnd)) return hwnd;
    std::this_thread::sleep_for(5ms);
  }
  return nullptr;
}

class Win32RendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Dispatcher::instance().attach_main_thread();
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PumpwireTestApplication";
    RegisterClassW(&wc);
    app_ = CreateWindowExW(0, L"PumpwireTestApplication", L"app", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                           nullptr, nullptr, wc.hInstance, nullptr);
    renderer_ = std::make_unique<Win32Renderer>(app_);
    ui::InstallBackend(renderer_.get());
  }
  void TearDown() override {
    ui::InstallBackend(nullptr);
    renderer_.reset();
    DestroyWindow(app_);
    ui::Dispatcher::instance().detach_main_thread();
  }

  HWND app_ = nullptr;
  std::unique_ptr<Win32Renderer> renderer_;
};

// A window with one control of each common kind.
struct SampleForm : ui::Window {
  SampleForm() : ui::Window("TSampleForm") {
    caption = "Прямое IP соединение"_w;
    client_width = 320;
    client_height = 240;
    tool_window = true;
    stays_on_top = true;
    send.SetBounds(10, 10, 100, 25);
    send.caption = "Отправить в офис"_w;
    send.on_click = [this] { ++clicks; };
    show_log.SetBounds(10, 40, 120, 17);
    show_log.caption = "Показывать лог"_w;
    show_log.on_click = [this] { ++toggles; };
    name.SetBounds(10, 60, 120, 21);
    address.SetBounds(140, 60, 160, 21);
    address.items = {"10.0.0.5", "192.168.0.12"};
    address.on_key_up = [this](int key) { last_key = key; };
    address.on_select = [this] { ++selections; };
    log.SetBounds(10, 90, 300, 80);
    hint.SetBounds(10, 175, 300, 13);
    hint.caption = "Несколько получателей"_w;
    bar.SetBounds(10, 190, 200, 14);
    spin.SetBounds(220, 190, 60, 21);
    spin.value = 5;
    spin.min_value = 1;
    spin.max_value = 10;
  }
  ui::Button send{*this, "send"};
  ui::CheckBox show_log{*this, "show_log"};
  ui::Edit name{*this, "name"};
  ui::ComboBox address{*this, "address"};
  ui::ListBox log{*this, "log"};
  ui::Label hint{*this, "hint"};
  ui::Gauge bar{*this, "bar"};
  ui::SpinEdit spin{*this, "spin"};
  int clicks = 0, toggles = 0, selections = 0, last_key = 0;
};

TEST_F(Win32RendererTest, AWindowShowsAsItsClassWithCaptionClientSizeOwnerAndControls) {
  SampleForm form;
  form.Show();
  HWND hwnd = FindWindowW(L"TSampleForm", nullptr);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(hwnd, renderer_->NativeHandle(form));
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(TextOfWindow(hwnd), L"Прямое IP соединение");
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 240);
  EXPECT_EQ(GetWindow(hwnd, GW_OWNER), app_);
  const LONG_PTR ex = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);

  struct Expected {
    const char* name;
    const wchar_t* cls;
    RECT bounds;
  };
  for (const Expected& e : {Expected{"send", L"Button", {10, 10, 110, 35}},
                            Expected{"show_log", L"Button", {10, 40, 130, 57}},
                            Expected{"name", L"Edit", {10, 60, 130, 81}},
                            Expected{"log", L"ListBox", {10, 90, 310, 170}},
                            Expected{"hint", L"Static", {10, 175, 310, 188}},
                            Expected{"bar", L"msctls_progress32", {10, 190, 210, 204}}}) {
    SCOPED_TRACE(e.name);
    HWND child = FindControl(hwnd, e.name);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(ClassOf(child), e.cls);
    const RECT r = BoundsInParent(child);
    EXPECT_EQ(r.left, e.bounds.left);
    EXPECT_EQ(r.top, e.bounds.top);
    EXPECT_EQ(r.right, e.bounds.right);
    EXPECT_EQ(r.bottom, e.bounds.bottom);
  }
  EXPECT_EQ(ClassOf(FindControl(hwnd, "address")), L"ComboBox");
  EXPECT_EQ(ClassOf(FindControl(hwnd, "spin")), L"Edit");
  EXPECT_EQ(TextOfWindow(FindControl(hwnd, "send")), L"Отправить в офис");
  EXPECT_EQ(TextOfWindow(FindControl(hwnd, "hint")), L"Несколько получателей");
  EXPECT_EQ(TextOfWindow(FindControl(hwnd, "spin")), L"5");
  EXPECT_EQ(SendMessageW(FindControl(hwnd, "address"), CB_GETCOUNT, 0, 0), 2);

  form.Hide();
  EXPECT_FALSE(IsWindowVisible(hwnd));
}

TEST_F(Win32RendererTest, NativeMessagesReachTheModel) {
  SampleForm form;
  form.Show();
  HWND hwnd = renderer_->NativeHandle(form);
  ASSERT_NE(hwnd, nullptr);

  SendMessageW(FindControl(hwnd, "send"), BM_CLICK, 0, 0);
  EXPECT_EQ(form.clicks, 1);

  SendMessageW(FindControl(hwnd, "show_log"), BM_CLICK, 0, 0);
  EXPECT_TRUE(form.show_log.checked);
  EXPECT_EQ(form.toggles, 1);
  Pump();
  EXPECT_EQ(SendMessageW(FindControl(hwnd, "show_log"), BM_GETCHECK, 0, 0), BST_CHECKED);

  HWND name = FindControl(hwnd, "name");
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Офис 1"));
  SendMessageW(GetParent(name), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(name), EN_CHANGE),
               reinterpret_cast<LPARAM>(name));
  EXPECT_EQ(form.name.caption.get(), std::string("Офис 1"_w));

  HWND combo = FindControl(hwnd, "address");
  SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"172.16.0.1 - Склад"));
  SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_EDITCHANGE),
               reinterpret_cast<LPARAM>(combo));
  EXPECT_EQ(form.address.caption.get(), std::string("172.16.0.1 - Склад"_w));
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo, &info));
  SendMessageW(info.hwndItem, WM_KEYDOWN, VK_RETURN, 0);
  SendMessageW(info.hwndItem, WM_KEYUP, VK_RETURN, 0);
  EXPECT_EQ(form.last_key, VK_RETURN);

  SendMessageW(combo, CB_SETCURSEL, 1, 0);
  SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  EXPECT_EQ(form.address.item_index, 1);
  EXPECT_EQ(form.address.caption.get(), "192.168.0.12");
  EXPECT_EQ(form.selections, 1);
  // Typed key by key over the chosen item, the window brought in step
  // after each key: the keys land where typed (the chosen item once came
  // back at each step, and the next key went in before the text).
  Pump();
  SendMessageW(info.hwndItem, EM_SETSEL, 0, -1);
  SendMessageW(info.hwndItem, WM_CHAR, L'7', 0);
  Pump();
  SendMessageW(info.hwndItem, WM_CHAR, L'8', 0);
  Pump();
  EXPECT_EQ(TextOfWindow(combo), L"78");
  EXPECT_EQ(form.address.caption.get(), "78");
  EXPECT_EQ(form.address.item_index, -1);

  HWND spin = FindControl(hwnd, "spin");
  SendMessageW(spin, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"8"));
  SendMessageW(GetParent(spin), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(spin), EN_CHANGE),
               reinterpret_cast<LPARAM>(spin));
  EXPECT_EQ(form.spin.value, 8);

  // The renderer's own writing is not read back as the operator's.
  Pump();
  EXPECT_EQ(form.clicks, 1);
  EXPECT_EQ(form.toggles, 1);
  EXPECT_EQ(form.selections, 1);
}

TEST_F(Win32RendererTest, ModelChangesReachTheNativeControlsOnceTheLoopRuns) {
  SampleForm form;
  form.Show();
  HWND hwnd = renderer_->NativeHandle(form);
  ASSERT_NE(hwnd, nullptr);

  form.caption = "Прямое IP соединение "_w;
  form.send.caption = "Стоп"_w;
  form.send.enabled = false;
  form.log.AddAndSelect(std::string("первая"_w));
  form.log.AddAndSelect(std::string("вторая"_w));
  form.bar.SetPosition(40);
  form.name.caption = "abc";
  form.hint.visible = false;
  form.client_height = 260;
  Pump();

  EXPECT_EQ(TextOfWindow(hwnd), L"Прямое IP соединение ");
  HWND send = FindControl(hwnd, "send");
  EXPECT_EQ(TextOfWindow(send), L"Стоп");
  EXPECT_FALSE(IsWindowEnabled(send));
  HWND log = FindControl(hwnd, "log");
  EXPECT_EQ(SendMessageW(log, LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(log, LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(SendMessageW(FindControl(hwnd, "bar"), PBM_GETPOS, 0, 0), 40);
  EXPECT_EQ(TextOfWindow(FindControl(hwnd, "name")), L"abc");
  EXPECT_FALSE(IsWindowVisible(FindControl(hwnd, "hint")));
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.bottom, 260);

  // A log that drops its oldest line as it gains one keeps the rest.
  form.log.items.erase(form.log.items.begin());
  form.log.AddAndSelect(std::string("третья"_w));
  Pump();
  ASSERT_EQ(SendMessageW(log, LB_GETCOUNT, 0, 0), 2);
  wchar_t line[32] = {};
  SendMessageW(log, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(line));
  EXPECT_STREQ(line, L"вторая");
}

TEST_F(Win32RendererTest, MenuBarCommandsAndTheirShortcutsRunTheEntries) {
  struct MenuForm : ui::Window {
    MenuForm() : ui::Window("TMenuForm") {
      client_width = 200;
      client_height = 100;
      main_menu = &menu;
      ui::MenuEntry& link = menu.Add(ui::MenuEntry(std::string("Связь"_w)));
      link.Add(ui::MenuEntry(std::string("Соедениться с офисом"_w), [this] { ++connects; }));
      menu.Add(ui::MenuEntry(std::string("&Выход"_w), [this] { ++exits; }, VK_ESCAPE));
    }
    ui::MenuEntry menu;
    int connects = 0, exits = 0;
  } form;
  form.Show();
  HWND hwnd = renderer_->NativeHandle(form);
  ASSERT_NE(hwnd, nullptr);
  HMENU bar = GetMenu(hwnd);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 2);
  wchar_t text[64] = {};
  GetMenuStringW(bar, 1, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"&Выход\tEsc");
  const UINT connect = GetMenuItemID(GetSubMenu(bar, 0), 0);
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(connect, 0), 0);
  EXPECT_EQ(form.connects, 1);

  PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
  Pump();
  EXPECT_EQ(form.exits, 1);
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.bottom, 100);
}

TEST_F(Win32RendererTest, MessageBoxesAreRealAndAnsweredByTheirButtons) {
  // A window of the plug-in's own, shown: it waits for the box too (the
  // system's box disables only its owner, and a second box could be opened
  // from the window under the first).
  SampleForm form;
  form.Show();
  HWND window = renderer_->NativeHandle(form);
  std::atomic<bool> owned{false}, window_waited{false};
  std::thread answerer([&] {
    HWND box = AwaitWindow(L"#32770", L"Вопрос");
    if (box == nullptr) return;
    owned = GetWindow(box, GW_OWNER) == app_;
    window_waited = !IsWindowEnabled(window);
    SendMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  });
  ui::BoxRequest box{std::string("Вопрос"_w), std::string("Начать новый сеанс связи?"_w), ui::Buttons::YesNo,
                     ui::BoxIcon::Question};
  box.on_top = true;
  const ui::Answer answer = ui::Operator::instance().ShowMessageBox(box);
  answerer.join();
  EXPECT_EQ(answer, ui::Answer::No);
  EXPECT_TRUE(owned);
  EXPECT_TRUE(window_waited);
  EXPECT_TRUE(IsWindowEnabled(window));
  EXPECT_EQ(MessageBoxFlags(box), UINT{MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL | MB_TOPMOST});
  box.system_modal = true;
  box.on_top = false;
  EXPECT_EQ(MessageBoxFlags(box), UINT{MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL});
  EXPECT_EQ(MessageBoxText("a\rb\r\nc"), L"a\nb\nc");
}

TEST_F(Win32RendererTest, AModalWindowDisablesTheOwnerUntilItsButtonOrItsCloseBoxEndsIt) {
  struct Dialog : ui::Window {
    Dialog() : ui::Window("TModalSample") {
      caption = "Настройка"_w;
      client_width = 200;
      client_height = 80;
      apply.SetBounds(10, 40, 80, 25);
      apply.on_click = [this] { modal_result = ModalResult::Ok; };
    }
    ui::Button apply{*this, "apply"};
  } dialog;

  std::atomic<bool> owner_disabled{false};
  std::thread operator_thread([&] {
    HWND hwnd = AwaitWindow(L"TModalSample", nullptr);
    if (hwnd == nullptr) return;
    owner_disabled = !IsWindowEnabled(app_);
    SendMessageW(FindControl(hwnd, "apply"), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(ui::Operator::instance().ShowModal(dialog), ui::Answer::Ok);
  operator_thread.join();
  EXPECT_TRUE(owner_disabled);
  EXPECT_TRUE(IsWindowEnabled(app_));
  EXPECT_FALSE(IsWindowVisible(renderer_->NativeHandle(dialog)));

  std::thread closer([&] {
    if (HWND hwnd = AwaitWindow(L"TModalSample", nullptr)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(ui::Operator::instance().ShowModal(dialog), ui::Answer::Cancel);
  closer.join();

  // Esc on one of its controls: the dialog manager's cancel, as its close box.
  std::thread escaper([&] {
    if (HWND hwnd = AwaitWindow(L"TModalSample", nullptr)) {
      HWND apply = FindControl(hwnd, "apply");
      PostMessageW(apply, WM_KEYDOWN, VK_ESCAPE, 0);
    }
  });
  EXPECT_EQ(ui::Operator::instance().ShowModal(dialog), ui::Answer::Cancel);
  escaper.join();
}

// A hidden window that other parts of the application address: found by its
// class before it is ever shown, and its message reaches the model.
TEST_F(Win32RendererTest, AnAddressableWindowExistsHiddenAndTakesTheHostsMessages) {
  struct Addressed : ui::Window {
    Addressed() : ui::Window("TAddressedSample") {}
    using ui::Window::HandleMessage;
    void HandleMessage(const ui::Message& m) override {
      if (m.msg == ui::kWmUser + 1) Show();
    }
  } form;
  EXPECT_EQ(FindWindowW(L"TAddressedSample", nullptr), nullptr);
  ui::CurrentBackend().WindowAddressable(form);
  HWND hwnd = FindWindowW(L"TAddressedSample", nullptr);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  SendMessageW(hwnd, WM_USER + 1, 0, 0);
  EXPECT_TRUE(form.visible);
  Pump();
  EXPECT_TRUE(IsWindowVisible(hwnd));

  // Any other window's model never sees that range: the system's controls
  // send their parents messages there (DM_GETDEFID, DM_SETDEFID).
  struct Plain : ui::Window {
    Plain() : ui::Window("TPlainSample") {}
    using ui::Window::HandleMessage;
    void HandleMessage(const ui::Message&) override { ++seen; }
    int seen = 0;
  } plain;
  plain.Show();
  SendMessageW(renderer_->NativeHandle(plain), WM_USER + 1, 0, 0);
  EXPECT_EQ(plain.seen, 0);
}

TEST_F(Win32RendererTest, TabsShowTheirOwnPagesAndGroupBoxesHoldTheirControls) {
  struct Tabs : ui::Window {
    Tabs() : ui::Window("TTabsSample") {
      client_width = 300;
      client_height = 200;
      pages.SetBounds(0, 0, 300, 200);
      first.caption = "Параметры"_w;
      second.caption = "Интерактив"_w;
      first.parent = second.parent = &pages;
      group.caption = "Слежение за АЗС (ТВ АЗС)"_w;
      group.SetBounds(8, 8, 200, 100);
      group.parent = &second;
      gif.caption = "GIF";
      gif.SetBounds(10, 20, 100, 17);
      gif.parent = &group;
      label.caption = "Порт"_w;
      label.SetBounds(8, 8, 100, 13);
      label.parent = &first;
    }
    ui::Control pages{*this, "PageControl1"};
    ui::TabSheet first{*this, "TabSheet1"};
    ui::Label label{*this, "Label1"};
    ui::TabSheet second{*this, "TabSheet3"};
    ui::GroupBox group{*this, "GroupBox8"};
    ui::RadioButton gif{*this, "rbGIF"};
  } form;
  form.Show();
  HWND hwnd = renderer_->NativeHandle(form);
  ASSERT_NE(hwnd, nullptr);
  HWND tabs = FindControl(hwnd, "PageControl1");
  ASSERT_EQ(ClassOf(tabs), L"SysTabControl32");
  EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
  HWND first = FindControl(hwnd, "TabSheet1"), second = FindControl(hwnd, "TabSheet3");
  HWND gif = FindControl(hwnd, "rbGIF");
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(ClassOf(FindControl(hwnd, "GroupBox8")), L"Button");
  EXPECT_TRUE(IsWindowVisible(first));
  EXPECT_FALSE(IsWindowVisible(second));
  EXPECT_FALSE(IsWindowVisible(gif));
  // Inside the group box, at its place on the page.
  EXPECT_EQ(BoundsInParent(gif).left, 18);
  EXPECT_EQ(BoundsInParent(gif).top, 28);

  SendMessageW(tabs, TCM_SETCURSEL, 1, 0);
  NMHDR change{tabs, static_cast<UINT_PTR>(GetDlgCtrlID(tabs)), static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageW(GetParent(tabs), WM_NOTIFY, change.idFrom, reinterpret_cast<LPARAM>(&change));
  EXPECT_FALSE(IsWindowVisible(first));
  EXPECT_TRUE(IsWindowVisible(gif));
  SendMessageW(gif, BM_CLICK, 0, 0);
  EXPECT_TRUE(form.gif.checked);
}

}  // namespace
}  // namespace pw::renderer::win32

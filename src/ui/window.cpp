#include "ui/window.h"

#include <algorithm>
#include <atomic>

#include "ui/backend.h"
#include "ui/dispatcher.h"

namespace pw::ui {

namespace {

std::vector<Window*>& Registry() {
  static std::vector<Window*> windows;
  return windows;
}

std::atomic<std::uint64_t> next_window_id{1};

}  // namespace

Control::Control(Window& owner, std::string name) : owner_(owner), name_(std::move(name)) {
  AssertOnMainThread("Control::Control");
  owner_.controls_.push_back(this);
}

Control::~Control() {
  AssertOnMainThread("Control::~Control");
  CurrentBackend().ControlDestroyed(*this);
  auto& list = owner_.controls_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void Control::Announce() { CurrentBackend().ControlChanged(*this); }

bool Control::Reachable() const {
  return enabled && visible && (parent == nullptr || parent->Reachable());
}

void Control::SetBounds(int new_left, int new_top, int new_width, int new_height) {
  AssertOnMainThread("Control::SetBounds");
  left = new_left;
  top = new_top;
  width = new_width;
  height = new_height;
}

void ListBox::AddAndSelect(std::string line) {
  AssertOnMainThread("ListBox::AddAndSelect");
  items.push_back(std::move(line));
  item_index = static_cast<int>(items.size()) - 1;
}

Window::Window(std::string class_name)
    : class_name_(std::move(class_name)), id_(next_window_id.fetch_add(1)) {
  AssertOnMainThread("Window::Window");
  Registry().push_back(this);
}

Window::~Window() {
  AssertOnMainThread("Window::~Window");
  CurrentBackend().WindowDestroyed(*this);
  auto& list = Registry();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void Window::Announce() { CurrentBackend().WindowChanged(*this); }

void Window::Show() {
  AssertOnMainThread("Window::Show");
  visible = true;
  CurrentBackend().WindowShown(*this);
}

void Window::Hide() {
  AssertOnMainThread("Window::Hide");
  visible = false;
  CurrentBackend().WindowHidden(*this);
}

void Window::BringToFront() {
  AssertOnMainThread("Window::BringToFront");
  if (visible) CurrentBackend().BringToFront(*this);
}

void Window::SetClientSize(int client_w, int client_h) {
  AssertOnMainThread("Window::SetClientSize");
  const int frame_w = width - client_width;
  const int frame_h = height - client_height;
  width = std::max(client_w + frame_w, min_width);
  height = std::max(client_h + frame_h, min_height);
  client_width = width - frame_w;
  client_height = height - frame_h;
  if (on_resize) on_resize();
}

void Window::OperatorClose() {
  AssertOnMainThread("Window::OperatorClose");
  if (on_close) on_close();
  else Hide();
}

Control* Window::FindControl(std::string_view name) const {
  AssertOnMainThread("Window::FindControl");
  for (Control* c : controls_)
    if (c->name() == name) return c;
  return nullptr;
}

void Window::HandleMessage(const Message& m) {
  AssertOnMainThread("Window::HandleMessage");
  HandleMessage(m.msg, m.text);
}

void Window::HandleMessage(std::uint32_t, std::string_view) {}

void SendWindowMessage(Window& window, const Message& m) {
  Dispatcher::instance().run_sync([&] {
    AssertOnMainThread("SendMessage");
    window.HandleMessage(m);
  });
}

void SendWindowMessage(Window& window, std::uint32_t msg, std::string_view data) {
  SendWindowMessage(window, Message{msg, 0, 0, std::string(data)});
}

void SendWindowMessage(Window& window, std::uint32_t msg, std::intptr_t wparam, std::intptr_t lparam) {
  SendWindowMessage(window, Message{msg, wparam, lparam, {}});
}

void PostWindowMessage(const Window& window, Message m) {
  const std::uint64_t id = window.id();
  Dispatcher::instance().post([id, m = std::move(m)] {
    if (Window* w = FindWindowById(id)) w->HandleMessage(m);
  });
}

void PostWindowMessage(const Window& window, std::uint32_t msg, std::string data) {
  PostWindowMessage(window, Message{msg, 0, 0, std::move(data)});
}

void PostWindowMessage(const Window& window, std::uint32_t msg, std::intptr_t wparam,
                 std::intptr_t lparam) {
  PostWindowMessage(window, Message{msg, wparam, lparam, {}});
}

std::vector<Window*> AllWindows() {
  AssertOnMainThread("AllWindows");
  return Registry();
}

Window* FindWindowById(std::uint64_t id) {
  AssertOnMainThread("FindWindowById");
  for (Window* w : Registry())
    if (w->id() == id) return w;
  return nullptr;
}

}  // namespace pw::ui

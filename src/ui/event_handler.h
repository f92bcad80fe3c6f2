// What a control does when the operator acts on it (a click, a key, a
// timer's tick). Set by the window that owns the control; calling it checks
// that the call comes on the main thread, as every event of a window must.
#pragma once

#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>

#include "ui/dispatcher.h"

namespace pw::ui {

template <class Signature>
class EventHandler;

template <class R, class... Args>
class EventHandler<R(Args...)> {
 public:
  EventHandler() = default;
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, EventHandler> &&
                                              std::is_constructible_v<std::function<R(Args...)>, F>>>
  EventHandler(F&& fn) : fn_(std::forward<F>(fn)) {}

  explicit operator bool() const { return static_cast<bool>(fn_); }

  R operator()(Args... args) const {
    AssertOnMainThread("an event handler");
    return fn_(std::forward<Args>(args)...);
  }

 private:
  std::function<R(Args...)> fn_;
};

}  // namespace pw::ui

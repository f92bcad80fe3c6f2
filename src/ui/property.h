// A field of a window or control model that announces each change to its
// owner, so a renderer hears of it instead of looking. It reads as the value
// it holds (a const reference); assigning, or changing it in place through
// the calls that change a container (push_back, clear, erase, the non-const
// [] and edit()), announces the change. A change made in place is announced
// before it is made: whoever is told reads the model afterwards, once the
// main thread's current work is done (see Backend).
#pragma once

#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>

namespace pw::ui {

// What a property tells of a change: a window or a control.
class ChangeListener {
 public:
  virtual void Announce() = 0;

 protected:
  ~ChangeListener() = default;
};

template <class T>
class Property {
 public:
  explicit Property(ChangeListener* owner, T initial = T{})
      : owner_(owner), value_(std::move(initial)) {}
  Property(const Property&) = delete;

  Property& operator=(const Property& other) { return *this = other.value_; }
  Property& operator=(T v) {
    value_ = std::move(v);
    owner_->Announce();
    return *this;
  }
  template <class U>
  Property& operator=(U&& v)
    requires(!std::is_same_v<std::decay_t<U>, Property> && std::is_assignable_v<T&, U>)
  {
    value_ = std::forward<U>(v);
    owner_->Announce();
    return *this;
  }

  const T& get() const { return value_; }
  operator const T&() const { return value_; }
  const T* operator->() const { return &value_; }
  // For a change in place beyond the calls below: announced, then handed out.
  T& edit() {
    owner_->Announce();
    return value_;
  }

  // A container's reading calls.
  auto size() const
    requires requires(const T& t) { t.size(); }
  {
    return value_.size();
  }
  bool empty() const
    requires requires(const T& t) { t.empty(); }
  {
    return value_.empty();
  }
  auto begin() const
    requires requires(const T& t) { t.begin(); }
  {
    return value_.begin();
  }
  auto end() const
    requires requires(const T& t) { t.end(); }
  {
    return value_.end();
  }
  decltype(auto) front() const
    requires requires(const T& t) { t.front(); }
  {
    return value_.front();
  }
  decltype(auto) back() const
    requires requires(const T& t) { t.back(); }
  {
    return value_.back();
  }
  decltype(auto) operator[](std::size_t i) const
    requires requires(const T& t) { t[i]; }
  {
    return value_[i];
  }
  const auto* c_str() const
    requires requires(const T& t) { t.c_str(); }
  {
    return value_.c_str();
  }

  // A container's changing calls, each announced. Iterators handed out by
  // begin() are const ones; erase takes them.
  decltype(auto) operator[](std::size_t i)
    requires requires(T& t) { t[i]; }
  {
    return edit()[i];
  }
  template <class U>
  void push_back(U&& item) {
    edit().push_back(std::forward<U>(item));
  }
  template <class... A>
  decltype(auto) emplace_back(A&&... args) {
    return edit().emplace_back(std::forward<A>(args)...);
  }
  void clear()
    requires requires(T& t) { t.clear(); }
  {
    edit().clear();
  }
  template <class... A>
  auto erase(A&&... args) {
    return edit().erase(std::forward<A>(args)...);
  }

  template <class U>
  Property& operator+=(const U& v) {
    edit() += v;
    return *this;
  }
  template <class U>
  Property& operator-=(const U& v) {
    edit() -= v;
    return *this;
  }
  operator std::string_view() const
    requires std::is_convertible_v<const T&, std::string_view>
  {
    return value_;
  }

  template <class U>
  friend bool operator==(const Property& a, const U& b)
    requires(!std::is_same_v<U, Property>) && requires(const T& t, const U& u) { t == u; }
  {
    return a.value_ == b;
  }
  template <class Stream>
  friend Stream& operator<<(Stream& out, const Property& p)
    requires requires(Stream& s, const T& t) { s << t; }
  {
    out << p.value_;
    return out;
  }

 private:
  ChangeListener* owner_;
  T value_;
};

}  // namespace pw::ui

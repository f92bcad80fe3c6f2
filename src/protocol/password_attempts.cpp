#include "protocol/password_attempts.h"

#include <algorithm>

namespace pw::protocol {

PasswordAttempts::Clock::duration PasswordAttempts::Wait(int wrong) {
  return std::min<Clock::duration>(kStep * std::max(wrong, 1), kLongestWait);
}

std::optional<PasswordAttempts::Clock::time_point> PasswordAttempts::Turn(
    const std::string& address, Clock::time_point latest) {
  const Clock::time_point now = Clock::now();
  MutexLock lock(mu_);
  auto it = records_.find(address);
  if (it != records_.end() && it->second.next_turn + kForgetAfter < now) {
    records_.erase(it);
    it = records_.end();
  }
  if (it == records_.end()) {
    // At once unless fresh addresses come faster than their rate allows
    // (beyond a second's burst): then at the turn the rate gives.
    const Clock::time_point spent = std::max(fresh_spent_until_, now);
    const Clock::time_point turn = std::max(now, spent - kFreshBurst);
    if (turn > latest) return std::nullopt;
    fresh_spent_until_ = spent + kFreshStep;
    return turn;
  }
  const Clock::time_point turn = std::max({now, it->second.next_turn, shared_next_turn_});
  if (turn > latest) return std::nullopt;
  // Connections of the same address that come meanwhile queue behind this
  // one, and every other address's behind its share.
  it->second.next_turn = turn + Wait(it->second.wrong);
  shared_next_turn_ = turn + kGlobalStep;
  return turn;
}

void PasswordAttempts::Wrong(const std::string& address) {
  const Clock::time_point now = Clock::now();
  MutexLock lock(mu_);
  auto it = records_.find(address);
  if (it == records_.end()) {
    MakeRoom(now);
    it = records_.emplace(address, Record{0, now}).first;
  }
  Record& r = it->second;
  ++r.wrong;
  r.next_turn = std::max(r.next_turn, now + Wait(r.wrong));
}

void PasswordAttempts::Right(const std::string& address) {
  MutexLock lock(mu_);
  records_.erase(address);
}

std::size_t PasswordAttempts::Addresses() const {
  MutexLock lock(mu_);
  return records_.size();
}

void PasswordAttempts::MakeRoom(Clock::time_point now) {
  if (records_.size() < kMaxAddresses) return;
  std::erase_if(records_, [now](const auto& entry) { return entry.second.next_turn + kForgetAfter < now; });
  if (records_.size() < kMaxAddresses) return;
  records_.erase(std::min_element(records_.begin(), records_.end(), [](const auto& a, const auto& b) {
    return a.second.next_turn < b.second.next_turn;
  }));
}

}  // namespace pw::protocol

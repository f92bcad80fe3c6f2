// What wrong passwords cost a peer address. A listener judges the password
// of an address with wrong ones on record only at that address's next turn,
// and every wrong one puts the turn after it further off, so guessing from
// one address runs at about one try a second and slows from there, however
// many connections it opens at once. A right password clears the record.
// The judged passwords of all addresses with wrong ones on record share one
// budget besides, kGlobalStep apart (5 a second in all), so many addresses
// guessing in turn go no faster than that. Addresses with nothing on record
// are judged at once while they come no faster than kFreshPerSecond (100 a
// second, in bursts of two seconds' worth: a whole chain's stations calling
// at one moment pass within seconds), so a station's right password is not
// held up by guessers; past that rate (many fresh addresses guessing once
// each) they wait their turns too.
//
// The table is bounded: records untouched for kForgetAfter are forgotten,
// and when it is full the record whose turn came longest ago goes first.
// Any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>

#include "sync/mutex.h"
#include "sync/thread_annotations.h"

namespace pw::protocol {

class PasswordAttempts {
 public:
  using Clock = std::chrono::steady_clock;

  // The n-th wrong password in a row puts the next turn n steps off, up to
  // the longest wait (which stays below the listener's handshake limit).
  static constexpr auto kStep = std::chrono::milliseconds(500);
  static constexpr auto kLongestWait = std::chrono::milliseconds(4000);
  static constexpr auto kGlobalStep = std::chrono::milliseconds(200);
  static constexpr int kFreshPerSecond = 100;
  static constexpr auto kFreshStep = std::chrono::milliseconds(1000 / kFreshPerSecond);
  static constexpr auto kFreshBurst = std::chrono::seconds(2);
  static constexpr auto kForgetAfter = std::chrono::minutes(15);
  // About 100 bytes a record: 6 MB at most.
  static constexpr std::size_t kMaxAddresses = 65536;

  // When the password the address sent may be judged: now for an address
  // with no wrong password on record, else its next turn, which this call
  // takes. Nothing when that turn comes after latest: the password is then
  // refused without being looked at.
  std::optional<Clock::time_point> Turn(const std::string& address, Clock::time_point latest)
      LOCKS_EXCLUDED(mu_);

  void Wrong(const std::string& address) LOCKS_EXCLUDED(mu_);
  void Right(const std::string& address) LOCKS_EXCLUDED(mu_);

  std::size_t Addresses() const LOCKS_EXCLUDED(mu_);

 private:
  struct Record {
    int wrong = 0;
    Clock::time_point next_turn;  // the earliest time the next password is judged
  };
  static Clock::duration Wait(int wrong);
  // Room for one more record: forgotten ones go, then the stalest.
  void MakeRoom(Clock::time_point now) EXCLUSIVE_LOCKS_REQUIRED(mu_);

  mutable Mutex mu_;
  std::unordered_map<std::string, Record> records_ GUARDED_BY(mu_);
  Clock::time_point shared_next_turn_ GUARDED_BY(mu_);  // of the shared budget
  // When the fresh addresses' budget is spent at their average rate.
  Clock::time_point fresh_spent_until_ GUARDED_BY(mu_);
};

}  // namespace pw::protocol

// A private copy of a station's request file, taken while the request-file
// lock is held: the host may prepare the next station's request under the
// same path, and the body then travels at the station's pace with the lock
// already free for the other stations. The copy lies in the office's
// incoming folder under a temporary's name (cleared at Load if a process
// ends mid-way) and goes when this does. The copies alive at once hold
// kBudget bytes at most, so stations that stall their bodies cannot fill
// the disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pw::office {

class RequestSnapshot {
 public:
  static constexpr std::int64_t kBudget = 256 << 20;

  // Copies size bytes of the file at path; nothing when the budget has no
  // room or no copy can be made (the folder, the disk, the file itself): the
  // caller then sends from path itself, holding the lock, as an office
  // without copies would.
  static std::optional<RequestSnapshot> Take(const std::string& path, std::int32_t size);
  ~RequestSnapshot();
  RequestSnapshot(RequestSnapshot&& other) noexcept;
  RequestSnapshot(const RequestSnapshot&) = delete;
  RequestSnapshot& operator=(const RequestSnapshot&) = delete;
  RequestSnapshot& operator=(RequestSnapshot&&) = delete;

  const std::string& path() const { return path_; }

 private:
  RequestSnapshot(std::string path, std::int32_t size) : path_(std::move(path)), size_(size) {}
  std::string path_;  // empty once moved from
  std::int32_t size_;
};

}  // namespace pw::office

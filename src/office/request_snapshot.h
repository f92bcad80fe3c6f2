// A private copy of a station's request file, taken while the request-file
// lock is held: the host may prepare the next station's request under the
// same path, and the body then travels at the station's pace with the lock
// already free for the other stations. The copy lies in the office's
// incoming folder under a temporary's name (cleared at Load if a process
// ends mid-way) and goes when this does.
#pragma once

#include <cstdint>
#include <string>

namespace pw::office {

class RequestSnapshot {
 public:
  // Copies size bytes of the file at path; raises pw::Error when it cannot
  // be read or holds fewer.
  RequestSnapshot(const std::string& path, std::int32_t size);
  ~RequestSnapshot();
  RequestSnapshot(const RequestSnapshot&) = delete;
  RequestSnapshot& operator=(const RequestSnapshot&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace pw::office

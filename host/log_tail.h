// Follows the plug-in's event log file and hands over each new line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pw::host {

// A log or history line without the "dd.mm.yyyy hh:nn:ss:zzz " + " - " in
// front of its text; a line without one as it is.
std::string WithoutStamp(const std::string& line);

class LogTail {
 public:
  // Lines already in the file when the tail starts are not new.
  explicit LogTail(std::string path);

  // The complete lines (without CR LF) written since the last call. A file
  // that was set aside meanwhile is read to its end under its set-aside name
  // (the day's newest).
  // Raises pw::Error when the log cannot be looked at now (out of file
  // descriptors); nothing is lost, the next call goes on from the same place.
  std::vector<std::string> Poll();
  // Poll, with a failure told to tell (its Windows-1251 text) once, not at
  // every call while it lasts; no lines then.
  std::vector<std::string> PollTellingFailureOnce(const std::function<void(const std::string&)>& tell);

 private:
  std::string ReadFrom(const std::string& path, std::uint64_t offset) const;
  std::vector<std::string> TakeLines(const std::string& bytes);

  std::string path_;
  std::uint64_t offset_ = 0;
  std::string partial_;
  // The newest set-aside as the last look found it ("" size 0: none).
  std::string aside_;
  std::uint64_t aside_size_ = 0;
  std::string failure_;  // the last failure told
};

}  // namespace pw::host

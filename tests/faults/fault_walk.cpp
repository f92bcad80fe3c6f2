#include "fault_walk.h"

#include <algorithm>
#include <filesystem>

#include "platform/error.h"

namespace pw::test {

using platform::FileCall;

const char* CallName(FileCall call) {
  switch (call) {
    case FileCall::kOpen: return "open";
    case FileCall::kWrite: return "write";
    case FileCall::kRename: return "rename";
    case FileCall::kClose: return "close";
  }
  return "?";
}

std::string InjectedFailureText(FileCall call, const std::string& folder) {
  const std::string scratch = folder + "scratch.tmp";
  platform::FileFaultPlan plan;
  plan.under = scratch;
  plan.FailAt(call, 1);
  std::string text;
  {
    platform::WritableFile file(scratch);
    file.Write("ab", 2);
    file.Close();
  }
  platform::InstallFileFaultPlan(&plan);
  try {
    switch (call) {
      case FileCall::kOpen: {
        platform::WritableFile opened(scratch);
        break;
      }
      case FileCall::kRename: platform::RenameReplacing(scratch, scratch); break;
      case FileCall::kWrite:
      case FileCall::kClose: {
        platform::WritableFile file(scratch);
        file.Write("ab", 2);
        file.Close();
        break;
      }
    }
  } catch (const Error& e) {
    text = e.what();
  }
  platform::InstallFileFaultPlan(nullptr);
  platform::RemoveFile(scratch);
  const std::size_t colon = text.rfind(": ");
  return colon == std::string::npos ? text : text.substr(colon + 2);
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

FileCallCounts CountFileCalls(const std::string& under, const std::function<void()>& run) {
  platform::FileFaultPlan plan;
  plan.under = under;
  platform::InstallFileFaultPlan(&plan);
  run();
  platform::InstallFileFaultPlan(nullptr);
  FileCallCounts counts{};
  for (FileCall call : kFileCalls) counts[static_cast<std::size_t>(call)] = plan.Seen(call);
  return counts;
}

int WalkFileFaults(const std::string& under, const FileCallCounts& counts,
                   const std::function<void()>& run,
                   const std::function<void(FileCall, std::uint64_t)>& check) {
  int runs = 0;
  for (FileCall call : kFileCalls) {
    for (std::uint64_t n = 1; n <= counts[static_cast<std::size_t>(call)]; ++n) {
      platform::FileFaultPlan plan;
      plan.under = under;
      plan.FailAt(call, n);
      platform::InstallFileFaultPlan(&plan);
      run();
      platform::InstallFileFaultPlan(nullptr);
      check(call, n);
      ++runs;
    }
  }
  return runs;
}

std::vector<std::int64_t> CutPoints(std::int64_t total, const std::vector<Span>& bodies) {
  std::vector<std::int64_t> points;
  std::int64_t at = 0;
  for (const Span& body : bodies) {
    for (; at <= body.start; ++at) points.push_back(at);
    if (body.end > body.start + 1) points.push_back(body.start + 1);
    if (body.end > body.start) points.push_back(body.start + (body.end - body.start) / 2);
    if (body.end - 1 > body.start) points.push_back(body.end - 1);
    at = body.end;
  }
  for (; at < total; ++at) points.push_back(at);
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

}  // namespace pw::test

// WriteFileReplacing under every failing file call: the call raises the
// OS's failure, the older file stays whole and nothing is left beside it.
// And the fault plan itself: it counts only under its folder, fails only the
// call it names, and costs nothing once removed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault_walk.h"
#include "platform/error.h"
#include "platform/files.h"
#include "temp_folder.h"

namespace pw {
namespace {

using platform::FileCall;

TEST(WriteFileReplacingFaults, EveryFailingCallRaisesAndKeepsTheOlderFileAlone) {
  test::TempFolder root;
  const std::string folder = root / "data/";
  platform::CreateDirectories(folder);
  const std::string path = folder + "cnf.INI";
  const std::string bytes(100000, 'n');
  const auto replace = [&] { platform::WriteFileReplacing(path, bytes); };

  const test::FileCallCounts counts = test::CountFileCalls(folder, replace);
  EXPECT_EQ(counts, (test::FileCallCounts{1, 1, 1, 1}));
  test::WriteFile(path, "older");

  std::vector<std::string> errors;
  const int runs = test::WalkFileFaults(
      folder, counts,
      [&] {
        try {
          replace();
          errors.push_back("");
        } catch (const Error& e) {
          errors.push_back(e.what());
        }
      },
      [&](FileCall call, std::uint64_t) {
        SCOPED_TRACE(test::CallName(call));
        EXPECT_NE(errors.back().find(test::InjectedFailureText(call, root.path())), std::string::npos)
            << errors.back();
        EXPECT_EQ(test::ReadFile(path), "older");
        EXPECT_EQ(test::FilesIn(folder), std::vector<std::string>{"cnf.INI"});
      });
  EXPECT_EQ(runs, 4);
  replace();  // and with the plan gone it works again
  EXPECT_EQ(test::ReadFile(path).size(), bytes.size());
}

TEST(FileFaultPlan, CountsOnlyUnderItsFolderAndFailsOnlyTheCallItNames) {
  test::TempFolder root;
  const std::string watched = root / "watched/";
  const std::string other = root / "other/";
  platform::CreateDirectories(watched);
  platform::CreateDirectories(other);
  platform::FileFaultPlan plan;
  plan.under = watched;
  plan.FailAt(FileCall::kWrite, 2);
  platform::InstallFileFaultPlan(&plan);
  platform::AppendToFile(other + "log", "a");  // not counted, not failed
  platform::AppendToFile(watched + "log", "ab");
  std::string error;
  try {
    platform::AppendToFile(watched + "log", "cdef");
  } catch (const Error& e) {
    error = e.what();
  }
  platform::AppendToFile(watched + "log", "g");  // past the failing call: written
  platform::InstallFileFaultPlan(nullptr);
  platform::AppendToFile(watched + "log", "h");  // no plan: not counted

  EXPECT_EQ(plan.Seen(FileCall::kOpen), 3u);
  EXPECT_EQ(plan.Seen(FileCall::kWrite), 3u);
  EXPECT_EQ(plan.Seen(FileCall::kClose), 2u);  // the failed append closed without a word
  EXPECT_EQ(plan.Seen(FileCall::kRename), 0u);
  // The failing call names the file, as the system's own error would
  // ("write PATH: ..." here, "WriteFile PATH: ..." on Windows).
  EXPECT_NE(error.find(" " + watched + "log: "), std::string::npos) << error;
  // A disk that fills up mid-write: half of the bytes landed, and the
  // append took them away again (all of its bytes or none).
  EXPECT_EQ(test::ReadFile(watched + "log"), "abgh");
  EXPECT_EQ(test::ReadFile(other + "log"), "a");
}

}  // namespace
}  // namespace pw


#include <filesystem>

#include <gtest/gtest.h>

#include "dialgate_file.h"
#include "host_process.h"
#include "platform/environment.h"
#include "temp_folder.h"

namespace pw::test {
namespace {

TEST(HostConnectionLibrary, DialgateInTheRootComesAndGoesWithThePlugin) {
  TempFolder root;
  std::filesystem::copy_file(PUMPWIRE_FAKE_DIALGATE_PATH, root / DialgateFile());
  platform::SetEnvironmentValue("FAKE_DIALGATE_LOG", (root / "dialgate.log").c_str());
  {
    HostProcess host({"station", "--root", root.path(), "--set", "InPort=0"});
    EXPECT_EQ(host.WaitFor("Load:"), "Load: 0");
    EXPECT_EQ(ReadFile(root / "dialgate.log"), "load\n") << "loaded before Load, nothing called";
    EXPECT_EQ(host.Finish(), 0);
  }
  platform::SetEnvironmentValue("FAKE_DIALGATE_LOG", nullptr);
  EXPECT_EQ(ReadFile(root / "dialgate.log"), "load\nunload\n");
}

TEST(HostConnectionLibrary, HelpTellsTheHostFolderAndTheReportCommand) {
  HostProcess help({"--help"});
  EXPECT_EQ(help.Finish(), 0);
  const std::string text = help.Transcript();
  for (const char* word : {"--report-command", "requests/NAME", "reports/", "answers/", "Dialgate.so"})
    EXPECT_NE(text.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace pw::test

#include "host/folder_host.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/process.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "sync/mutex.h"

namespace pw::test {
namespace {

using text::cp1251_from_utf8;

// The host as the plug-in sees it: through its slots, with Windows-1251 texts.
class FolderHostTest : public ::testing::Test {
 protected:
  FolderHostTest()
      : host_(root_ / "host/", cp1251_from_utf8("АЗС 3"), 4, [this](const std::string& line) {
          MutexLock lock(mu_);
          printed_.push_back(line);
        }) {}

  // "" on success with the answer in *answer, else the error's text.
  std::string GetRequestFile(const std::string& station, std::string* answer) {
    const char* out = nullptr;
    const PwError e = host_.vtbl->GetRequestFile(&host_, cp1251_from_utf8(station).c_str(), &out);
    if (e != nullptr) return e;
    *answer = out;
    return "";
  }
  std::string ProcessRequestFile(const std::string& request, std::string* answer) {
    const char* out = nullptr;
    const PwError e = host_.vtbl->ProcessRequestFile(&host_, request.c_str(), &out);
    if (e != nullptr) return e;
    *answer = out;
    return "";
  }
  std::string ProcessReportFile(const std::string& station, const std::string& report) {
    const char* out = nullptr;
    const PwError e =
        host_.vtbl->ProcessReportFile(&host_, cp1251_from_utf8(station).c_str(), report.c_str(), &out);
    return e != nullptr ? e : "";
  }
  std::string Printed() {
    MutexLock lock(mu_);
    std::string all;
    for (const auto& line : printed_) all += line + "\n";
    return all;
  }

  TempFolder root_;
  Mutex mu_;
  std::vector<std::string> printed_;
  host::FolderHost host_;
};

TEST_F(FolderHostTest, OfficeAnswersTheRequestPutUnderRequestsAndOnlyAPlainName) {
  platform::CreateDirectories(root_ / "host/requests/");
  WriteFile(root_ / "host/requests/АЗС 3", "request body");
  WriteFile(root_ / "host/secret", "not a request");
  std::string answer = "?";
  EXPECT_EQ(GetRequestFile("АЗС 3", &answer), "");
  EXPECT_EQ(answer, cp1251_from_utf8(root_ / "host/requests/АЗС 3"));
  EXPECT_EQ(GetRequestFile("АЗС 3", &answer), "") << "it stays for the next exchange";
  EXPECT_EQ(answer, cp1251_from_utf8(root_ / "host/requests/АЗС 3"));
  for (const char* name : {"АЗС 4", "../secret", "..", "", "a\\b", "c:x", "tab\there"}) {
    EXPECT_EQ(GetRequestFile(name, &answer), "");
    EXPECT_EQ(answer, "") << name;
  }
  EXPECT_NE(Printed().find("host: GetRequestFile АЗС 3 -> " + root_ / "host/requests/АЗС 3\n"),
            std::string::npos)
      << Printed();
  EXPECT_NE(Printed().find("host: GetRequestFile АЗС 4 -> none\n"), std::string::npos);
  EXPECT_NE(Printed().find("host: GetRequestFile ../secret -> none (not a plain file name)\n"),
            std::string::npos);
}

TEST_F(FolderHostTest, OfficeFilesEachReportUnderReportsKeepingItsName) {
  const std::string big(300000, 'r');
  WriteFile(root_ / "zapros_АЗС 3.dat", big);
  EXPECT_EQ(ProcessReportFile("АЗС 3", cp1251_from_utf8(root_ / "zapros_АЗС 3.dat")), "");
  EXPECT_EQ(ReadFile(root_ / "host/reports/zapros_АЗС 3.dat"), big);
  EXPECT_NE(Printed().find("host: ProcessReportFile АЗС 3 " + root_ / "zapros_АЗС 3.dat -> " +
                           root_ / "host/reports/zapros_АЗС 3.dat\n"),
            std::string::npos)
      << Printed();
  // A report that cannot be read is the call's error, and nothing is left.
  EXPECT_NE(ProcessReportFile("АЗС 3", root_ / "gone.dat"), "");
  EXPECT_FALSE(platform::FileExists(root_ / "host/reports/gone.dat"));
  EXPECT_NE(Printed().find("gone.dat -> error: "), std::string::npos);
}

TEST_F(FolderHostTest, StationWritesAReportOfItsOwnNamingTheRequestAndItsSize) {
  WriteFile(root_ / "zapros_z", "12345");
  std::string report;
  ASSERT_EQ(ProcessRequestFile(root_ / "zapros_z", &report), "");
  EXPECT_EQ(report, root_ / "host/answers/zapros_z.txt");
  EXPECT_EQ(ReadFile(report), cp1251_from_utf8("Report of АЗС 3 for request zapros_z (5 bytes)\r\n"));
  EXPECT_NE(Printed().find("host: ProcessRequestFile " + root_.path() + "zapros_z -> " + report),
            std::string::npos);
}

// The same three commands for either command interpreter: one that makes a
// report of the request, one that prints nothing, one that fails.
struct ReportCommands {
  std::string make;         // writes PATH.rep from the request, prints its path
  std::string report_body;  // what make writes for the request "abc"
  std::string print_nothing;
  std::string exit_3;
};

ReportCommands CommandsForThisSystem(const TempFolder& root) {
  if (std::string(platform::kCommandInterpreter) == "sh")
    return {"f() { wc -c < \"$1\" > \"$1.rep\"; echo \"$1.rep\"; }; f", "3\n", "true", "exit 3"};
  // cmd has no functions: a batch file takes the path as %1.
  WriteFile(root / "make_report.cmd",
            "@echo off\r\ncopy /y \"%~1\" \"%~1.rep\" >nul\r\necho %~1.rep\r\n");
  return {root / "make_report.cmd", "abc", "rem", "exit 3"};
}

TEST_F(FolderHostTest, StationRunsTheReportCommandWithTheRequestAsItsArgument) {
  const ReportCommands commands = CommandsForThisSystem(root_);
  WriteFile(root_ / "my zapros_z", "abc");
  // The command sees the path as one argument, blanks and all.
  host_.SetReportCommand(commands.make);
  std::string report;
  ASSERT_EQ(ProcessRequestFile(root_ / "my zapros_z", &report), "");
  EXPECT_EQ(report, root_ / "my zapros_z.rep");
  EXPECT_EQ(ReadFile(report), commands.report_body);

  host_.SetReportCommand(commands.print_nothing);
  ASSERT_EQ(ProcessRequestFile(root_ / "my zapros_z", &report), "");
  EXPECT_EQ(report, "") << "nothing printed: no report";
  EXPECT_NE(Printed().find("my zapros_z -> none\n"), std::string::npos);

  host_.SetReportCommand(commands.exit_3);
  EXPECT_EQ(ProcessRequestFile(root_ / "my zapros_z", &report),
            "the report command ended with status 3");
  EXPECT_NE(Printed().find("-> error: the report command ended with status 3"), std::string::npos);
}

}  // namespace
}  // namespace pw::test

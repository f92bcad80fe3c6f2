// The station table in OfficeDB and the office's update of a station's
// address: straight into the table for older hosts, through the host from
// interface version 4.
#include <gtest/gtest.h>

#include "host/folder_host.h"
#include "office/station_address_update.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/station_table.h"
#include "services/folders.h"
#include "shell/plugin_state.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/operator.h"

namespace pw {
namespace {

using platform::StationRecord;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

class StationTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::CreateDirectories(CurrentFolders().log_files);
    ui::Operator::instance().ClearAnswers();
    ui::Operator::instance().SetObserver(
        [this](const std::string& caption, const std::string& text, ui::Answer a) {
          boxes.push_back(caption + "|" + text + "|" + ui::AnswerName(a));
        });
  }
  void TearDown() override {
    ui::Operator::instance().SetObserver(nullptr);
    State().host.reset();
  }
  void Fill(const std::vector<StationRecord>& records) {
    platform::CreateStationTable(db);
    for (const auto& r : records) platform::AddStationRecord(db, r);
  }
  std::vector<StationRecord> Records() { return platform::ReadStationRecords(db); }
  void UseHost(int version) {
    host = std::make_unique<host::FolderHost>(root.path() + "host/", "office", version,
                                              [this](const std::string& line) { printed.push_back(line); });
    State().host.emplace(host.get());
  }

  test::TempFolder root;
  const std::string db = CurrentFolders().office_db;
  std::unique_ptr<host::FolderHost> host;
  std::vector<std::string> printed;
  std::vector<std::string> boxes;
};

TEST_F(StationTableTest, NamesWithQuotesReachOnlyTheirOwnRecord) {
  const std::string quoted = W("АЗС 'Север'"_w);
  const std::string injection = "x' OR '1'='1";
  Fill({{quoted, "1.1.1.1"}, {"x", "2.2.2.2"}, {injection, "3.3.3.3"}});
  platform::UpdateStationAddress(db, quoted, "9.9.9.9");
  platform::UpdateStationAddress(db, injection, "8.8.8.8");
  EXPECT_EQ(Records(), (std::vector<StationRecord>{{quoted, "9.9.9.9"}, {"x", "2.2.2.2"}, {injection, "8.8.8.8"}}));
}

TEST_F(StationTableTest, OnlyTheFirstMatchChangesAndNoMatchChangesNothing) {
  Fill({{"B", "1"}, {"A", "2"}, {"A", "3"}});
  platform::UpdateStationAddress(db, "A", "10.0.0.7");
  platform::UpdateStationAddress(db, "a", "10.0.0.8");  // exact comparison
  platform::UpdateStationAddress(db, "C", "10.0.0.9");
  EXPECT_EQ(Records(), (std::vector<StationRecord>{{"B", "1"}, {"A", "10.0.0.7"}, {"A", "3"}}));
}

TEST_F(StationTableTest, AMissingDatabaseOrTableRaisesSQLitesTextAndCreatesNothing) {
  try {
    platform::UpdateStationAddress(db, "A", "1.2.3.4");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("unable to open database file"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(platform::FileExists(platform::StationTableFile(db)));

  platform::CreateDirectories(db);
  test::WriteFile(platform::StationTableFile(db), "");  // an empty database: no table
  try {
    platform::UpdateStationAddress(db, "A", "1.2.3.4");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("no such table: Office"), std::string::npos) << e.what();
  }
}

TEST_F(StationTableTest, OlderHostsGetTheDatabaseUpdatedAndErrorsShownInABox) {
  UseHost(3);
  office::UpdateStationAddress(State(), "A", "10.0.0.7");  // no database yet
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].substr(0, 1), "|");  // empty caption
  EXPECT_NE(boxes[0].find("unable to open database file|ok"), std::string::npos) << boxes[0];

  Fill({{"A", "1"}});
  office::UpdateStationAddress(State(), "A", "10.0.0.7");
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(Records(), (std::vector<StationRecord>{{"A", "10.0.0.7"}}));
  EXPECT_TRUE(printed.empty());
}

TEST_F(StationTableTest, HostsOfVersionFourAreToldAndTheDatabaseIsLeftAlone) {
  Fill({{W("АЗС 3"_w), "1"}});
  UseHost(4);
  office::UpdateStationAddress(State(), W("АЗС 3"_w), "10.0.0.7");
  EXPECT_EQ(printed, std::vector<std::string>{"host: UpdateTableField OFFICE AZSIP АЗС 3"});
  EXPECT_EQ(Records(), (std::vector<StationRecord>{{W("АЗС 3"_w), "1"}}));
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace pw

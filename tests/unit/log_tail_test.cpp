#include "host/log_tail.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "temp_folder.h"

namespace pw::host {
namespace {

using Lines = std::vector<std::string>;

// The host prints what the plug-in logs: a line written just before the log
// was set aside is read from the set-aside, also from a day's later ones.
TEST(LogTail, FinishesTheSetAsideMadeLastAfterEachRotation) {
  test::TempFolder root;
  const std::string log = root / "Pumpwire.log";
  const std::string dated = log + platform::ShortDateText(platform::Now());
  platform::AppendToFile(log, "old\r\n");
  LogTail tail(log);

  platform::AppendToFile(log, "first\r\n");
  platform::RenameReplacing(log, dated);
  platform::AppendToFile(log, "a\r\n");
  EXPECT_EQ(tail.Poll(), (Lines{"first", "a"}));

  platform::AppendToFile(log, "second\r\n");
  platform::RenameReplacing(log, dated + ".2");
  platform::AppendToFile(log, "b\r\n");
  EXPECT_EQ(tail.Poll(), (Lines{"second", "b"}));
}

}  // namespace
}  // namespace pw::host

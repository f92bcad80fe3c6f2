// Splitting the office address box into recipients and addresses.
#include <gtest/gtest.h>

#include <string>

#include "station/recipients.h"
#include "text/cp1251.h"

namespace pw::station {
namespace {

std::string W(std::string_view cp1251) { return std::string(cp1251); }

TEST(RecipientsTest, SplitsAtSemicolonsAndTrimsEachEntry) {
  const std::string text = W("192.168.0.12 - Офис 1; 10.0.0.5"_w);
  ASSERT_EQ(CountRecipients(text), 2);
  EXPECT_EQ(GetRecipient(text, 0), W("192.168.0.12 - Офис 1"_w));
  EXPECT_EQ(GetRecipient(text, 1), "10.0.0.5");
  EXPECT_EQ(ExtractStationAddress(GetRecipient(text, 0)), "192.168.0.12");
  EXPECT_EQ(ExtractStationAddress(GetRecipient(text, 1)), "10.0.0.5");
  EXPECT_EQ(GetRecipient(text, 2), "");
  EXPECT_EQ(CountRecipients(""), 0);
  EXPECT_EQ(GetRecipient("\t 10.0.0.5 \t", 0), "10.0.0.5");  // tabs are blanks too
}

TEST(RecipientsTest, TrailingSemicolonAndBlankMakeAnEmptyRecipient) {
  EXPECT_EQ(CountRecipients("10.0.0.5; "), 2);
  EXPECT_EQ(GetRecipient("10.0.0.5; ", 1), "");
  // A ";" at the very end leaves nothing behind it: no extra recipient.
  EXPECT_EQ(CountRecipients("10.0.0.5;"), 1);
  EXPECT_EQ(CountRecipients(";;"), 2);
}

TEST(RecipientsTest, OnlyNinetyNineCharactersAfterASemicolonAreRead) {
  const std::string tail(99, 'x');
  // The third entry starts at the 100th character after the first ";".
  const std::string cut = "a;" + tail + ";10.0.0.9";
  EXPECT_EQ(CountRecipients(cut), 2);
  EXPECT_EQ(GetRecipient(cut, 1), tail);

  // Two characters shorter: the ";" and one character after it are read,
  // so the third recipient is there, cut to that character.
  const std::string tail97(97, 'x');
  const std::string short_by_two = "a;" + tail97 + ";10.0.0.9";
  EXPECT_EQ(CountRecipients(short_by_two), 3);
  EXPECT_EQ(GetRecipient(short_by_two, 1), tail97);
  EXPECT_EQ(GetRecipient(short_by_two, 2), "1");

  // The first entry is taken whole up to its ";" ...
  const std::string long_first = std::string(150, 'h') + ";10.0.0.5";
  EXPECT_EQ(GetRecipient(long_first, 0), std::string(150, 'h'));
  EXPECT_EQ(GetRecipient(long_first, 1), "10.0.0.5");
  // ... but the last one, with no ";" after it, only to 99 characters.
  EXPECT_EQ(GetRecipient(std::string(150, 'h'), 0), std::string(99, 'h'));
}

TEST(RecipientsTest, HyphensAfterTheSeventhCharacterEndTheAddress) {
  EXPECT_EQ(ExtractStationAddress("my-host"), "my-host");  // its only hyphen at position 3
  EXPECT_EQ(ExtractStationAddress(W("my-host - АЗС 3"_w)), "my-host");
  EXPECT_EQ(ExtractStationAddress(W("192.168.0.12-Офис"_w)), "192.168.0.12");

  // Position 7 belongs to the address, position 8 ends it.
  EXPECT_EQ(ExtractStationAddress("abcdef-x"), "abcdef-x");
  EXPECT_EQ(ExtractStationAddress("abcdefg-x"), "abcdefg");
  EXPECT_EQ(ExtractStationAddress("abcdef -x"), "abcdef ");  // "-" at 8 cuts, " -" at 7 does not
  // Both positions at 7 or earlier: nothing is cut.
  EXPECT_EQ(ExtractStationAddress("ab - Office"), "ab - Office");

  // The cut before " -" is taken from the whole entry and wins over the one
  // before "-": a host name keeps its own hyphen.
  EXPECT_EQ(ExtractStationAddress(W("officeserver-1 - Офис 1"_w)), "officeserver-1");
  EXPECT_EQ(ExtractStationAddress("office-a-1 - b-c"), "office-a-1");

  // Without a cut the entry is held to 99 characters; a cut is taken from
  // the whole entry wherever it stands.
  EXPECT_EQ(ExtractStationAddress(std::string(120, 'h')), std::string(99, 'h'));
  EXPECT_EQ(ExtractStationAddress(std::string(120, 'h') + "-x"), std::string(120, 'h'));
  EXPECT_EQ(ExtractStationAddress(std::string(110, 'h') + " - x-y"), std::string(110, 'h'));
}

}  // namespace
}  // namespace pw::station

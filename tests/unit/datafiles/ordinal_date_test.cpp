#include "datafiles/ordinal_date.h"

#include <gtest/gtest.h>

#include "support/image_builders.h"

namespace rv4410 {
namespace {

TEST(OrdinalDateTest, FormatsDayMonthAndTwoDigitYear) {
  struct Case {
    OrdinalDate value;
    const char* text;
  };
  for (const Case& c :
       {Case{1032, "01-FEB-01"}, Case{101032, "01-FEB-01"}, Case{99365, "31-DEC-99"},
        Case{0, "00-JAN-00"}, Case{26001, "01-JAN-26"}, Case{79365, "31-DEC-79"},
        Case{24060, "29-FEB-24"}, Case{25060, "01-MAR-25"}, Case{24366, "31-DEC-24"},
        // Every fourth year leaps, with no century rule.
        Case{100060, "29-FEB-00"}}) {
    EXPECT_EQ(FormatOrdinalDate(c.value), c.text) << c.value;
  }
}

TEST(OrdinalDateTest, OutOfRangeValuesStillGiveNineCharacters) {
  EXPECT_EQ(FormatOrdinalDate(26400), "66-DEC-26");  // past the year: stays in December
  EXPECT_EQ(FormatOrdinalDate(26999).size(), 9u);
  EXPECT_EQ(FormatOrdinalDate(-5).size(), 9u);
  EXPECT_EQ(FormatOrdinalDate(2147483647).size(), 9u);
  EXPECT_EQ(FormatOrdinalDate(-2147483647 - 1).size(), 9u);
}

TEST(OrdinalDateTest, TwoDigitYearsBelow80AreThisCentury) {
  EXPECT_EQ(AdjustOrdinalDate(26001), 126001);
  EXPECT_EQ(AdjustOrdinalDate(79365), 179365);
  EXPECT_EQ(AdjustOrdinalDate(80001), 80001);
  EXPECT_EQ(AdjustOrdinalDate(99365), 99365);
}

TEST(OrdinalDateTest, TodayCountsYearsFrom1900AndDaysFromOne) {
  EXPECT_EQ(TodayOrdinal(test::LocalNoon(2026, 1)), 126001);
  EXPECT_EQ(TodayOrdinal(test::LocalNoon(2024, 366)), 124366);
  EXPECT_EQ(TodayOrdinal(test::LocalNoon(1999, 365)), 99365);
}

}  // namespace
}  // namespace rv4410

#include "config/parameter_line.h"

#include <gtest/gtest.h>

#include <string>

namespace rv4410 {
namespace {

TEST(LineCheckCharacter, SumsCharacterCodesModulo36) {
  EXPECT_EQ(LineCheckCharacter("abc"), '6');  // 294 % 36
  EXPECT_EQ(LineCheckCharacter(""), '0');
  EXPECT_EQ(LineCheckCharacter("ADF-1 Select    0x00000000"), 'X');  // 1617 % 36 = 33
  EXPECT_EQ(LineCheckCharacter("#"), 'Z');                           // 35
  EXPECT_EQ(LineCheckCharacter("$"), '0');                           // 36 wraps
  EXPECT_EQ(LineCheckCharacter("\x7f\x7f"), '2');                    // 254 % 36
}

struct FormCase {
  const char* line;
  LineFault fault;
  std::size_t position;
};

TEST(CheckParameterLine, ReportsTheFirstFailingPositionAndItsKind) {
  using enum LineFault;
  const FormCase cases[] = {
      {"ADF-1 Select    0x00000000", kNone, 0},
      {"Swap Reason     0xdeadBEEF", kNone, 0},
      {"", kNone, 0},
      {"ABC", kNone, 0},
      {"x12345678", kNone, 0},
      {"0x12345678", kNone, 0},
      // A capital X is no value field.
      {"ADF-1 Select    0X00000000", kBadValueField, 17},
      {"ADF-1 Select    1x00000000", kBadValueField, 16},
      {"ADF-1 Select    0x0000000G", kBadValueField, 25},
      // "0x" and seven digits: the "0" should stand where the space is.
      {"ADF-1 Select    0x0000000", kBadValueField, 15},
      // Characters outside the set, anywhere, the value field included.
      {"ADF-1\tSelect    0x00000000", kInvalidCharacter, 5},
      {"ADF-1 Select    0x0000.000", kInvalidCharacter, 22},
      {"ADF_1 Select    0x00000000", kInvalidCharacter, 3},
      // A carriage return left on the line shifts the value field: the first
      // failure is the "x" standing where the "0" should.
      {"ADF-1 Select    0x00000000\r", kBadValueField, 17},
      {"ADF-1\rSelect    0x00000000", kInvalidCharacter, 5},
      // The character test comes before the distance test at one position.
      {"ADF-1 Select    _x00000000", kInvalidCharacter, 16},
      // The first failure wins, whatever follows.
      {"AB.D           0X0000000.", kInvalidCharacter, 2},
      {"AB D           0X0000000.", kBadValueField, 16},
  };
  for (const FormCase& c : cases) {
    LineCheck check = CheckParameterLine(c.line);
    EXPECT_EQ(check.fault, c.fault) << '"' << c.line << '"';
    if (c.fault != kNone) {
      EXPECT_EQ(check.position, c.position) << '"' << c.line << '"';
    }
  }
}

TEST(CheckParameterLine, TreatsBytesOutsideAsciiAndZeroBytesAsInvalid) {
  std::string line = "ADF-1 Select    0x00000000";
  line[4] = '\0';
  EXPECT_EQ(CheckParameterLine(line).fault, LineFault::kInvalidCharacter);
  EXPECT_EQ(CheckParameterLine(line).position, 4u);
  line[4] = static_cast<char>(0xC1);
  EXPECT_EQ(CheckParameterLine(line).fault, LineFault::kInvalidCharacter);
}

TEST(ParseParameterValue, ReadsTheLastTenCharactersAsTwosComplement) {
  EXPECT_EQ(ParseParameterValue("HDG             0x00000064"), 100);
  EXPECT_EQ(ParseParameterValue("HDG             0xFFFFFFFF"), -1);
  EXPECT_EQ(ParseParameterValue("HDG             0x80000000"), INT32_MIN);
  EXPECT_EQ(ParseParameterValue("HDG             0x7fffffff"), INT32_MAX);
  EXPECT_EQ(ParseParameterValue("HDG             0xdeadbeef"),
            static_cast<std::int32_t>(0xDEADBEEFu));
  EXPECT_EQ(ParseParameterValue("0x000001AE"), 430);
}

const ParameterEntry& Entry(const char* line) {
  const ParameterEntry* entry = FindParameter(line);
  EXPECT_NE(entry, nullptr) << line;
  return entry != nullptr ? *entry : ParameterTable[0];
}

TEST(LimitRule, ReplacesAValueOutsideEitherLimitWithTheMinimum) {
  const ParameterEntry& vpos = Entry("LCD Vpos        0x00000064");
  EXPECT_FALSE(vpos.Accepts(ParseParameterValue("LCD Vpos        0x00000064")));  // 100
  EXPECT_FALSE(vpos.Accepts(ParseParameterValue("LCD Vpos        0x00000100")));  // 256
  EXPECT_TRUE(vpos.Accepts(175));
  EXPECT_TRUE(vpos.Accepts(255));
  EXPECT_EQ(LimitReplacementLine(vpos), "LCD Vpos        0x000000AF");

  const ParameterEntry& shp = Entry("LCD Shp         0xFFFFFFFF");
  EXPECT_FALSE(shp.Accepts(ParseParameterValue("LCD Shp         0xFFFFFFFF")));  // -1
  EXPECT_EQ(LimitReplacementLine(shp), "LCD Shp         0x00000000");

  const ParameterEntry& xright = Entry("LCD Xright      0x000001F4");
  EXPECT_FALSE(xright.Accepts(500));
  EXPECT_EQ(LimitReplacementLine(xright), "LCD Xright      0x000001AE");

  // Sixteen-character names make 27-character lines.
  EXPECT_EQ(LimitReplacementLine(ParameterTable[124]), "Map1 Item Select 0x00000000");
}

TEST(LimitRule, EntriesWithoutLimitsAcceptEveryValue) {
  for (const char* line : {"HDG             0xFFFFFFFF", "Swap Reason     0x80000000",
                           "Map1 Cat Select  0x7FFFFFFF"}) {
    const ParameterEntry& entry = Entry(line);
    EXPECT_FALSE(entry.HasLimits()) << line;
    EXPECT_TRUE(entry.Accepts(ParseParameterValue(line))) << line;
  }
}

}  // namespace
}  // namespace rv4410

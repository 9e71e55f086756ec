// The simulated unit's identification reply and its faults.

#include "sim/identification.h"

#include <gtest/gtest.h>

#include <cctype>

#include "checksum/crc32.h"
#include "unit/sim/unit_line_driver.h"

namespace rv4410::test {
namespace {

std::string DigitsOf(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits.push_back(c);
  }
  return digits;
}

TEST(SimIdentificationTest, RecordCarriesTheFieldsAndTheLoadersCheck) {
  sim::IdentificationKnobs knobs;
  knobs.mapAreaStart = 0x01020304;
  knobs.mapBase = 0x0A0B0C0D;
  knobs.mapAreaEnd = 0x11223344;
  knobs.featureFlags = 0x80000001;
  auto record = sim::IdentificationRecord(knobs);
  EXPECT_EQ(record[12], 0x01);
  EXPECT_EQ(record[15], 0x04);
  EXPECT_EQ(record[28], 0x0A);
  EXPECT_EQ(record[43], 0x44);
  EXPECT_EQ(record[224], 0x80);
  EXPECT_EQ(record[227], 0x01);
  // The check is the loader's own CRC of the first 256 bytes, most significant first.
  std::uint32_t crc = 0;
  Crc32Init(crc);
  Crc32UpdateBytes(crc, record.data(), 256);
  EXPECT_EQ(record[256], crc >> 24);
  EXPECT_EQ(record[259], crc & 0xFF);
}

TEST(SimIdentificationTest, QueryIsAnswered520DigitsAndTwoCarriageReturns) {
  sim::UnitModel unit;
  auto& feature = unit.Make<sim::IdentificationFeature>(sim::IdentificationKnobs{});
  UnitLineDriver line(unit);
  line.Send("QP\r", 9600);
  std::string reply = line.Receive(1000, 9600);
  ASSERT_EQ(reply.size(), 522u);
  EXPECT_EQ(reply.substr(520), "\r\r");
  EXPECT_EQ(DigitsOf(reply).size(), 520u);
  EXPECT_EQ(feature.Queries(), 1);
}

TEST(SimIdentificationTest, LayoutKnobsChangeOnlyTheArrangement) {
  sim::IdentificationKnobs plain;
  sim::IdentificationKnobs arranged;
  arranged.lowerCase = true;
  arranged.digitsPerLine = 50;
  arranged.lineEnd = "\n";
  arranged.spaceBetweenBytes = true;
  std::string reply = sim::IdentificationReply(arranged);
  std::string digits = DigitsOf(reply);
  for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(digits, DigitsOf(sim::IdentificationReply(plain)));
  EXPECT_NE(reply.find("\n"), std::string::npos);
  EXPECT_NE(reply.find(' '), std::string::npos);
  EXPECT_EQ(reply.find_first_of("ABCDEF"), std::string::npos);
}

TEST(SimIdentificationTest, FaultKnobsDamageTheReplyAsNamed) {
  std::string good = sim::IdentificationReply({});
  sim::IdentificationKnobs knobs;
  knobs.damagedCheck = true;
  std::string damaged = sim::IdentificationReply(knobs);
  ASSERT_EQ(damaged.size(), good.size());
  EXPECT_EQ(damaged.substr(0, 519), good.substr(0, 519));
  EXPECT_NE(damaged[519], good[519]);

  knobs = {};
  knobs.oddDigits = true;
  EXPECT_EQ(DigitsOf(sim::IdentificationReply(knobs)).size(), 519u);

  knobs = {};
  knobs.stopsHalfway = true;
  std::string half = sim::IdentificationReply(knobs);
  EXPECT_EQ(half.size(), 260u);
  EXPECT_EQ(half.find('\r'), std::string::npos);

  sim::UnitModel unit;
  knobs = {};
  knobs.absent = true;
  unit.Make<sim::IdentificationFeature>(knobs);
  UnitLineDriver line(unit);
  line.Send("QP\r", 9600);
  EXPECT_EQ(line.Receive(1000, 9600), "");
}

}  // namespace
}  // namespace rv4410::test

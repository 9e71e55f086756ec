// Read the unit's configuration, write it back: the unit ends as it began.

#include <gtest/gtest.h>

#include "config/read_configuration.h"
#include "config/write_configuration.h"
#include "configuration_fixture.h"
#include "protocol/command_lines.h"

namespace rv4410 {
namespace {

class ConfigurationRoundTripTest : public test::ConfigurationTest,
                                   public ::testing::WithParamInterface<bool> {
 protected:
  // Writes the file back and reads the unit's answer to the whole list.
  void WriteBack() {
    ASSERT_EQ(WriteConfiguration(run).ending, Ending::kDone);
    ReplyBuffer reply{};
    int n = ReceiveLine(run, reply.data(), 5000);
    EXPECT_TRUE(CheckReply(run, reply.data(), n, "OK", kUnitRepliedError).Done());
  }
};

TEST_P(ConfigurationRoundTripTest, UnchangedFileLeavesTheUnitAsItWas) {
  bool checked = GetParam();
  StartConfiguredUnit([checked](auto& k) { k.checkedExchange = checked; });
  const std::vector<sim::Parameter> before = exchange->Store().Parameters();
  const std::vector<std::string> lines = UnitLines();

  ASSERT_EQ(ReadConfiguration(run).ending, Ending::kDone);
  EXPECT_EQ(FileLines(), lines);
  WriteBack();

  EXPECT_EQ(exchange->WrittenLines(), lines);
  EXPECT_EQ(exchange->Store().Parameters(), before);
  EXPECT_EQ(exchange->Store().Rejected(), 0u);
  EXPECT_EQ(exchange->CompletedWrites(), 1);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_P(ConfigurationRoundTripTest, EditedValueReachesTheUnit) {
  bool checked = GetParam();
  StartConfiguredUnit([checked](auto& k) { k.checkedExchange = checked; });
  ASSERT_EQ(ReadConfiguration(run).ending, Ending::kDone);
  std::string text = FileText();
  const std::string hdg = "HDG             0x00000112\r\n";
  std::size_t at = text.find("HDG     ");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, hdg.size(), hdg);
  WriteConfigFile(text);

  WriteBack();

  std::uint32_t value = 0;
  ASSERT_TRUE(exchange->Store().Value("HDG", value));
  EXPECT_EQ(value, 0x112u);
}

INSTANTIATE_TEST_SUITE_P(CheckedAndPlain, ConfigurationRoundTripTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Checked" : "Plain"; });

}  // namespace
}  // namespace rv4410

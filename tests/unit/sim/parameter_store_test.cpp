#include "sim/parameter_store.h"

#include <gtest/gtest.h>

#include "config/parameter_table.h"
#include "sim/sim_options.h"
#include "support/temp_dir.h"

namespace rv4410::sim {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(ParameterStore, InstalledListNamesEveryKnownParameterWithinItsLimits) {
  ParameterStore store;
  ASSERT_EQ(store.Size(), ParameterTable.size());
  for (std::size_t i = 0; i < store.Size(); ++i) {
    const ParameterEntry& entry = ParameterTable[i];
    const Parameter& p = store.Parameters()[i];
    EXPECT_EQ(p.name, entry.Name()) << i;
    auto value = static_cast<std::int32_t>(p.value);
    EXPECT_TRUE(entry.Accepts(value)) << p.name << " " << value;
    EXPECT_EQ(store.Line(i).size(), entry.Name().size() + 11) << i;
  }
}

TEST(ParameterStore, AppliesParameterLinesAndRejectsOthers) {
  ParameterStore store;
  EXPECT_TRUE(store.Apply("HDG             0x0000005A"));
  EXPECT_TRUE(store.Apply("Map1 Cat Select  0xffffffff"));
  EXPECT_FALSE(store.Apply("Gizmo           0x00000001"));
  EXPECT_FALSE(store.Apply("HDG             0X0000005A"));
  EXPECT_FALSE(store.Apply("HDG"));
  std::uint32_t value = 0;
  ASSERT_TRUE(store.Value("HDG", value));
  EXPECT_EQ(value, 0x5Au);
  ASSERT_TRUE(store.Value("Map1 Cat Select ", value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_EQ(store.Rejected(), 3u);
}

TEST(ParameterStore, SavesAndLoadsAConfigurationFile) {
  TempDir dir;
  ParameterStore store;
  store.Set("HDG", 7);
  ASSERT_TRUE(store.Save(dir.File("out.dat")));
  std::string text = ReadFile(dir.File("out.dat"));
  EXPECT_EQ(text.substr(0, 28), "ADF-1 Select    0x00000001\r\n");

  ParameterStore loaded;
  std::string error;
  WriteFile(dir.File("in.dat"), "HDG             0x00000001\nCRS             0x00000002\r\n");
  ASSERT_TRUE(loaded.Load(dir.File("in.dat"), error)) << error;
  EXPECT_EQ(loaded.Size(), 2u);
  ASSERT_TRUE(loaded.Load(dir.File("out.dat"), error)) << error;
  EXPECT_EQ(loaded.Parameters(), store.Parameters());

  WriteFile(dir.File("bad.dat"), "HDG             0x00000001\nnonsense\n");
  EXPECT_FALSE(loaded.Load(dir.File("bad.dat"), error));
  EXPECT_NE(error.find(":2:"), std::string::npos);
}

TEST(SimOptions, TakeTheConfigurationKnobs) {
  const char* argv[] = {"rv4410-sim",         "--no-checked-exchange",
                        "--damage-line",      "4",
                        "--damage-kind",      "char",
                        "--cut-line",         "9",
                        "--never-ack-writes", "--params-out",
                        "/tmp/x.dat"};
  SimOptions options;
  std::string error;
  ASSERT_TRUE(ParseSimOptions(static_cast<int>(std::size(argv)), argv, options, error)) << error;
  EXPECT_FALSE(options.configuration.checkedExchange);
  EXPECT_EQ(options.configuration.damagedLine, 4);
  EXPECT_EQ(options.configuration.damagedAttempts, 1);
  EXPECT_EQ(options.configuration.damage, LineDamage::kInvalidCharacter);
  EXPECT_EQ(options.configuration.cutLine, 9);
  EXPECT_TRUE(options.configuration.neverAckWrites);
  EXPECT_EQ(options.configuration.paramsOut, "/tmp/x.dat");

  const char* missing[] = {"rv4410-sim", "--params-in", "/no/such/file"};
  EXPECT_FALSE(ParseSimOptions(3, missing, options, error));
  const char* kind[] = {"rv4410-sim", "--damage-kind", "other"};
  EXPECT_FALSE(ParseSimOptions(3, kind, options, error));
}

}  // namespace
}  // namespace rv4410::sim

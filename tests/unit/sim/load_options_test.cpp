// rv4410-sim's options for restarts, loads, flash writes and their faults.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "sim/sim_options.h"

namespace rv4410::sim {
namespace {

struct OptionCase {
  std::vector<const char*> args;
  std::function<bool(const SimOptions&)> holds;
};

class SimLoadOptionsTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(SimLoadOptionsTest, OptionSetsItsKnob) {
  std::vector<const char*> argv = {"rv4410-sim"};
  argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
  SimOptions options;
  std::string error;
  ASSERT_TRUE(ParseSimOptions(static_cast<int>(argv.size()), argv.data(), options, error)) << error;
  EXPECT_TRUE(GetParam().holds(options)) << GetParam().args[0];
}

INSTANTIATE_TEST_SUITE_P(
    Knobs, SimLoadOptionsTest,
    ::testing::Values(
        OptionCase{{"--restart-ms", "9000"},
                   [](const SimOptions& o) { return o.line.restartUs == 9'000'000; }},
        OptionCase{{"--reply-delay-ms", "1"},
                   [](const SimOptions& o) { return o.line.replyDelayUs == 1000; }},
        OptionCase{{"--journal", "j.txt"},
                   [](const SimOptions& o) { return o.journalPath == "j.txt"; }},
        OptionCase{{"--data-quiet-return-ms", "5000"},
                   [](const SimOptions& o) { return o.speeds.dataQuietReturnUs == 5'000'000; }},
        OptionCase{
            {"--program-out", "p.bin", "--map-out", "m.bin", "--map-control-block-out", "c.bin"},
            [](const SimOptions& o) {
              return o.program.programOut == "p.bin" && o.map.mapOut == "m.bin" &&
                     o.map.controlBlockOut == "c.bin";
            }},
        OptionCase{{"--program-erase-ms", "7", "--program-flash-us-per-kib", "8"},
                   [](const SimOptions& o) {
                     return o.program.flash.eraseUs == 7000 && o.program.flash.usPerKiB == 8 &&
                            o.map.flash.eraseUs == 1'000'000;
                   }},
        OptionCase{{"--map-erase-ms", "7", "--map-flash-us-per-kib", "8"},
                   [](const SimOptions& o) {
                     return o.map.flash.eraseUs == 7000 && o.map.flash.usPerKiB == 8 &&
                            o.program.flash.eraseUs == 300'000;
                   }},
        OptionCase{{"--flash-begin-every-ms", "2000", "--flash-retry", "2", "--flash-fail", "NO"},
                   [](const SimOptions& o) {
                     for (const FlashKnobs* f : {&o.program.flash, &o.map.flash}) {
                       if (f->beginEveryUs != 2'000'000 || f->retryTimes != 2 ||
                           f->failLine != "NO")
                         return false;
                     }
                     return true;
                   }},
        OptionCase{{"--flash-silent", "--forget-configuration"},
                   [](const SimOptions& o) {
                     return o.program.flash.silent && o.map.flash.silent &&
                            o.program.flash.forgetConfiguration && o.map.flash.forgetConfiguration;
                   }},
        OptionCase{{"--hang-up-at", "block:3"},
                   [](const SimOptions& o) {
                     return o.program.hangUp.phase == HangUpPhase::kBlock &&
                            o.map.hangUp.block == 3;
                   }},
        OptionCase{{"--program-block-fault", "garble", "--program-fault-times", "4"},
                   [](const SimOptions& o) {
                     return o.program.blocks.fault == BlockFault::kGarble &&
                            o.program.blocks.faultBlock == 0 && o.program.blocks.faultTimes == 4 &&
                            o.map.blocks.fault == BlockFault::kNone;
                   }},
        OptionCase{{"--map-fault-block", "5", "--map-block-fault", "error", "--map-never-ack"},
                   [](const SimOptions& o) {
                     return o.map.blocks.fault == BlockFault::kErrorLine &&
                            o.map.blocks.faultBlock == 5 && o.map.blocks.neverAnswer &&
                            !o.program.blocks.neverAnswer;
                   }},
        OptionCase{{"--program-never-ack", "--map-block-fault", "drop"},
                   [](const SimOptions& o) {
                     return o.program.blocks.neverAnswer && o.map.blocks.fault == BlockFault::kDrop;
                   }},
        OptionCase{{"--write-samples", "out"},
                   [](const SimOptions& o) { return o.samplesDir == "out"; }}));

TEST(SimLoadOptions, RefuseBadValues) {
  for (std::vector<const char*> bad :
       std::vector<std::vector<const char*>>{{"--restart-ms", "-1"},
                                             {"--hang-up-at", "later"},
                                             {"--program-block-fault", "lose"},
                                             {"--map-fault-times", "x"},
                                             {"--journal", ""},
                                             {"--flash-retry", "-2"}}) {
    std::vector<const char*> argv = {"rv4410-sim", bad[0], bad[1]};
    SimOptions options;
    std::string error;
    EXPECT_FALSE(ParseSimOptions(3, argv.data(), options, error)) << bad[0] << " " << bad[1];
  }
}

TEST(SimLoadOptions, EveryOptionShowsInTheHelp) {
  std::string help = SimHelpText();
  for (const SimOption& option : SimOptionTable()) {
    EXPECT_NE(help.find(std::string("  ") + option.name + " "), std::string::npos) << option.name;
  }
}

}  // namespace
}  // namespace rv4410::sim

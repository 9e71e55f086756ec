#pragma once
// The fixture of the unit tests: a virtual host, a simulated unit on an
// in-memory line, and a fresh run state whose log goes to a temporary folder.
// A message box or file-open dialog the test did not answer fails the test.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/virtual_host.h"
#include "protocol/run_state.h"
#include "protocol/transfer_page.h"
#include "sim/in_memory_line.h"
#include "sim/unit_model.h"
#include "support/temp_dir.h"

namespace rv4410::test {

// A transfer page that records what its fields show.
class RecordingTransferPage : public TransferPage {
 public:
  void SetStatusText(int field, std::string_view text) override {
    (field == kStatusField1032 ? status1032 : status1033) = std::string(text);
  }
  WindowRef Window() const override { return this; }

  std::string status1032;
  std::string status1033;
};

class VirtualUnitTest : public ::testing::Test {
 protected:
  VirtualUnitTest();
  ~VirtualUnitTest() override;
  void TearDown() override;

  // Puts a unit with `knobs` on the line (replacing any earlier one).
  sim::UnitModel& StartUnit(sim::LineKnobs knobs = {});
  // Opens the port at the current settings; the test fails if it cannot.
  void OpenPort();
  // Everything the log file holds so far.
  std::string LogText() const;
  // Bytes the unit has received as command lines, for assertions.
  const std::vector<std::string>& UnitCommands() const { return unit->Commands(); }

  TempDir dir;
  VirtualHost host;
  std::unique_ptr<sim::UnitModel> unit;
  std::unique_ptr<sim::InMemoryLine> line;
  RunState run;
  RecordingTransferPage page;
};

}  // namespace rv4410::test

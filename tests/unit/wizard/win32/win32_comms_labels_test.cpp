// What the Win32 communications dialog shows of the system's ports: the
// friendly name beside a usable port, the state beside any other, and the
// ports beyond COM1 .. COM4 on a line of their own.

#include <gtest/gtest.h>

#include "wizard/win32/win32_comms_dialog.h"

namespace rv4410 {
namespace {

const std::vector<Win32Port> kPorts = {
    {"COM1", "Communications Port (COM1)", "ACPI\\PNP0501"},
    {"COM3", "", ""},
    {"COM5", "USB Serial Port (COM5)", "FTDIBUS\\VID_0403+PID_6001"},
    {"COM7", "", ""},
};

TEST(Win32CommsLabelsTest, AUsablePortShowsItsFriendlyNameAnyOtherItsState) {
  struct Case {
    const char* port;
    PortState state;
    const char* label;
  };
  const Case cases[] = {
      {"COM1", PortState::kFound, "Communications Port (COM1)"},
      {"COM3", PortState::kFound, "found"},
      {"COM1", PortState::kInUse, "in use"},
      {"COM2", PortState::kMissing, "missing"},
  };
  for (const Case& c : cases) {
    PortDiagnosis diagnosis;
    diagnosis.device = c.port;
    diagnosis.state = c.state;
    EXPECT_EQ(PortLabel(diagnosis, kPorts), c.label) << c.port;
  }
}

TEST(Win32CommsLabelsTest, OnlyThePortsBeyondTheFourAreListedBelowThem) {
  EXPECT_EQ(OtherPortsLine(kPorts), "Also here: USB Serial Port (COM5), COM7");
  EXPECT_EQ(OtherPortsLine({kPorts[0], kPorts[1]}), "");
  EXPECT_EQ(OtherPortsLine({}), "");
}

}  // namespace
}  // namespace rv4410

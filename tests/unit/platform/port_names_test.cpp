#include "platform/port_names.h"

#include <gtest/gtest.h>

namespace rv4410 {
namespace {

TEST(PortNamesTest, UsbAdaptersComeBeforeBuiltInPorts) {
  std::vector<FoundPort> ordered = OrderFoundPorts({{"/dev/ttyS1", false},
                                                    {"/dev/ttyUSB1", true},
                                                    {"/dev/ttyS0", false},
                                                    {"/dev/ttyACM0", true}});
  ASSERT_EQ(ordered.size(), 4u);
  EXPECT_EQ(ordered[0].path, "/dev/ttyACM0");
  EXPECT_EQ(ordered[1].path, "/dev/ttyUSB1");
  EXPECT_EQ(ordered[2].path, "/dev/ttyS0");
  EXPECT_EQ(ordered[3].path, "/dev/ttyS1");
}

TEST(PortNamesTest, ComNamesMapToTheNthDeviceUnlessOverridden) {
  std::vector<FoundPort> found = {{"/dev/ttyUSB0", true}, {"/dev/ttyS0", false}};
  EXPECT_EQ(ResolvePortPath("COM1", nullptr, found), "/dev/ttyUSB0");
  EXPECT_EQ(ResolvePortPath("COM2", "", found), "/dev/ttyS0");
  EXPECT_EQ(ResolvePortPath("COM3", nullptr, found), "");
  EXPECT_EQ(ResolvePortPath("COM2", "/dev/pts/7", found), "/dev/pts/7");
}

TEST(PortNamesTest, OnlyCom1ToCom4AreNames) {
  EXPECT_EQ(PortNumber("COM1"), 1);
  EXPECT_EQ(PortNumber("COM4"), 4);
  EXPECT_FALSE(PortNumber("COM5"));
  EXPECT_FALSE(PortNumber("COM0"));
  EXPECT_FALSE(PortNumber("com1"));
  EXPECT_FALSE(PortNumber("COM12"));
  EXPECT_EQ(ResolvePortPath("/dev/ttyS3", nullptr, {}), "/dev/ttyS3");
}

}  // namespace
}  // namespace rv4410

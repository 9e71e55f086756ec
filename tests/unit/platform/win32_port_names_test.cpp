// The names of Windows' serial ports and what a failed open says of a port.

#include "platform/win32_port_names.h"

#include <gtest/gtest.h>

#include "platform/windows_api.h"

namespace rv4410 {
namespace {

TEST(Win32PortNamesTest, AnyComPortOpensByItsDevicePathAndOtherNamesStayAsGiven) {
  struct Case {
    const char* given;
    const char* path;
    const char* port;
  };
  const Case cases[] = {
      {"COM1", "\\\\.\\COM1", "COM1"},
      {"COM4", "\\\\.\\COM4", "COM4"},
      {"COM12", "\\\\.\\COM12", "COM12"},
      {"com7", "\\\\.\\com7", "COM7"},
      {"\\\\.\\COM15", "\\\\.\\COM15", "COM15"},
      {"COM", "COM", ""},
      {"COMX", "COMX", ""},
      {"COM1234", "COM1234", ""},
      {"LPT1", "LPT1", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    EXPECT_EQ(Win32DevicePath(c.given), c.path);
    EXPECT_EQ(Win32PortName(c.given), c.port);
  }
}

TEST(Win32PortNamesTest, OpenErrorsStandForMissingInUseOrNoPermission) {
  EXPECT_EQ(ClassifyWin32OpenError(ERROR_FILE_NOT_FOUND), PortState::kMissing);
  EXPECT_EQ(ClassifyWin32OpenError(ERROR_PATH_NOT_FOUND), PortState::kMissing);
  EXPECT_EQ(ClassifyWin32OpenError(ERROR_ACCESS_DENIED), PortState::kInUse);
  EXPECT_EQ(ClassifyWin32OpenError(ERROR_SHARING_VIOLATION), PortState::kInUse);
  EXPECT_EQ(ClassifyWin32OpenError(ERROR_PRIVILEGE_NOT_HELD), PortState::kNoPermission);
  EXPECT_EQ(ClassifyWin32OpenError(ERROR_GEN_FAILURE), PortState::kFound);
}

}  // namespace
}  // namespace rv4410

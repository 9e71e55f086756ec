#pragma once
// The serial ports of Windows: the name is the device. "COM1" .. "COM4" as
// the user chooses them, any "COMn", and "\\.\COMn" as the system spells it.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/port_diagnosis.h"
#include "platform/port_names.h"

namespace rv4410 {

// What the system tells of one COM port.
struct Win32Port {
  std::string name;          // "COM3"
  std::string friendlyName;  // "USB Serial Port (COM3)"; empty when unknown
  std::string hardwareId;    // "FTDIBUS\\VID_0403+PID_6001+..."; empty when unknown
};

// The path CreateFileA takes for `portName`: "\\.\COMn" for a COM port
// (the plain name reaches only COM1 .. COM9), anything else as it is.
std::string Win32DevicePath(const std::string& portName);

// The port's own name: "COM12" for "COM12" and for "\\.\COM12"; empty for a
// name that is no COM port.
std::string Win32PortName(const std::string& portName);

// How an open that failed with the Win32 error `error` reads to the user:
// missing, in use (a port another program holds is refused with access
// denied), no permission, or found (any other error, reported as it is).
PortState ClassifyWin32OpenError(std::uint32_t error);

// The COM ports present now, sorted by number: the registry's SERIALCOMM map,
// with the friendly names and hardware ids SetupAPI knows.
std::vector<Win32Port> FindWin32Ports();

// "0403:6001" from a hardware id that holds "VID_0403" and "PID_6001"; empty
// when it holds no such pair.
std::string VidPidOfHardwareId(const std::string& hardwareId);

// What stands behind `portName` now, without opening it; see
// Host::DiagnosePort. Windows tells a port in use only by refusing an open:
// `openError` is the Win32 error of the loader's own last open of this port
// that failed, 0 when there is none.
PortDiagnosis DiagnoseWin32Port(const std::string& portName, std::uint32_t openError);

}  // namespace rv4410

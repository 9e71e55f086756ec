#include "platform/win32_port_names.h"

#include <algorithm>
#include <cctype>

#include "platform/windows_api.h"
// The SetupAPI headers need windows.h above them.
#include <initguid.h>
// initguid.h first: the class GUID is defined here rather than taken from a library.
#include <devguid.h>
#include <setupapi.h>

namespace rv4410 {

namespace {

constexpr const char* kDevicePrefix = "\\\\.\\";
constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The n of "COMn", letters in any case; 0 for any other name.
unsigned long ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  for (int i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  }
  unsigned long number = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    number = number * 10 + static_cast<unsigned long>(name[i] - '0');
  }
  return number;
}

std::string StripDevicePrefix(const std::string& portName) {
  std::string prefix = kDevicePrefix;
  return portName.rfind(prefix, 0) == 0 ? portName.substr(prefix.size()) : portName;
}

std::string RegistryText(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
  char text[512] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, property, &type,
                                         reinterpret_cast<BYTE*>(text), sizeof text - 1, nullptr)) {
    return {};
  }
  // A hardware-id list holds several names, each ended by a zero: the first
  // is the most specific.
  return text;
}

// Friendly names and hardware ids of the ports SetupAPI knows, by port name.
void AddDeviceDetails(std::vector<Win32Port>& ports) {
  HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    char name[64] = {};
    DWORD size = sizeof name - 1;
    DWORD type = 0;
    LSTATUS status =
        RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    for (Win32Port& port : ports) {
      if (port.name != name) continue;
      port.friendlyName = RegistryText(devices, device, SPDRP_FRIENDLYNAME);
      port.hardwareId = RegistryText(devices, device, SPDRP_HARDWAREID);
    }
  }
  SetupDiDestroyDeviceInfoList(devices);
}

}  // namespace

std::string Win32DevicePath(const std::string& portName) {
  std::string name = StripDevicePrefix(portName);
  if (ComNumber(name) == 0) return portName;
  return kDevicePrefix + name;
}

std::string Win32PortName(const std::string& portName) {
  std::string name = StripDevicePrefix(portName);
  if (ComNumber(name) == 0) return {};
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return name;
}

PortState ClassifyWin32OpenError(std::uint32_t error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME:
    case ERROR_DEV_NOT_EXIST:
      return PortState::kMissing;
    // A COM port opens for one program at a time: the next is denied access.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return PortState::kInUse;
    case ERROR_PRIVILEGE_NOT_HELD:
      return PortState::kNoPermission;
    default:
      break;
  }
  return PortState::kFound;
}

std::vector<Win32Port> FindWin32Ports() {
  std::vector<Win32Port> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    for (DWORD index = 0;; ++index) {
      char valueName[256];
      DWORD valueNameSize = sizeof valueName;
      char data[64] = {};
      DWORD dataSize = sizeof data - 1;
      DWORD type = 0;
      LSTATUS status = RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &dataSize);
      if (status == ERROR_MORE_DATA) continue;
      if (status != ERROR_SUCCESS) break;
      std::string name = Win32PortName(data);
      if (type != REG_SZ || name.empty()) continue;
      if (std::none_of(ports.begin(), ports.end(),
                       [&name](const Win32Port& port) { return port.name == name; })) {
        ports.push_back({name, {}, {}});
      }
    }
    RegCloseKey(key);
  }
  AddDeviceDetails(ports);
  std::sort(ports.begin(), ports.end(), [](const Win32Port& a, const Win32Port& b) {
    return ComNumber(a.name) < ComNumber(b.name);
  });
  return ports;
}

PortDiagnosis DiagnoseWin32Port(const std::string& portName, std::uint32_t openError) {
  PortDiagnosis diagnosis;
  std::string name = Win32PortName(portName);
  diagnosis.device = name.empty() ? portName : name;
  // Whether the name reaches a device at all.
  char target[1024];
  if (name.empty() || QueryDosDeviceA(name.c_str(), target, sizeof target) == 0) {
    diagnosis.state = PortState::kMissing;
  } else if (openError != 0) {
    diagnosis.state = ClassifyWin32OpenError(openError);
  }
  if (diagnosis.state == PortState::kMissing) {
    for (const Win32Port& port : FindWin32Ports()) {
      if (port.name == name) continue;
      // A friendly name mostly names its port already: "USB Serial Port (COM3)".
      bool named = port.friendlyName.find(port.name) != std::string::npos;
      diagnosis.presentDevices.push_back(port.friendlyName.empty() ? port.name
                                         : named                   ? port.friendlyName
                                                 : port.name + " (" + port.friendlyName + ")");
    }
  }
  return diagnosis;
}

std::string VidPidOfHardwareId(const std::string& hardwareId) {
  auto field = [&hardwareId](const char* key) -> std::string {
    std::string upper = hardwareId;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::size_t at = upper.find(key);
    if (at == std::string::npos || at + 8 > upper.size()) return {};
    std::string digits = hardwareId.substr(at + 4, 4);
    for (char& c : digits) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return digits;
  };
  std::string vid = field("VID_");
  std::string pid = field("PID_");
  return vid.empty() || pid.empty() ? std::string() : vid + ":" + pid;
}

std::vector<ListedPort> ListSerialPorts() {
  std::vector<ListedPort> rows;
  // The name is the device: it reaches its port whether listed or not.
  for (const Win32Port& port : FindWin32Ports()) {
    rows.push_back(
        {port.name, port.name, port.friendlyName, "", VidPidOfHardwareId(port.hardwareId), ""});
  }
  return rows;
}

}  // namespace rv4410

#pragma once
// Why a serial device will not open. The serial port reports only that an open
// failed (Qt folds "no permission", "locked by another program" and "busy"
// into one error); the user needs to know which it is, and the fix.

#include <optional>
#include <string>
#include <vector>

namespace rv4410 {

enum class PortState {
  kFound,         // the device is there and nothing is known to stand in the way
  kMissing,       // no such device (or the name reaches none)
  kInUse,         // another program holds it
  kNoPermission,  // this user may not open it
};

struct PortHolder {
  long pid = 0;
  std::string program;  // the holder's command name; empty when unknown
};

struct PortDiagnosis {
  PortState state = PortState::kFound;
  std::string device;  // the device path examined; empty when the name reaches none
  // kInUse: the process that holds the device, when it can be told.
  std::optional<PortHolder> holder;
  // kNoPermission: the group the device belongs to, and whether the user is
  // listed in it already but the session started before (log in again).
  std::string group;
  bool groupPendingLogin = false;
  // kMissing: the serial devices that do exist.
  std::vector<std::string> presentDevices;
  // Programs running now that are known to grab serial adapters.
  std::vector<std::string> grabbers;
};

// The permission bits of a device and who is asking, as stat and the process
// report them.
struct AccessFacts {
  unsigned mode = 0;             // st_mode
  unsigned owner = 0;            // st_uid
  unsigned group = 0;            // st_gid
  unsigned uid = 0;              // the effective user
  std::vector<unsigned> groups;  // the effective group and the supplementary groups
};

// Whether the user of `facts` may open the device for reading and writing, by
// the owner, group and other bits; the superuser always may.
bool MayReadWrite(const AccessFacts& facts);

// The state an open's errno stands for: missing (ENOENT, ENODEV, ENXIO,
// ENOTDIR), no permission (EACCES, EPERM, EROFS), in use (EBUSY); kFound for
// anything else, which tells nothing about the cause.
PortState ClassifyOpenError(int error);

// Where UUCP lock files ("LCK..ttyUSB0") are looked for.
std::vector<std::string> DefaultLockDirectories();

// Examines `device` without opening it: whether it exists (else which of
// `knownDevices` do), whether this user may open it, whether a lock file in
// `lockDirectories` names a live process or another process has it open
// (/proc/*/fd), and whether ModemManager or brltty runs.
PortDiagnosis DiagnoseDevice(const std::string& device,
                             const std::vector<std::string>& knownDevices,
                             const std::vector<std::string>& lockDirectories);

// One line for the log saying why `portName` will not open and what helps;
// empty when nothing stands in the way that can be told.
std::string DescribePortDiagnosis(const std::string& portName, const PortDiagnosis& diagnosis);

// A few words for the communications dialog: "found", "missing", "in use",
// "no permission".
const char* PortStateWord(PortState state);

}  // namespace rv4410

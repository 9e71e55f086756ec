#include "platform/port_diagnosis.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/format.h"

#if !defined(_WIN32)
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace rv4410 {

namespace {

constexpr const char* kPortReachesNoDeviceFormat = "%s reaches no serial device; %s";
// A port name and the device it reaches, where the two differ: "COM1 (/dev/ttyUSB0)".
constexpr const char* kPortSubjectFormat = "%s (%s)";
constexpr const char* kPortMissingFormat = "%s: no such device; %s";
constexpr const char* kPresentDevicesFormat = "serial devices here: %s.";
constexpr const char* kNoSerialDevices = "no serial devices here.";
constexpr const char* kNoPermissionGroupFormat =
    "%s: no permission; the device belongs to group '%s': "
    "sudo usermod -aG %s $USER, then log in again.";
constexpr const char* kNoPermissionLoginFormat =
    "%s: no permission; you were added to group '%s' after this session began: log in again.";
constexpr const char* kNoPermissionFormat = "%s: no permission to open the device.";
constexpr const char* kInUseByFormat = "%s: in use by process %ld (%s).";
constexpr const char* kInUseFormat = "%s: in use by another program.";
constexpr const char* kGrabberNoteFormat =
    "%s is running; it is known to take serial adapters for itself.";

// Programs known to open USB serial adapters as soon as they appear.
constexpr const char* kGrabbers[] = {"ModemManager", "brltty"};

std::string JoinedDevices(const std::vector<std::string>& devices) {
  if (devices.empty()) return kNoSerialDevices;
  std::string list;
  for (const std::string& device : devices) {
    if (!list.empty()) list += ", ";
    list += device;
  }
  return FormatText(kPresentDevicesFormat, list.c_str());
}

std::string StateLine(const std::string& portName, const PortDiagnosis& diagnosis) {
  if (diagnosis.state == PortState::kMissing && diagnosis.device.empty()) {
    return FormatText(kPortReachesNoDeviceFormat, portName.c_str(),
                      JoinedDevices(diagnosis.presentDevices).c_str());
  }
  std::string subject =
      diagnosis.device.empty() || diagnosis.device == portName
          ? portName
          : FormatText(kPortSubjectFormat, portName.c_str(), diagnosis.device.c_str());
  const char* name = subject.c_str();
  const char* group = diagnosis.group.c_str();
  switch (diagnosis.state) {
    case PortState::kMissing:
      return FormatText(kPortMissingFormat, name, JoinedDevices(diagnosis.presentDevices).c_str());
    case PortState::kNoPermission:
      if (diagnosis.group.empty()) return FormatText(kNoPermissionFormat, name);
      if (diagnosis.groupPendingLogin) return FormatText(kNoPermissionLoginFormat, name, group);
      return FormatText(kNoPermissionGroupFormat, name, group, group);
    case PortState::kInUse:
      if (diagnosis.holder) {
        const std::string& program = diagnosis.holder->program;
        return FormatText(kInUseByFormat, name, diagnosis.holder->pid,
                          program.empty() ? "?" : program.c_str());
      }
      return FormatText(kInUseFormat, name);
    case PortState::kFound:
      break;
  }
  return {};
}

#if !defined(_WIN32)

// The name Qt and the UUCP tools give a device's lock file: the path without
// "/dev/", slashes made underscores ("/dev/pts/5" -> "LCK..pts_5").
std::string LockFileName(const std::string& device) {
  std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
  std::replace(name.begin(), name.end(), '/', '_');
  return "LCK.." + name;
}

bool ProcessAlive(long pid) {
  return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// A lock file holds the pid as decimal text (UUCP, Qt's QLockFile: the first
// line) or, from old tools, as a 4-byte binary integer.
long LockFilePid(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  char text[64] = {};
  std::size_t got = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  if (got == 4 && (text[0] < ' ' || text[1] < ' ' || text[2] < ' ' || text[3] < ' ')) {
    int binary = 0;
    std::memcpy(&binary, text, sizeof binary);
    return binary;
  }
  char* end = nullptr;
  long pid = std::strtol(text, &end, 10);
  return end != text ? pid : 0;
}

std::string ProcessName(long pid) {
  std::FILE* file = std::fopen(FormatText("/proc/%ld/comm", pid).c_str(), "r");
  if (file == nullptr) return {};
  char name[64] = {};
  if (std::fgets(name, sizeof name, file) == nullptr) name[0] = '\0';
  std::fclose(file);
  name[std::strcspn(name, "\n")] = '\0';
  return name;
}

std::optional<PortHolder> LockHolder(const std::string& device,
                                     const std::vector<std::string>& lockDirectories) {
  for (const std::string& directory : lockDirectories) {
    long pid = LockFilePid(directory + "/" + LockFileName(device));
    // A lock left by a process that has ended holds nothing.
    if (ProcessAlive(pid)) return PortHolder{pid, ProcessName(pid)};
  }
  return std::nullopt;
}

// The process holding an flock on the file `status` describes, as
// /proc/locks lists it: "1: FLOCK  ADVISORY  WRITE 1871 00:1a:3 0 EOF", the
// file system's major and minor number in hex and the inode in decimal. A
// line with "->" is a process still waiting for the lock.
std::optional<PortHolder> FlockHolder(const struct stat& status) {
  std::FILE* locks = std::fopen("/proc/locks", "r");
  if (locks == nullptr) return std::nullopt;
  std::optional<PortHolder> holder;
  char line[256];
  while (!holder && std::fgets(line, sizeof line, locks) != nullptr) {
    char kind[16] = {};
    long pid = 0;
    unsigned fsMajor = 0;
    unsigned fsMinor = 0;
    unsigned long inode = 0;
    if (std::sscanf(line, "%*d: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &fsMajor, &fsMinor,
                    &inode) != 5) {
      continue;
    }
    if (std::strcmp(kind, "FLOCK") != 0 || pid == static_cast<long>(getpid())) continue;
    if (fsMajor == major(status.st_dev) && fsMinor == minor(status.st_dev) &&
        inode == status.st_ino && ProcessAlive(pid)) {
      holder = PortHolder{pid, ProcessName(pid)};
    }
  }
  std::fclose(locks);
  return holder;
}

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

// Compared by the file itself, not by its name: a terminal of another
// instance of the terminal file system (a container, a chroot) has the same
// name as ours and is another device.
bool ProcessHasOpen(long pid, const struct stat& device) {
  std::string folder = FormatText("/proc/%ld/fd", pid);
  DIR* fds = opendir(folder.c_str());
  if (fds == nullptr) return false;
  bool found = false;
  while (const dirent* entry = readdir(fds)) {
    if (!AllDigits(entry->d_name)) continue;
    struct stat opened {};
    if (stat((folder + "/" + entry->d_name).c_str(), &opened) != 0) continue;
    if (opened.st_dev == device.st_dev && opened.st_ino == device.st_ino) {
      found = true;
      break;
    }
  }
  closedir(fds);
  return found;
}

// One pass over the processes: which one (other than this) has the device open,
// and which grabbers run. Only processes this user may look into are seen.
void ScanProcesses(const struct stat* device, PortDiagnosis& diagnosis) {
  DIR* processes = opendir("/proc");
  if (processes == nullptr) return;
  long self = static_cast<long>(getpid());
  while (const dirent* entry = readdir(processes)) {
    if (!AllDigits(entry->d_name)) continue;
    long pid = std::strtol(entry->d_name, nullptr, 10);
    std::string name = ProcessName(pid);
    for (const char* grabber : kGrabbers) {
      if (name == grabber && std::find(diagnosis.grabbers.begin(), diagnosis.grabbers.end(),
                                       name) == diagnosis.grabbers.end()) {
        diagnosis.grabbers.push_back(name);
      }
    }
    // The loader's own handle is closed before any diagnosis.
    if (pid == self || diagnosis.holder || device == nullptr) continue;
    if (ProcessHasOpen(pid, *device)) diagnosis.holder = PortHolder{pid, name};
  }
  closedir(processes);
}

AccessFacts FactsOf(const struct stat& status) {
  AccessFacts facts;
  facts.mode = status.st_mode;
  facts.owner = status.st_uid;
  facts.group = status.st_gid;
  facts.uid = geteuid();
  facts.groups.push_back(getegid());
  gid_t groups[256];
  int count = getgroups(256, groups);
  for (int i = 0; i < count; ++i) facts.groups.push_back(groups[i]);
  return facts;
}

// The device's group, and whether the user's account lists it though this
// session's groups do not (added since the last log-in).
void DescribeGroup(const AccessFacts& facts, PortDiagnosis& diagnosis) {
  const group* entry = getgrgid(static_cast<gid_t>(facts.group));
  if (entry == nullptr) return;
  diagnosis.group = entry->gr_name;
  const passwd* user = getpwuid(static_cast<uid_t>(facts.uid));
  if (user == nullptr) return;
  bool listed = user->pw_gid == entry->gr_gid;
  for (char** member = entry->gr_mem; !listed && *member != nullptr; ++member) {
    listed = std::strcmp(*member, user->pw_name) == 0;
  }
  diagnosis.groupPendingLogin = listed;
}

#endif

}  // namespace

bool MayReadWrite(const AccessFacts& facts) {
  if (facts.uid == 0) return true;
  constexpr unsigned kReadWrite = 06;
  unsigned bits = facts.mode & 07;
  if (facts.uid == facts.owner) {
    bits = (facts.mode >> 6) & 07;
  } else if (std::find(facts.groups.begin(), facts.groups.end(), facts.group) !=
             facts.groups.end()) {
    bits = (facts.mode >> 3) & 07;
  }
  return (bits & kReadWrite) == kReadWrite;
}

PortState ClassifyOpenError(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return PortState::kMissing;
    case EACCES:
    case EPERM:
    case EROFS:
      return PortState::kNoPermission;
    case EBUSY:
      return PortState::kInUse;
    default:
      break;
  }
  return PortState::kFound;
}

std::vector<std::string> DefaultLockDirectories() {
  // Qt's serial port locks in the first writable of the UUCP folders, else in
  // the temporary folder.
  const char* temp = std::getenv("TMPDIR");
  return {"/var/lock", "/run/lock", "/var/spool/locks",
          temp != nullptr && temp[0] != '\0' ? temp : "/tmp"};
}

PortDiagnosis DiagnoseDevice(const std::string& device,
                             const std::vector<std::string>& knownDevices,
                             const std::vector<std::string>& lockDirectories) {
  PortDiagnosis diagnosis;
  diagnosis.device = device;
#if defined(_WIN32)
  (void)knownDevices;
  (void)lockDirectories;
#else
  struct stat status {};
  std::string canonical;
  if (device.empty() || stat(device.c_str(), &status) != 0) {
    diagnosis.state = device.empty() ? PortState::kMissing : ClassifyOpenError(errno);
    if (diagnosis.state == PortState::kFound) diagnosis.state = PortState::kMissing;
  } else {
    AccessFacts facts = FactsOf(status);
    if (!MayReadWrite(facts)) {
      diagnosis.state = PortState::kNoPermission;
      DescribeGroup(facts, diagnosis);
    }
    if (char* resolved = realpath(device.c_str(), nullptr)) {
      canonical = resolved;
      std::free(resolved);
    }
  }
  if (diagnosis.state == PortState::kMissing) {
    for (const std::string& known : knownDevices) {
      struct stat present;
      if (known != device && stat(known.c_str(), &present) == 0) {
        diagnosis.presentDevices.push_back(known);
      }
    }
  }
  if (diagnosis.state == PortState::kFound) {
    // The lock the loader honours first; a lock file next; then any process
    // that merely has the device open (such as the far end of a terminal).
    diagnosis.holder = FlockHolder(status);
    if (!diagnosis.holder) diagnosis.holder = LockHolder(device, lockDirectories);
    if (!diagnosis.holder && !canonical.empty()) {
      std::optional<PortHolder> lockedAs = LockHolder(canonical, lockDirectories);
      if (lockedAs) diagnosis.holder = lockedAs;
    }
  }
  ScanProcesses(diagnosis.state == PortState::kFound ? &status : nullptr, diagnosis);
  if (diagnosis.holder) diagnosis.state = PortState::kInUse;
#endif
  return diagnosis;
}

std::string DescribePortDiagnosis(const std::string& portName, const PortDiagnosis& diagnosis) {
  std::string line = StateLine(portName, diagnosis);
  for (const std::string& grabber : diagnosis.grabbers) {
    if (!line.empty()) line += " ";
    line += FormatText(kGrabberNoteFormat, grabber.c_str());
  }
  return line;
}

const char* PortStateWord(PortState state) {
  switch (state) {
    case PortState::kFound:
      return "found";
    case PortState::kMissing:
      return "missing";
    case PortState::kInUse:
      return "in use";
    case PortState::kNoPermission:
      return "no permission";
  }
  return "";
}

}  // namespace rv4410

// Why a port will not open, told apart on real pseudo-terminals and files:
// missing, held by another process (its open handle or its lock file), closed
// to this user, and the programs known to grab serial adapters.

#include "platform/port_diagnosis.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/format.h"
#include "support/temp_dir.h"

namespace rv4410 {
namespace {

// A child process that runs `setup`, reports that it is ready and waits to be
// ended; ended and reaped on destruction.
class Child {
 public:
  explicit Child(const std::function<void()>& setup) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      setup();
      char byte = 1;
      if (write(ready[1], &byte, 1) != 1) _exit(1);
      for (;;) pause();
    }
    char byte = 0;
    if (pid_ > 0 && read(ready[0], &byte, 1) != 1) pid_ = -1;
    close(ready[0]);
    close(ready[1]);
  }
  ~Child() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// A pseudo-terminal whose far end this process holds; its own end is closed
// unless a test keeps it.
class Terminal {
 public:
  Terminal() {
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) path_ = name;
  }
  ~Terminal() {
    CloseSlave();
    if (master_ >= 0) close(master_);
  }
  void CloseSlave() {
    if (slave_ >= 0) close(slave_);
    slave_ = -1;
  }
  const std::string& Path() const { return path_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

std::string LockName(const std::string& device) {
  std::string name = device.substr(5);  // without "/dev/"
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return "LCK.." + name;
}

TEST(PortAccessTest, OwnerGroupAndOtherBitsDecideAndTheSuperuserAlwaysMay) {
  test::TempDir dir;
  test::WriteFile(dir.File("device"), "");
  ASSERT_EQ(chmod(dir.File("device").c_str(), 0), 0);
  struct stat status;
  ASSERT_EQ(stat(dir.File("device").c_str(), &status), 0);
  // Mode 000 as a plain user sees it, and as root.
  AccessFacts facts{status.st_mode, 1000, 20, 1001, {1001}};
  EXPECT_FALSE(MayReadWrite(facts));
  facts.uid = 0;
  EXPECT_TRUE(MayReadWrite(facts));

  struct Case {
    unsigned mode;
    unsigned uid;
    std::vector<unsigned> groups;
    bool may;
  } cases[] = {
      {020660, 1001, {1001}, false},     // crw-rw---- root:dialout, not in dialout
      {020660, 1001, {1001, 20}, true},  // in dialout
      {020600, 1000, {1001}, true},      // the owner
      {020460, 1000, {20}, false},       // the owner may only read, though the group may write
      {020666, 1001, {1001}, true},      // open to everyone
      {020606, 1001, {20}, false},       // the group bits count for a member, not the other bits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MayReadWrite({c.mode, 1000, 20, c.uid, c.groups}), c.may) << std::oct << c.mode;
  }
}

TEST(PortAccessTest, OpenErrorsStandForMissingNoPermissionOrInUse) {
  EXPECT_EQ(ClassifyOpenError(ENOENT), PortState::kMissing);
  EXPECT_EQ(ClassifyOpenError(ENXIO), PortState::kMissing);
  EXPECT_EQ(ClassifyOpenError(ENODEV), PortState::kMissing);
  EXPECT_EQ(ClassifyOpenError(EACCES), PortState::kNoPermission);
  EXPECT_EQ(ClassifyOpenError(EPERM), PortState::kNoPermission);
  EXPECT_EQ(ClassifyOpenError(EBUSY), PortState::kInUse);
  EXPECT_EQ(ClassifyOpenError(EIO), PortState::kFound);
}

TEST(PortDiagnosisTest, AMissingDeviceNamesTheSerialDevicesThatExist) {
  test::TempDir dir;
  test::WriteFile(dir.File("ttyUSB7"), "");
  PortDiagnosis diagnosis =
      DiagnoseDevice(dir.File("ttyUSB0"), {dir.File("ttyUSB7"), dir.File("ttyUSB9")}, {});
  EXPECT_EQ(diagnosis.state, PortState::kMissing);
  EXPECT_EQ(diagnosis.presentDevices, std::vector<std::string>{dir.File("ttyUSB7")});
  std::string line = DescribePortDiagnosis("COM1", diagnosis);
  EXPECT_EQ(line.rfind(FormatText("COM1 (%s): no such device; serial devices here: %s.",
                                  dir.File("ttyUSB0").c_str(), dir.File("ttyUSB7").c_str()),
                       0),
            0u)
      << line;

  PortDiagnosis none = DiagnoseDevice("", {}, {});
  EXPECT_EQ(none.state, PortState::kMissing);
  EXPECT_EQ(DescribePortDiagnosis("COM3", none)
                .rfind("COM3 reaches no serial device; no serial devices here.", 0),
            0u);
}

TEST(PortDiagnosisTest, AFreeTerminalIsFoundAndNothingIsSaidAboutIt) {
  Terminal terminal;
  ASSERT_FALSE(terminal.Path().empty());
  terminal.CloseSlave();
  test::TempDir locks;
  PortDiagnosis diagnosis = DiagnoseDevice(terminal.Path(), {}, {locks.Path()});
  EXPECT_EQ(diagnosis.state, PortState::kFound);
  EXPECT_FALSE(diagnosis.holder);
  PortDiagnosis quiet;
  quiet.device = terminal.Path();
  EXPECT_EQ(DescribePortDiagnosis("COM1", quiet), "");
}

TEST(PortDiagnosisTest, ATerminalHeldOpenByAnotherProcessIsInUseByIt) {
  Terminal terminal;
  ASSERT_FALSE(terminal.Path().empty());
  Child holder([] {});  // inherits the open far end
  ASSERT_GT(holder.Pid(), 0);
  terminal.CloseSlave();
  test::TempDir locks;
  PortDiagnosis diagnosis = DiagnoseDevice(terminal.Path(), {}, {locks.Path()});
  EXPECT_EQ(diagnosis.state, PortState::kInUse);
  ASSERT_TRUE(diagnosis.holder);
  EXPECT_EQ(diagnosis.holder->pid, holder.Pid());
  EXPECT_FALSE(diagnosis.holder->program.empty());
  EXPECT_EQ(
      DescribePortDiagnosis("COM2", diagnosis)
          .rfind(FormatText("COM2 (%s): in use by process %ld (%s).", terminal.Path().c_str(),
                            static_cast<long>(holder.Pid()), diagnosis.holder->program.c_str()),
                 0),
      0u);
}

TEST(PortDiagnosisTest, TheProcessHoldingTheDevicesLockIsNamedBeforeOneThatMerelyHasItOpen) {
  Terminal terminal;
  ASSERT_FALSE(terminal.Path().empty());
  Child opener([] {});  // inherits the open far end, as a simulated unit has it
  std::string path = terminal.Path();
  Child locker([&path] {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
  });
  ASSERT_GT(opener.Pid(), 0);
  ASSERT_GT(locker.Pid(), 0);
  terminal.CloseSlave();
  PortDiagnosis diagnosis = DiagnoseDevice(terminal.Path(), {}, {});
  EXPECT_EQ(diagnosis.state, PortState::kInUse);
  ASSERT_TRUE(diagnosis.holder);
  EXPECT_EQ(diagnosis.holder->pid, locker.Pid());
}

TEST(PortDiagnosisTest, ALockFileNamingALiveProcessMeansInUseAndAStaleOneNothing) {
  Terminal terminal;
  ASSERT_FALSE(terminal.Path().empty());
  terminal.CloseSlave();
  test::TempDir locks;
  std::string lock = locks.File(LockName(terminal.Path()));

  Child owner([] {});
  ASSERT_GT(owner.Pid(), 0);
  test::WriteFile(lock, FormatText("%10d\n", static_cast<int>(owner.Pid())));
  PortDiagnosis held = DiagnoseDevice(terminal.Path(), {}, {locks.Path()});
  EXPECT_EQ(held.state, PortState::kInUse);
  ASSERT_TRUE(held.holder);
  EXPECT_EQ(held.holder->pid, owner.Pid());

  pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  test::WriteFile(lock, FormatText("%d\nsomeprogram\nhost\n", static_cast<int>(gone)));
  EXPECT_EQ(DiagnoseDevice(terminal.Path(), {}, {locks.Path()}).state, PortState::kFound);
}

TEST(PortDiagnosisTest, ARunningBrlttyIsNoted) {
  Child grabber([] { prctl(PR_SET_NAME, "brltty", 0, 0, 0); });
  ASSERT_GT(grabber.Pid(), 0);
  Terminal terminal;
  terminal.CloseSlave();
  PortDiagnosis diagnosis = DiagnoseDevice(terminal.Path(), {}, {});
  EXPECT_NE(std::find(diagnosis.grabbers.begin(), diagnosis.grabbers.end(), "brltty"),
            diagnosis.grabbers.end());
  EXPECT_NE(DescribePortDiagnosis("COM1", diagnosis)
                .find("brltty is running; it is known to take serial adapters for itself."),
            std::string::npos);
}

TEST(PortDiagnosisTest, NoPermissionNamesTheGroupAndTheCommandThatAddsTheUser) {
  PortDiagnosis diagnosis;
  diagnosis.state = PortState::kNoPermission;
  diagnosis.device = "/dev/ttyUSB0";
  diagnosis.group = "dialout";
  EXPECT_EQ(DescribePortDiagnosis("COM1", diagnosis),
            "COM1 (/dev/ttyUSB0): no permission; the device belongs to group 'dialout': "
            "sudo usermod -aG dialout $USER, then log in again.");
  diagnosis.groupPendingLogin = true;
  EXPECT_EQ(DescribePortDiagnosis("COM1", diagnosis),
            "COM1 (/dev/ttyUSB0): no permission; you were added to group 'dialout' after this "
            "session began: log in again.");
}

}  // namespace
}  // namespace rv4410

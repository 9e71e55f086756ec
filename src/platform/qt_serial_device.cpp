#include "platform/qt_serial_device.h"

#include "platform/qt_port_names.h"

#include <QSocketNotifier>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <linux/serial.h>
#endif

namespace rv4410 {

namespace {

// Queued output beyond this is handed to the system at once.
constexpr qint64 kWriteChunk = 256;

}  // namespace

QtSerialDevice::QtSerialDevice() : port_(std::make_unique<QSerialPort>()) {
  connect(port_.get(), &QSerialPort::errorOccurred, this, &QtSerialDevice::OnError);
}

QtSerialDevice::~QtSerialDevice() {
  Close();
}

bool QtSerialDevice::Open(const std::string& portName, int baud) {
  Close();
  devicePath_ = ResolvePortName(portName);
  return OpenPath(baud);
}

bool QtSerialDevice::Reopen(int baud) {
  Close();
  return OpenPath(baud);
}

bool QtSerialDevice::OpenPath(int baud) {
  if (devicePath_.empty() || !ClaimDevice()) return false;
  port_->setPortName(QString::fromStdString(devicePath_));
  // Qt reads into its own buffer; bound it as the driver queue is bounded.
  port_->setReadBufferSize(static_cast<qint64>(kDriverQueueSize));
  bool configured = port_->open(QIODevice::ReadWrite) && port_->setBaudRate(baud) &&
                    port_->setDataBits(QSerialPort::Data8) &&
                    port_->setParity(QSerialPort::NoParity) &&
                    port_->setStopBits(QSerialPort::OneStop);
  if (!configured) {
    CloseNow();
    return false;
  }
  SetLowLatency();
  Purge();
  return true;
}

void QtSerialDevice::Close() {
  if (port_->isOpen()) {
    // A Cancel during a break closes the port in the middle of it: the line
    // must not stay held in break for whoever opens it next.
    if (port_->isBreakEnabled()) port_->setBreakEnabled(false);
    // Closing drops what Qt still holds; the last bytes of a command count.
    if (port_->isOpen()) port_->flush();
  }
  CloseNow();
}

void QtSerialDevice::CloseNow() {
  if (port_->isOpen()) port_->close();
  ReleaseDevice();
}

#if defined(Q_OS_UNIX)

namespace {

DeviceIdentity IdentityOf(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_rdev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

bool QtSerialDevice::ClaimDevice() {
  ReleaseDevice();
  claim_ = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  if (claim_ < 0 || flock(claim_, LOCK_EX | LOCK_NB) != 0 || fstat(claim_, &status) != 0) {
    ReleaseDevice();
    return false;
  }
  identity_ = IdentityOf(status);
  return true;
}

void QtSerialDevice::ReleaseDevice() {
  // Closing the descriptor gives the lock up.
  if (claim_ >= 0) ::close(claim_);
  claim_ = -1;
}

DeviceIdentity QtSerialDevice::IdentityNow() const {
  struct stat status {};
  if (devicePath_.empty() || stat(devicePath_.c_str(), &status) != 0) return {};
  return IdentityOf(status);
}

#else

// Windows opens a COM port for exclusive use; a name stands for one port.
bool QtSerialDevice::ClaimDevice() {
  return true;
}

void QtSerialDevice::ReleaseDevice() {}

DeviceIdentity QtSerialDevice::IdentityNow() const {
  return {};
}

#endif

void QtSerialDevice::SetLowLatency() {
#if defined(Q_OS_LINUX)
  // USB adapters hold short input back to fill their packets (an FTDI chip up
  // to 16 ms), which would cost a good part of every block's "OK". Devices
  // without the setting (a pseudo-terminal) refuse it, and nothing is lost.
  int fd = static_cast<int>(port_->handle());
  serial_struct serial{};
  if (fd < 0 || ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  ioctl(fd, TIOCSSERIAL, &serial);
#endif
}

bool QtSerialDevice::IsOpen() const {
  return port_->isOpen();
}

std::size_t QtSerialDevice::Write(const std::uint8_t* data, std::size_t count) {
  if (!port_->isOpen()) return 0;
  qint64 room = static_cast<qint64>(kDriverQueueSize) - port_->bytesToWrite();
  if (room <= 0) {
    // Full: hand the system what it takes now and look again. Waiting for the
    // write notifier instead could take longer than a byte's 40 ms at low
    // speeds, since the terminal reports room only in chunks.
    port_->flush();
    if (!port_->isOpen()) return 0;
    room = static_cast<qint64>(kDriverQueueSize) - port_->bytesToWrite();
    if (room <= 0) return 0;
  }
  qint64 length = std::min(room, static_cast<qint64>(count));
  qint64 written = port_->write(reinterpret_cast<const char*>(data), length);
  // Qt's buffer plays the driver's output queue. Handing each byte to the
  // system on its own would cost a system call per byte and hold a pseudo-
  // terminal far below the line rates in use; the event loop passes the queue
  // on at its next turn, which every wait and every byte operation makes
  // within a millisecond. A long run goes out in chunks meanwhile.
  if (port_->isOpen() && port_->bytesToWrite() >= kWriteChunk) port_->flush();
  return written > 0 ? static_cast<std::size_t>(written) : 0;
}

void QtSerialDevice::HoldInputWakeups(bool hold) {
  if (!port_->isOpen()) return;
  // QSerialPort keeps its notifiers as children; its read notifier is the
  // one that wakes the event loop for every character that arrives.
  for (QSocketNotifier* notifier : port_->findChildren<QSocketNotifier*>()) {
    if (notifier->type() == QSocketNotifier::Read) notifier->setEnabled(!hold);
  }
}

std::size_t QtSerialDevice::SystemInputQueued() const {
#if defined(Q_OS_UNIX)
  int queued = 0;
  if (ioctl(static_cast<int>(port_->handle()), FIONREAD, &queued) == 0 && queued > 0) {
    return static_cast<std::size_t>(queued);
  }
#endif
  return 0;
}

std::size_t QtSerialDevice::BytesWaiting() {
  if (!port_->isOpen()) return 0;
  // Clearing reports NoError to every listener; do it only when there is one.
  if (port_->error() != QSerialPort::NoError) port_->clearError();
  // Qt fetches input only when its read notifier runs: not while a line
  // gathers, nor while the loader is held up (a busy PC, a slow screen).
  // What the system holds meanwhile has arrived all the same; it is asked
  // only when Qt's buffer is empty, which saves a system call per byte.
  auto buffered = static_cast<std::size_t>(port_->bytesAvailable());
  return buffered != 0 ? buffered : SystemInputQueued();
}

std::size_t QtSerialDevice::Read(std::uint8_t* data, std::size_t count) {
  if (!port_->isOpen()) return 0;
  auto wanted = static_cast<qint64>(count);
  // Lets Qt fetch what the system holds now; it does not wait, as the
  // system reported bytes ready.
  if (port_->bytesAvailable() < wanted && SystemInputQueued() > 0) port_->waitForReadyRead(0);
  if (!port_->isOpen()) return 0;
  qint64 got = port_->read(reinterpret_cast<char*>(data), wanted);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

std::size_t QtSerialDevice::UnsentBytes() {
  if (!port_->isOpen()) return 0;
  auto unsent = static_cast<std::size_t>(std::max<qint64>(port_->bytesToWrite(), 0));
#if defined(Q_OS_UNIX)
  // What the system's output queue still holds (a pseudo-terminal says 0).
  int queued = 0;
  if (ioctl(static_cast<int>(port_->handle()), TIOCOUTQ, &queued) == 0 && queued > 0) {
    unsent += static_cast<std::size_t>(queued);
  }
#endif
  return unsent;
}

void QtSerialDevice::SetBreak(bool on) {
  // A pseudo-terminal carries no break: there the request does nothing and
  // only the wait remains.
  if (!port_->isOpen()) return;
  // What was written before the break goes before it.
  if (on) port_->flush();
  if (port_->isOpen()) port_->setBreakEnabled(on);
}

void QtSerialDevice::Purge() {
  if (!port_->isOpen()) return;
  port_->clearError();
  port_->clear(QSerialPort::AllDirections);
}

#if defined(Q_OS_UNIX)
bool QtSerialDevice::LineHungUp() const {
  pollfd fd{static_cast<int>(port_->handle()), POLLIN, 0};
  if (fd.fd < 0) return true;
  return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
#endif

void QtSerialDevice::OnError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError) return;
  ++errorReports_;
  if (!port_->isOpen()) return;
    // After a hang-up Qt 6.4 reports the failed read again on every event loop
    // turn until the port is closed (ResourceError when the read failed with
    // EIO, ReadError when it met end-of-file): close the port on the first
    // report, and the logic then sees a closed port whose reads fail at once.
    // The same reports also stand for passing troubles (a full output queue
    // gives ResourceError with EAGAIN), so the line itself decides.
#if defined(Q_OS_UNIX)
  bool gone = LineHungUp();
#else
  // Windows gives ResourceError only for a device that went away.
  bool gone = error == QSerialPort::ResourceError;
#endif
  if (gone) CloseNow();
}

}  // namespace rv4410

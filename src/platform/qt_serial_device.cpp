#include "platform/qt_serial_device.h"

#include "platform/qt_port_names.h"

#if defined(Q_OS_UNIX)
#include <poll.h>
#endif

namespace rv4410 {

QtSerialDevice::QtSerialDevice() : port_(std::make_unique<QSerialPort>()) {
  connect(port_.get(), &QSerialPort::errorOccurred, this, &QtSerialDevice::OnError);
}

QtSerialDevice::~QtSerialDevice() {
  Close();
}

bool QtSerialDevice::Open(const std::string& portName, int baud) {
  if (port_->isOpen()) return false;
  devicePath_ = ResolvePortName(portName);
  if (devicePath_.empty()) return false;
  port_->setPortName(QString::fromStdString(devicePath_));
  // Qt reads into its own buffer; bound it as the driver queue is bounded.
  port_->setReadBufferSize(static_cast<qint64>(kDriverQueueSize));
  if (!port_->open(QIODevice::ReadWrite)) return false;
  bool configured = port_->setBaudRate(baud) && port_->setDataBits(QSerialPort::Data8) &&
                    port_->setParity(QSerialPort::NoParity) &&
                    port_->setStopBits(QSerialPort::OneStop);
  if (!configured) {
    port_->close();
    return false;
  }
  Purge();
  return true;
}

void QtSerialDevice::Close() {
  if (port_->isOpen()) port_->close();
}

bool QtSerialDevice::IsOpen() const {
  return port_->isOpen();
}

std::size_t QtSerialDevice::Write(const std::uint8_t* data, std::size_t count) {
  if (!port_->isOpen()) return 0;
  qint64 room = static_cast<qint64>(kDriverQueueSize) - port_->bytesToWrite();
  if (room <= 0) {
    port_->flush();
    return 0;
  }
  qint64 length = std::min(room, static_cast<qint64>(count));
  qint64 written = port_->write(reinterpret_cast<const char*>(data), length);
  // Hand the bytes to the operating system now rather than at the next event
  // loop turn, so that a byte written is a byte on its way.
  if (port_->isOpen()) port_->flush();
  return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::size_t QtSerialDevice::BytesWaiting() {
  if (!port_->isOpen()) return 0;
  port_->clearError();
  return static_cast<std::size_t>(port_->bytesAvailable());
}

std::size_t QtSerialDevice::Read(std::uint8_t* data, std::size_t count) {
  if (!port_->isOpen()) return 0;
  qint64 got = port_->read(reinterpret_cast<char*>(data), static_cast<qint64>(count));
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void QtSerialDevice::SetBreak(bool on) {
  // A pseudo-terminal has no break; the request then fails and the wait remains.
  if (port_->isOpen()) port_->setBreakEnabled(on);
}

void QtSerialDevice::Purge() {
  if (!port_->isOpen()) return;
  port_->clearError();
  port_->clear(QSerialPort::AllDirections);
}

bool QtSerialDevice::LineHungUp() const {
#if defined(Q_OS_UNIX)
  pollfd fd{static_cast<int>(port_->handle()), POLLIN, 0};
  if (fd.fd < 0) return true;
  return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
  return false;
#endif
}

void QtSerialDevice::OnError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError) return;
  ++errorReports_;
  if (!port_->isOpen()) return;
  // After a hang-up Qt 6.4 reports the failed read again on every event loop
  // turn until the port is closed: ResourceError when the read failed with
  // EIO, ReadError when it returned end-of-file. Close the port on the first
  // report; the logic then sees a closed port and its reads fail at once.
  bool gone =
      error == QSerialPort::ResourceError ||
      ((error == QSerialPort::ReadError || error == QSerialPort::WriteError) && LineHungUp());
  if (gone) port_->close();
}

}  // namespace rv4410

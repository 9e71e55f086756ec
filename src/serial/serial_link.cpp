#include "serial/serial_link.h"

#include <cerrno>
#include <new>

#include "platform/format.h"
#include "platform/serial_device.h"

namespace rv4410 {

bool SerialIsOpen(SerialLink& link) {
  // A hang-up closes the device under us; the link then counts as closed too.
  if (link.open && !link.host.Serial().IsOpen()) link.open = false;
  return link.open;
}

int SerialOpen(SerialLink& link) {
  SerialDevice& device = link.host.Serial();
  if (!device.Open(link.settings.portName, link.settings.baudRate)) return 0;
  link.open = true;
  if (!link.ioBuffer) IoBufferAlloc(link);
  return 1;
}

int SerialClose(SerialLink& link) {
  if (!link.open) return 0;
  link.host.Serial().Close();
  link.open = false;
  return 1;
}

void SerialWriteByte(SerialLink& link, std::uint8_t byte) {
  if (!SerialIsOpen(link)) return;
  Host& host = link.host;
  std::int64_t deadline = host.TickCount() + kByteTimeoutMs;
  for (;;) {
    host.PumpMessages();
    if (!SerialIsOpen(link)) return;
    std::uint8_t scratch[1] = {byte};
    std::uint8_t* buffer = link.ioBuffer ? link.ioBuffer.get() : scratch;
    buffer[0] = byte;
    if (host.Serial().Write(buffer, 1) == 1) return;
    if (host.TickCount() >= deadline) return;
    // The output queue is full: sleep until it drains a little or time is up.
    host.WaitForEvent(deadline);
  }
}

int SerialReadByte(SerialLink& link) {
  if (!SerialIsOpen(link)) return -1;
  Host& host = link.host;
  std::int64_t deadline = host.TickCount() + kByteTimeoutMs;
  std::size_t waiting = 0;
  for (;;) {
    host.PumpMessages();
    if (!SerialIsOpen(link)) return -1;
    waiting = host.Serial().BytesWaiting();
    if (waiting != 0 || host.TickCount() >= deadline) break;
    host.WaitForEvent(deadline);
  }
  if (waiting == 0) return -1;
  std::uint8_t scratch[1] = {0};
  std::uint8_t* buffer = link.ioBuffer ? link.ioBuffer.get() : scratch;
  if (host.Serial().Read(buffer, 1) != 1) return -1;
  return buffer[0];
}

void SerialSendBreak(SerialLink& link) {
  Host& host = link.host;
  bool withPort = SerialIsOpen(link);
  if (withPort) host.Serial().SetBreak(true);
  std::int64_t deadline = host.TickCount() + kBreakMs;
  while (host.TickCount() < deadline) {
    host.PumpMessages();
    // A page's Cancel closed the port: closing ended the break, and the user
    // is not kept waiting for the rest of it.
    if (withPort && !SerialIsOpen(link)) return;
    host.WaitForEvent(deadline);
  }
  if (withPort && SerialIsOpen(link)) host.Serial().SetBreak(false);
}

void SerialPurge(SerialLink& link) {
  if (SerialIsOpen(link)) link.host.Serial().Purge();
}

void PumpMessages(SerialLink& link) {
  link.host.PumpMessages();
}

void IoBufferAlloc(SerialLink& link) {
  if (link.ioBuffer) return;
  link.ioBuffer.reset(new (std::nothrow) std::uint8_t[kIoBufferSize]());
  if (!link.ioBuffer) {
    link.host.ShowMessageBox({FormatText(kAllocationErrorFormat, errno), kSerialInitErrorCaption,
                              BoxIcon::kError, BoxButtons::kOk, nullptr});
  }
}

void IoBufferFree(SerialLink& link) {
  link.ioBuffer.reset();
}

}  // namespace rv4410

#include "serial/serial_link.h"

#include <algorithm>
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
  // Every caller closes the port before opening it. One that did not would
  // otherwise keep a port at old settings while being told it failed; opening
  // afresh keeps the promise of an open: the configured port, at the
  // configured speed, with nothing queued.
  SerialClose(link);
  if (!device.Open(link.settings.portName, link.settings.baudRate)) {
    link.open = false;
    return 0;
  }
  link.open = true;
  link.openBaud = link.settings.baudRate;
  // Opening discards the output queue: nothing is on its way any more.
  link.lineFreeUs = link.host.TickCount() * 1000;
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
  // A full queue is no stuck line while the bytes in it still have line time
  // to go: a device may report room only in chunks (a pseudo-terminal, a USB
  // adapter), long after the first of them left. A byte is given up only 40 ms
  // after the queue should have drained at the line rate.
  std::int64_t lineFreeMs = (link.lineFreeUs + 999) / 1000;
  std::int64_t deadline = std::max(host.TickCount(), lineFreeMs) + kByteTimeoutMs;
  for (;;) {
    host.PumpMessages();
    if (!SerialIsOpen(link)) return;
    std::uint8_t scratch[1] = {byte};
    std::uint8_t* buffer = link.ioBuffer ? link.ioBuffer.get() : scratch;
    buffer[0] = byte;
    if (host.Serial().Write(buffer, 1) == 1) {
      // The byte leaves after those before it, one character time long.
      std::int64_t nowUs = host.TickCount() * 1000;
      link.lineFreeUs = std::max(link.lineFreeUs, nowUs) + CharacterTimeUs(link.openBaud);
      return;
    }
    if (host.TickCount() >= deadline) return;
    // The output queue is full: sleep until it drains a little or time is up.
    host.WaitForEvent(deadline);
  }
}

namespace {

// The next received byte by `deadline`, or -1.
int ReadByteBy(SerialLink& link, std::int64_t deadline) {
  if (!SerialIsOpen(link)) return -1;
  Host& host = link.host;
  std::size_t waiting = 0;
  for (;;) {
    host.PumpMessages();
    if (!SerialIsOpen(link)) return -1;
    // The clock is read before the input is looked at: a byte that came while
    // the loader was held up (a busy PC, a slow screen) came in time, however
    // late the look.
    std::int64_t now = host.TickCount();
    waiting = host.Serial().BytesWaiting();
    if (waiting != 0 || now >= deadline) break;
    host.WaitForEvent(deadline);
  }
  if (waiting == 0) return -1;
  std::uint8_t scratch[1] = {0};
  std::uint8_t* buffer = link.ioBuffer ? link.ioBuffer.get() : scratch;
  if (host.Serial().Read(buffer, 1) != 1) return -1;
  return buffer[0];
}

// How long a line being collected may gather before it is looked at: eight
// characters' time where that is long enough to be worth the wakes saved (up
// to 38400 baud), at most a quarter of the pause that ends a line.
std::int64_t GatherMs(int baud) {
  std::int64_t eightCharactersUs = 8 * CharacterTimeUs(baud);
  if (eightCharactersUs < 2000) return 0;
  return std::min<std::int64_t>((eightCharactersUs + 999) / 1000, kByteTimeoutMs / 4);
}

}  // namespace

int SerialReadByte(SerialLink& link) {
  if (!SerialIsOpen(link)) return -1;
  return ReadByteBy(link, link.host.TickCount() + kByteTimeoutMs);
}

int SerialReadLineByte(SerialLink& link) {
  if (!SerialIsOpen(link)) return -1;
  Host& host = link.host;
  std::int64_t start = host.TickCount();
  std::int64_t gather = GatherMs(link.openBaud);
  if (gather > 0 && host.Serial().BytesWaiting() == 0) host.WaitForUserEvent(start + gather);
  // The 40 ms of the pause rule count from the call, the gathering included.
  return ReadByteBy(link, start + kByteTimeoutMs);
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
  if (!SerialIsOpen(link)) return;
  link.host.Serial().Purge();
  link.lineFreeUs = link.host.TickCount() * 1000;
}

namespace {

// The tick at which the last byte handed over will have left the PC, and the
// device's count of bytes still unsent; now and 0 with no port open.
std::int64_t OutputDoneAt(SerialLink& link, std::size_t& unsent) {
  std::int64_t now = link.host.TickCount();
  unsent = 0;
  if (!SerialIsOpen(link)) return now;
  unsent = link.host.Serial().UnsentBytes();
  std::int64_t characterUs = CharacterTimeUs(link.openBaud);
  std::int64_t doneUs =
      std::max(link.lineFreeUs, now * 1000 + static_cast<std::int64_t>(unsent) * characterUs);
  // Rounded up: the wait never begins before the last stop bit.
  return std::max(now, (doneUs + 999) / 1000);
}

}  // namespace

ReplyDeadline SerialReplyDeadline(SerialLink& link, std::int64_t timeoutMs) {
  ReplyDeadline deadline;
  deadline.tick = OutputDoneAt(link, deadline.unsent) + timeoutMs;
  return deadline;
}

bool SerialReplyDeadlinePassed(SerialLink& link, ReplyDeadline& deadline, std::int64_t timeoutMs) {
  if (link.host.TickCount() < deadline.tick) return false;
  std::size_t unsent = 0;
  std::int64_t doneAt = OutputDoneAt(link, unsent);
  // The device goes slower than the line rate (a paused or a slow adapter): the
  // answer is due only after the rest is out. Output that does not move at all
  // holds nothing up, so that a stuck line still ends in a timeout.
  bool moving = unsent != 0 && unsent < deadline.unsent;
  deadline.unsent = unsent;
  if (!moving) return true;
  deadline.tick = doneAt + timeoutMs;
  return false;
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

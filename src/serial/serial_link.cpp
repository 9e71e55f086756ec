#include "serial/serial_link.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "platform/format.h"
#include "platform/serial_device.h"

namespace rv4410 {

namespace {

// Microseconds to whole milliseconds, rounded up: a wait never ends before
// the last stop bit.
std::int64_t CeilMs(std::int64_t us) {
  return (us + 999) / 1000;
}

// The device has just opened at the speed of the settings.
int MarkOpen(SerialLink& link) {
  link.open = true;
  link.openBaud = link.settings.baudRate;
  // Opening discards the output queue: nothing is on its way any more.
  link.lineFreeUs = kNothingSentUs;
  if (!link.ioBuffer) IoBufferAlloc(link);
  return 1;
}

}  // namespace

bool SerialIsOpen(SerialLink& link) {
  // A hang-up closes the device under us; the link then counts as closed too.
  if (link.open && !link.host.Serial().IsOpen()) {
    link.open = false;
    link.lineGone = true;
  }
  return link.open;
}

bool SerialLineGone(SerialLink& link) {
  SerialIsOpen(link);
  return link.lineGone;
}

int SerialOpen(SerialLink& link) {
  SerialDevice& device = link.host.Serial();
  // Every caller closes the port before opening it. One that did not would
  // otherwise keep a port at old settings while being told it failed; opening
  // afresh keeps the promise of an open: the configured port, at the
  // configured speed, with nothing queued.
  SerialClose(link);
  // A fresh start: whatever device the name reaches now is the one.
  link.lineGone = false;
  if (!device.Open(link.settings.portName, link.settings.baudRate)) return 0;
  link.device = device.OpenedIdentity();
  return MarkOpen(link);
}

namespace {

// Sleeps until what was written has left the wire, as SerialClose says.
// False when bytes are still queued at the limit (a line held by flow control).
bool LetOutputLeave(SerialLink& link) {
  Host& host = link.host;
  SerialDevice& device = host.Serial();
  std::int64_t characterUs = CharacterTimeUs(link.openBaud);
  std::int64_t start = host.TickCount();
  std::size_t unsent = device.UnsentBytes();
  auto lineTimeUs = [characterUs](std::size_t bytes) {
    return static_cast<std::int64_t>(bytes) * characterUs;
  };
  // The line-time estimate also covers what a device holds without counting
  // it (a UART's FIFO, an adapter's buffer, the far end of a pseudo-terminal,
  // which reports nothing queued), but no more than a driver queue's worth.
  std::int64_t estimateUs =
      std::min(link.lineFreeUs, start * 1000 + lineTimeUs(unsent + kDriverQueueSize));
  std::int64_t settled =
      link.lineFreeUs == kNothingSentUs ? start : CeilMs(estimateUs) + kOutputSettleMs;
  std::int64_t limit = std::max(settled, start + CeilMs(lineTimeUs(unsent)) + kOutputSettleMs);
  for (;;) {
    std::int64_t now = host.TickCount();
    unsent = device.UnsentBytes();
    if (unsent == 0 && now >= settled) return true;
    if (now >= limit) return unsent == 0;
    // Asleep until the queue should be empty at the line rate.
    std::int64_t drained = unsent == 0 ? settled : now + CeilMs(lineTimeUs(unsent));
    host.WaitForEvent(std::min(limit, std::max(drained, now + 1)));
    if (!SerialIsOpen(link)) return true;
  }
}

int CloseDevice(SerialLink& link) {
  link.host.Serial().Close();
  link.open = false;
  return 1;
}

}  // namespace

int SerialClose(SerialLink& link) {
  if (!link.open) return 0;
  // Stuck output is not waited for any longer, nor left to the driver's own
  // close, which could hold the program for half a minute.
  if (SerialIsOpen(link) && !LetOutputLeave(link) && SerialIsOpen(link)) {
    link.host.Serial().Purge();
  }
  return CloseDevice(link);
}

int SerialReopen(SerialLink& link) {
  SerialClose(link);
  SerialDevice& device = link.host.Serial();
  // Within one operation the loader talks only to the device it opened: one
  // that hung up is not replaced by whatever appears at its path next.
  if (!link.lineGone && device.IdentityNow() != link.device) link.lineGone = true;
  if (link.lineGone) return 0;
  if (!device.Reopen(link.settings.baudRate)) return 0;
  if (device.OpenedIdentity() != link.device) {
    device.Close();
    link.lineGone = true;
    return 0;
  }
  return MarkOpen(link);
}

int SerialCloseNow(SerialLink& link) {
  if (!link.open) return 0;
  if (SerialIsOpen(link)) link.host.Serial().Purge();
  return CloseDevice(link);
}

void SerialWriteByte(SerialLink& link, std::uint8_t byte) {
  if (!SerialIsOpen(link)) return;
  Host& host = link.host;
  // A full queue is no stuck line while the bytes in it still have line time
  // to go: a device may report room only in chunks (a pseudo-terminal, a USB
  // adapter), long after the first of them left. A byte is given up only 40 ms
  // after the queue should have drained at the line rate.
  std::int64_t deadline = std::max(host.TickCount(), CeilMs(link.lineFreeUs)) + kByteTimeoutMs;
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
  return std::min<std::int64_t>(CeilMs(eightCharactersUs), kByteTimeoutMs / 4);
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
  link.lineFreeUs = kNothingSentUs;
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
  return std::max(now, CeilMs(doneUs));
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

#pragma once
// The one serial port. Every wait here sleeps on the host until input, a user
// event or its deadline, and lets user events run: a page's Cancel, Back or
// close may close the port in the middle of any of these operations, which
// therefore check for an open port and tolerate its disappearing.

#include <cstdint>
#include <memory>

#include "platform/host.h"
#include "platform/serial_device.h"
#include "serial/loader_settings.h"

namespace rv4410 {

// Per-byte deadline of reads and writes.
inline constexpr std::int64_t kByteTimeoutMs = 40;
// How long a close waits beyond the line time of the last byte written: a USB
// adapter passes bytes on in frames of a millisecond, and the far end of a
// pseudo-terminal takes them when it is next scheduled.
inline constexpr std::int64_t kOutputSettleMs = 20;
inline constexpr std::int64_t kBreakMs = 100;
inline constexpr std::size_t kIoBufferSize = 16;

inline constexpr const char* kSerialInitErrorCaption = "Serial Init Error";
inline constexpr const char* kAllocationErrorFormat = "Allocation Error\n Code: %d";

inline constexpr std::int64_t kNothingSentUs = 0;

struct SerialLink {
  SerialLink(Host& host, LoaderSettings& settings) : host(host), settings(settings) {}

  Host& host;
  LoaderSettings& settings;
  bool open = false;
  // The device the last SerialOpen reached; a reopen takes only that one.
  DeviceIdentity device;
  // That device went away: it hung up (closed itself, not closed by us), or a
  // reopen found another device at its path. Cleared by the next SerialOpen.
  bool lineGone = false;
  // The speed the port was opened at: what the line rate is while it is open.
  int openBaud = 0;
  // When the last byte handed to the port will have left the PC at the line
  // rate, in microseconds of the host's tick count; kNothingSentUs while
  // nothing has been handed over since the open or a purge.
  std::int64_t lineFreeUs = kNothingSentUs;
  // Holds the single byte of every read and write; obtained once per run.
  std::unique_ptr<std::uint8_t[]> ioBuffer;
};

// Whether a port is open; a device that hung up counts as closed from now on.
bool SerialIsOpen(SerialLink& link);
// Whether the device that the last SerialOpen reached went away (lineGone).
bool SerialLineGone(SerialLink& link);
// Opens the port named in the settings at their baud rate (8N1, exclusive) and
// discards anything queued. 1 when open, 0 on failure (no port open, nothing shown).
// A port that is still open is closed first and opened again: afterwards the
// port is the configured one at the configured speed, whatever came before.
// The device it reaches is the one SerialReopen takes again later.
int SerialOpen(SerialLink& link);
// Closes the port as SerialClose does and opens the same device again (the
// path the last SerialOpen reached) at the baud rate of the settings, for a
// speed change within an operation.
// Refuses (0, port closed, nothing sent) when the device went away: it hung
// up, or the port name now reaches another device. 1 when open.
int SerialReopen(SerialLink& link);
// 1 when a port was open and is now closed, 0 when none was open.
// What was written leaves the wire first: closing hands the port back at the
// speed it stood at before, and a speed change garbles bytes still on their
// way. The wait sleeps (user events run) until the device's output queue is
// empty and the last byte's line time and 20 ms have passed, at most the line
// time of what is queued and those 20 ms; what is still queued then is
// discarded. A close by a user event meanwhile (Cancel) ends the wait at once.
int SerialClose(SerialLink& link);
// Closes at once, for a stop the user asked for (Cancel, Back, Exit, closing
// a page, a signal): what is still queued is discarded, not waited for. 1 when
// a port was open and is now closed, 0 when none was open.
int SerialCloseNow(SerialLink& link);
// Sends one byte. While the output queue is full it waits for room until 40 ms
// after the queued bytes should have left at the line rate; a byte the port
// will not take by then is dropped.
void SerialWriteByte(SerialLink& link, std::uint8_t byte);
// The next received byte (0..255), or -1 when no port is open (at once) or
// nothing arrived within 40 ms.
int SerialReadByte(SerialLink& link);
// SerialReadByte for the characters of a line already begun. At low speeds it
// lets a few characters gather before it looks (the window still answers at
// once), so that a line costs a few wakes rather than one per character.
int SerialReadLineByte(SerialLink& link);
// Holds the line in break for 100 ms (only the wait remains with no port open);
// ends early when the port is closed meanwhile (a page's Cancel).
void SerialSendBreak(SerialLink& link);
// Clears line errors and discards everything queued in both directions.
void SerialPurge(SerialLink& link);

// The deadline of a wait for the unit's answer to what has just been sent.
// A write returns once the bytes are queued, long before they are on the line
// at low speeds, and the unit cannot answer a line it has not yet heard: the
// wait counts from when the last byte has left the PC.
struct ReplyDeadline {
  std::int64_t tick = 0;   // the wait ends at this tick
  std::size_t unsent = 0;  // the device's count of unsent bytes at the last look
};
// `timeoutMs` after the last byte handed to the port has left: by the line rate
// (10 bits per byte at the open speed) from when each byte was handed over, or
// by the device's own count of unsent bytes, whichever is later. With no port
// open, or nothing still going out, `timeoutMs` from now.
ReplyDeadline SerialReplyDeadline(SerialLink& link, std::int64_t timeoutMs);
// Whether the wait is over at this tick. A device that still holds bytes and
// has sent some since the last look moves the deadline to `timeoutMs` after
// the rest will have left; output that does not move keeps the deadline.
bool SerialReplyDeadlinePassed(SerialLink& link, ReplyDeadline& deadline, std::int64_t timeoutMs);

// Runs the user events pending now; never blocks.
void PumpMessages(SerialLink& link);
// Obtains the 16-byte scratch buffer; reports "Serial Init Error" on failure.
void IoBufferAlloc(SerialLink& link);
void IoBufferFree(SerialLink& link);

}  // namespace rv4410

#include "platform/win32_serial_device.h"

#include <algorithm>

#include "platform/windows_api.h"

#include "platform/win32_port_names.h"

namespace rv4410 {

namespace {

// One read or write handed to the driver at a time, at most this many bytes.
constexpr DWORD kTransferChunk = 1024;
// The longest a pending read is given to take a byte the driver holds.
constexpr DWORD kSettleMs = 100;
// What a drain waits beyond the line time of the bytes still queued.
constexpr std::int64_t kDrainSlackMs = 1000;

std::int64_t CeilDiv(std::int64_t value, std::int64_t divisor) {
  return (value + divisor - 1) / divisor;
}

HANDLE AsHandle(void* handle) {
  return static_cast<HANDLE>(handle);
}

// FNV-1a: the device name the port's name reaches, as a number.
std::uint64_t NameHash(const char* text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (; *text != '\0'; ++text) {
    hash ^= static_cast<unsigned char>(*text);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

struct Win32SerialDevice::Pending {
  OVERLAPPED overlapped{};
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  bool busy = false;
  DWORD count = 0;  // bytes handed to the pending operation
  std::uint8_t buffer[kTransferChunk] = {};

  Pending() = default;
  ~Pending() {
    if (event != nullptr) CloseHandle(event);
  }
  Pending(const Pending&) = delete;
  Pending& operator=(const Pending&) = delete;

  OVERLAPPED* Fresh() {
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event;
    ResetEvent(event);
    return &overlapped;
  }
};

Win32SerialDevice::Win32SerialDevice()
    : read_(std::make_unique<Pending>()), write_(std::make_unique<Pending>()) {}

Win32SerialDevice::~Win32SerialDevice() {
  Close();
}

bool Win32SerialDevice::Open(const std::string& portName, int baud) {
  Close();
  portName_ = portName;
  devicePath_ = Win32DevicePath(portName);
  return OpenPath(baud);
}

bool Win32SerialDevice::Reopen(int baud) {
  Close();
  return OpenPath(baud);
}

bool Win32SerialDevice::OpenPath(int baud) {
  lastOpenError_ = 0;
  if (devicePath_.empty()) {
    lastOpenError_ = ERROR_FILE_NOT_FOUND;
    return false;
  }
  // No sharing: a port another program holds is refused (access denied),
  // and none can take this one while it is open.
  HANDLE handle = CreateFileA(devicePath_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    lastOpenError_ = GetLastError();
    return false;
  }
  handle_ = handle;
  if (!Configure(baud)) {
    lastOpenError_ = GetLastError();
    CloseNow();
    return false;
  }
  baud_ = baud;
  identity_ = IdentityNow();
  Purge();
  return true;
}

bool Win32SerialDevice::Configure(int baud) {
  HANDLE handle = AsHandle(handle_);
  if (!SetupComm(handle, kDriverQueueSize, kDriverQueueSize)) return false;
  DCB state{};
  state.DCBlength = sizeof state;
  if (!GetCommState(handle, &state)) return false;
  state.BaudRate = static_cast<DWORD>(baud);
  state.ByteSize = 8;
  state.Parity = NOPARITY;
  state.StopBits = ONESTOPBIT;
  state.fBinary = TRUE;
  state.fParity = FALSE;
  // No flow control: the unit's line has no handshake wires, and a line held
  // by one would hold every write and the close behind it.
  state.fOutxCtsFlow = FALSE;
  state.fOutxDsrFlow = FALSE;
  state.fDsrSensitivity = FALSE;
  state.fOutX = FALSE;
  state.fInX = FALSE;
  state.fDtrControl = DTR_CONTROL_ENABLE;
  state.fRtsControl = RTS_CONTROL_ENABLE;
  state.fErrorChar = FALSE;
  state.fNull = FALSE;
  // A line error must not stop reads and writes until it is cleared.
  state.fAbortOnError = FALSE;
  if (!SetCommState(handle, &state)) return false;
  // No read timeouts: a read returns when it has all the bytes it asked for.
  // A read asks for what the driver holds, or for one byte that pends until
  // it comes. (The modes that return at once, or with what has arrived after
  // a first byte, never complete under Wine when nothing has arrived.)
  // Writes take as long as they take.
  COMMTIMEOUTS timeouts{};
  return SetCommTimeouts(handle, &timeouts) != 0;
}

void Win32SerialDevice::Close() {
  if (handle_ == nullptr) return;
  // A Cancel during a break closes the port in the middle of it: the line
  // must not stay held in break for whoever opens it next.
  ClearCommBreak(AsHandle(handle_));
  // Closing drops what the driver still holds; the last bytes of a command count.
  DrainOutput();
  CloseNow();
}

void Win32SerialDevice::CloseNow() {
  if (handle_ == nullptr) return;
  CancelPending();
  CloseHandle(AsHandle(handle_));
  handle_ = nullptr;
  input_.clear();
  output_.clear();
}

void Win32SerialDevice::LineGone() {
  CloseNow();
}

void Win32SerialDevice::CancelPending() {
  HANDLE handle = AsHandle(handle_);
  if (!read_->busy && !write_->busy) return;
  CancelIo(handle);
  for (Pending* pending : {read_.get(), write_.get()}) {
    if (!pending->busy) continue;
    DWORD done = 0;
    GetOverlappedResult(handle, &pending->overlapped, &done, TRUE);
    pending->busy = false;
    pending->count = 0;
  }
}

DeviceIdentity Win32SerialDevice::IdentityNow() const {
  // Windows keeps no inode for a port: what tells devices apart is the
  // kernel device the name leads to ("\Device\Serial0", "\Device\VCP0").
  std::string name = Win32PortName(portName_);
  if (name.empty())
    return devicePath_.empty() ? DeviceIdentity{}
                               : DeviceIdentity{NameHash(devicePath_.c_str()), 1};
  char target[1024] = {};
  if (QueryDosDeviceA(name.c_str(), target, sizeof target - 1) == 0) return {};
  return {NameHash(target), 1};
}

void Win32SerialDevice::StartRead() {
  HANDLE handle = AsHandle(handle_);
  while (handle_ != nullptr && !read_->busy && input_.size() < kDriverQueueSize) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status)) return LineGone();
    // What the driver holds, which completes at once; when it holds nothing,
    // one byte that pends and whose arrival wakes the host's wait.
    DWORD wanted = static_cast<DWORD>(
        std::min<std::size_t>({status.cbInQue, kTransferChunk, kDriverQueueSize - input_.size()}));
    bool pend = wanted == 0;
    if (pend) wanted = 1;
    DWORD got = 0;
    if (!ReadFile(handle, read_->buffer, wanted, &got, read_->Fresh())) {
      if (GetLastError() != ERROR_IO_PENDING) return LineGone();
      if (pend) {
        read_->busy = true;
        return;
      }
      if (!GetOverlappedResult(handle, &read_->overlapped, &got, TRUE)) return LineGone();
    }
    // A read that ends empty without a timeout: the line is gone.
    if (got == 0) return LineGone();
    input_.insert(input_.end(), read_->buffer, read_->buffer + got);
  }
}

void Win32SerialDevice::StartWrite() {
  while (handle_ != nullptr && !write_->busy && !output_.empty()) {
    DWORD length = static_cast<DWORD>(std::min<std::size_t>(kTransferChunk, output_.size()));
    std::copy_n(output_.begin(), length, write_->buffer);
    output_.erase(output_.begin(), output_.begin() + length);
    DWORD written = 0;
    if (WriteFile(AsHandle(handle_), write_->buffer, length, &written, write_->Fresh())) continue;
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      write_->busy = true;
      write_->count = length;
      return;
    }
    LineGone();
  }
}

void Win32SerialDevice::Poll() {
  if (handle_ == nullptr) return;
  HANDLE handle = AsHandle(handle_);
  DWORD done = 0;
  if (read_->busy) {
    if (GetOverlappedResult(handle, &read_->overlapped, &done, FALSE)) {
      read_->busy = false;
      input_.insert(input_.end(), read_->buffer, read_->buffer + done);
    } else if (GetLastError() != ERROR_IO_INCOMPLETE) {
      // A read fails only when the device went away.
      read_->busy = false;
      LineGone();
      return;
    }
  }
  if (write_->busy) {
    if (GetOverlappedResult(handle, &write_->overlapped, &done, FALSE)) {
      write_->busy = false;
      write_->count = 0;
    } else if (GetLastError() != ERROR_IO_INCOMPLETE) {
      write_->busy = false;
      LineGone();
      return;
    }
  }
  StartRead();
  StartWrite();
}

std::vector<void*> Win32SerialDevice::WakeEvents(bool withInput) const {
  std::vector<void*> events;
  if (handle_ == nullptr) return events;
  if (withInput && read_->busy) events.push_back(read_->event);
  if (write_->busy) events.push_back(write_->event);
  return events;
}

std::size_t Win32SerialDevice::Write(const std::uint8_t* data, std::size_t count) {
  if (handle_ == nullptr) return 0;
  std::size_t queued = output_.size() + (write_->busy ? write_->count : 0);
  if (queued >= kDriverQueueSize) return 0;
  std::size_t taken = std::min(count, kDriverQueueSize - queued);
  output_.insert(output_.end(), data, data + taken);
  // The link writes a byte at a time; a WriteFile for each would cost a call
  // into the system (under Wine a round trip to its server) per byte. The
  // bytes gather while a write is under way, or until the host's next pump
  // (a millisecond at most) or wait hands them on together.
  if (output_.size() >= kTransferChunk) StartWrite();
  return taken;
}

std::size_t Win32SerialDevice::DriverInput() {
  DWORD errors = 0;
  COMSTAT status{};
  // Clears the line-error state, which would otherwise hold the port.
  if (!ClearCommError(AsHandle(handle_), &errors, &status)) {
    LineGone();
    return 0;
  }
  return status.cbInQue;
}

void Win32SerialDevice::SettlePendingRead() {
  Poll();
  if (handle_ == nullptr || !read_->busy || DriverInput() == 0) return;
  // Bytes the driver holds while the read of the first is still pending:
  // Wine completes that read only when the thread next waits. It has its
  // byte, so the wait is short; the bound only guards against a driver
  // that never completes it.
  WaitForSingleObject(read_->event, kSettleMs);
  Poll();
}

std::size_t Win32SerialDevice::BytesWaiting() {
  if (handle_ == nullptr) return 0;
  std::size_t held = DriverInput();
  if (handle_ == nullptr) return 0;
  if (input_.empty() && held > 0) {
    SettlePendingRead();
    held = handle_ != nullptr ? DriverInput() : 0;
  } else {
    Poll();
  }
  if (handle_ == nullptr) return 0;
  return input_.size() + held;
}

std::size_t Win32SerialDevice::Read(std::uint8_t* data, std::size_t count) {
  Poll();
  if (handle_ != nullptr && input_.size() < count) SettlePendingRead();
  std::size_t taken = std::min(count, input_.size());
  std::copy_n(input_.begin(), taken, data);
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(taken));
  // Room again: the next read goes to the driver at once.
  if (taken > 0) Poll();
  return taken;
}

std::size_t Win32SerialDevice::UnsentBytes() {
  Poll();
  if (handle_ == nullptr) return 0;
  if (write_->busy) return output_.size() + write_->count;
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(AsHandle(handle_), &errors, &status)) return output_.size();
  return output_.size() + status.cbOutQue;
}

void Win32SerialDevice::DrainOutput() {
  if (handle_ == nullptr) return;
  std::size_t unsent = output_.size() + (write_->busy ? write_->count : 0);
  ULONGLONG deadline =
      GetTickCount64() +
      static_cast<ULONGLONG>(
          CeilDiv(static_cast<std::int64_t>(unsent) * CharacterTimeUs(baud_), 1000) +
          kDrainSlackMs);
  for (;;) {
    Poll();
    if (handle_ == nullptr) return;
    if (!write_->busy && output_.empty()) break;
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) return;
    WaitForSingleObject(write_->event, static_cast<DWORD>(deadline - now));
  }
  // What the driver still holds leaves before the close or the speed change.
  FlushFileBuffers(AsHandle(handle_));
}

void Win32SerialDevice::SetBreak(bool on) {
  // A pseudo-terminal behind Wine carries no break: there the request does
  // nothing and only the wait remains.
  if (handle_ == nullptr) return;
  if (on) {
    // What was written before the break goes before it.
    DrainOutput();
    if (handle_ != nullptr) SetCommBreak(AsHandle(handle_));
  } else {
    ClearCommBreak(AsHandle(handle_));
  }
}

void Win32SerialDevice::Purge() {
  if (handle_ == nullptr) return;
  // PurgeComm's aborts do not reach every driver's pending reads (Wine's do
  // not): cancel them first, so that nothing read before lands after.
  CancelPending();
  PurgeComm(AsHandle(handle_), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  DWORD errors = 0;
  COMSTAT status{};
  ClearCommError(AsHandle(handle_), &errors, &status);
  input_.clear();
  output_.clear();
  StartRead();
}

}  // namespace rv4410

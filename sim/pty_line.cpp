#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <vector>

namespace rv4410::sim {

namespace {

struct SpeedPair {
  int baud;
  speed_t speed;
};

constexpr SpeedPair kSpeeds[] = {
    {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};

// Poll at least this often, so that a stop request is seen promptly.
constexpr std::int64_t kMaxPollUs = 50'000;
// The most bytes taken from the loader ahead of the line's pace.
constexpr std::size_t kIncomingLimit = 4096;
// How long a hang-up waits for the loader to read what is on its way: up to
// 400 looks 5 ms apart.
constexpr int kHangUpReadLooks = 400;
constexpr long kHangUpLookNs = 5'000'000;
// The speed of a byte whose line changed speed under it: the unit, which
// garbles whatever comes at another speed than its own, reads nothing of it.
constexpr int kGarbledOnTheWay = 0;

}  // namespace

unsigned BaudToSpeed(int baud) {
  for (const SpeedPair& pair : kSpeeds) {
    if (pair.baud == baud) return pair.speed;
  }
  return 0;
}

int SpeedToBaud(unsigned speed) {
  for (const SpeedPair& pair : kSpeeds) {
    if (pair.speed == speed) return pair.baud;
  }
  return 0;
}

PtyLine::PtyLine(UnitModel& unit) : unit_(unit) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  startNs_ = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

PtyLine::~PtyLine() {
  if (slaveKeeper_ >= 0) close(slaveKeeper_);
  if (master_ >= 0) close(master_);
}

std::int64_t PtyLine::NowUs() const {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::int64_t ns = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  return (ns - startNs_) / 1000;
}

bool PtyLine::Create() {
  int slave = -1;
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, BaudToSpeed(unit_.Speed()));
  cfsetospeed(&raw, BaudToSpeed(unit_.Speed()));
  if (openpty(&master_, &slave, nullptr, &raw, nullptr) != 0) return false;
  char* name = ttyname(slave);
  slavePath_ = name != nullptr ? name : "";
  // Our own descriptor on the slave: without it the master reports a hang-up
  // each time the loader closes its end, and the line would be torn down.
  slaveKeeper_ = slave;
  int flags = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  seenBaud_ = LoaderBaud();
  return !slavePath_.empty();
}

int PtyLine::LoaderBaud() const {
  termios settings{};
  if (tcgetattr(master_, &settings) != 0) return 0;
  return SpeedToBaud(cfgetospeed(&settings));
}

void PtyLine::NoteSpeedChange(std::int64_t nowUs) {
  int baud = LoaderBaud();
  if (baud != seenBaud_) {
    // The change came some time since the last look: every byte sent at the
    // old speed and not yet in by then was on its way. The line is looked at
    // as each byte arrives.
    for (Incoming& in : incoming_) {
      if (in.baud != baud && in.arrivesUs > seenAtUs_) in.baud = kGarbledOnTheWay;
    }
    seenBaud_ = baud;
  }
  seenAtUs_ = nowUs;
}

void PtyLine::ReadFromLoader(std::int64_t nowUs) {
  // A change before these bytes concerns only those already under way.
  NoteSpeedChange(nowUs);
  std::uint8_t buffer[kIncomingLimit];
  while (incoming_.size() < kIncomingLimit) {
    ssize_t got = read(master_, buffer, kIncomingLimit - incoming_.size());
    if (got <= 0) return;
    int baud = LoaderBaud();
    // A speed the table does not know still takes time on the line (and
    // arrives garbled, since the unit never runs at it).
    std::int64_t characterUs = CharacterUs(baud != 0 ? baud : unit_.Speed());
    for (ssize_t i = 0; i < got; ++i) {
      inputFreeUs_ = std::max(inputFreeUs_, nowUs) + characterUs;
      incoming_.push_back({buffer[i], baud, inputFreeUs_});
    }
  }
}

void PtyLine::DeliverDue(std::int64_t nowUs) {
  while (!incoming_.empty() && incoming_.front().arrivesUs <= nowUs) {
    const Incoming& in = incoming_.front();
    unit_.ReceiveByte(in.byte, in.baud, in.arrivesUs);
    incoming_.pop_front();
  }
}

bool PtyLine::WriteDue(std::int64_t nowUs) {
  std::vector<std::uint8_t> due;
  int baud = LoaderBaud();
  std::uint8_t byte = 0;
  while (unit_.TakeOutput(nowUs, baud, byte)) due.push_back(byte);
  std::size_t sent = 0;
  while (sent < due.size()) {
    ssize_t wrote = write(master_, due.data() + sent, due.size() - sent);
    if (wrote < 0 && errno == EAGAIN) {
      // The loader is not reading and the terminal's buffer is full: what does
      // not fit is lost, as on a line with nobody listening.
      return true;
    }
    if (wrote < 0 && errno != EINTR) return false;
    if (wrote > 0) sent += static_cast<std::size_t>(wrote);
  }
  return true;
}

void PtyLine::HangUp() {
  // What the unit sent before the line dropped is on the wire, as on a real
  // line; a closing master would discard what the loader has not yet read.
  // The loader is given a moment to read it.
  for (int look = 0; look < kHangUpReadLooks && UnreadByLoader() > 0; ++look) {
    timespec pause{0, kHangUpLookNs};
    nanosleep(&pause, nullptr);
  }
  // With the master and our own slave descriptor closed, the loader's open
  // device reports a hang-up and the terminal goes away.
  if (slaveKeeper_ >= 0) close(slaveKeeper_);
  if (master_ >= 0) close(master_);
  slaveKeeper_ = -1;
  master_ = -1;
}

int PtyLine::UnreadByLoader() const {
  int waiting = 0;
  if (slaveKeeper_ < 0 || ioctl(slaveKeeper_, FIONREAD, &waiting) != 0) return 0;
  return waiting;
}

bool PtyLine::Run(const std::atomic<bool>& stop) {
  while (!stop.load()) {
    std::int64_t now = NowUs();
    NoteSpeedChange(now);
    DeliverDue(now);
    unit_.AdvanceTo(now);
    if (!WriteDue(now)) return false;
    if (unit_.HungUp()) {
      HangUp();
      return true;
    }
    std::int64_t next = unit_.NextEventUs();
    if (!incoming_.empty()) next = std::min(next, incoming_.front().arrivesUs);
    std::int64_t wait = std::clamp<std::int64_t>(next - now, 0, kMaxPollUs);
    // With the incoming queue full, leave the loader's bytes in the terminal.
    short events = incoming_.size() < kIncomingLimit ? POLLIN : 0;
    pollfd fd{master_, events, 0};
    timespec timeout{static_cast<time_t>(wait / 1'000'000),
                     static_cast<long>(wait % 1'000'000) * 1000};
    int ready = ppoll(&fd, 1, &timeout, nullptr);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    if ((fd.revents & (POLLERR | POLLNVAL)) != 0) return false;
    if ((fd.revents & POLLIN) != 0) {
      ReadFromLoader(NowUs());
    } else if ((fd.revents & POLLHUP) != 0) {
      // No slave end is open (the keeper should prevent it): a hang-up stays
      // reported, so sleep out the wait instead of polling in a tight loop.
      nanosleep(&timeout, nullptr);
    }
  }
  return true;
}

}  // namespace rv4410::sim

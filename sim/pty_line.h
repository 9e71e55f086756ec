#pragma once
// The simulated unit on a pseudo-terminal, in real time. The loader opens the
// slave path like any serial device; the unit reads on the master, takes the
// line speed from the slave's settings (the master reports them on Linux),
// receives the loader's bytes paced at that speed and sends its own paced at
// its own speed, and garbles what crosses at mismatched speeds, as a real line
// would. A pseudo-terminal carries no break.

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "sim/unit_model.h"

namespace rv4410::sim {

class PtyLine {
 public:
  explicit PtyLine(UnitModel& unit);
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  // Creates the pseudo-terminal; false (with errno set) on failure.
  bool Create();
  const std::string& SlavePath() const { return slavePath_; }

  // Serves the line until `stop` becomes true (checked at least every 50 ms),
  // the unit hangs up (the terminal is then gone), or the master fails.
  // Returns false on an I/O failure.
  bool Run(const std::atomic<bool>& stop);

  // The speed the loader has set on its end, 0 when unknown.
  int LoaderBaud() const;

 private:
  struct Incoming {
    std::uint8_t byte;
    int baud;
    std::int64_t arrivesUs;  // when its last bit is in, at the loader's speed
  };

  std::int64_t NowUs() const;
  // Bytes still crossing the line when the loader's end changes speed arrive
  // garbled, as from a UART whose speed changes under queued bytes.
  void NoteSpeedChange(std::int64_t nowUs);
  void ReadFromLoader(std::int64_t nowUs);
  void DeliverDue(std::int64_t nowUs);
  bool WriteDue(std::int64_t nowUs);
  void HangUp();
  // Bytes the unit sent that the loader has not read yet.
  int UnreadByLoader() const;

  UnitModel& unit_;
  int master_ = -1;
  int slaveKeeper_ = -1;  // keeps the line up while the loader has it closed
  std::string slavePath_;
  std::int64_t startNs_ = 0;
  // Bytes read from the loader still crossing the line. Bounded: beyond it
  // the terminal's own buffer fills and holds the loader back, as a line does.
  std::deque<Incoming> incoming_;
  std::int64_t inputFreeUs_ = 0;
  // The loader's speed at the last look, and when that was.
  int seenBaud_ = 0;
  std::int64_t seenAtUs_ = 0;
};

// The termios speed constant for `baud`, and back; 0 for speeds without one.
unsigned BaudToSpeed(int baud);
int SpeedToBaud(unsigned speed);

}  // namespace rv4410::sim

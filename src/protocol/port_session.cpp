#include "protocol/port_session.h"

#include "protocol/run_state.h"

namespace rv4410 {

bool PortSession::Open() {
  return SerialOpen(run_.link) == 1;
}

void PortSession::End() {
  SerialClose(run_.link);
}

void PortSession::EndAfter(const Outcome& outcome) {
  if (outcome.Cancelled()) {
    SerialCloseNow(run_.link);
    return;
  }
  End();
}

void PortSession::Stop() {
  run_.CancelRequested = true;
  SerialCloseNow(run_.link);
}

}  // namespace rv4410

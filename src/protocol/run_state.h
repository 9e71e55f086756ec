#pragma once
// The run-wide state of the loader below the data files: the host, the log,
// the settings, the serial link and the flags of the unit protocol. One is
// created at start-up and handed to every operation; a test creates a fresh one.

#include <cstdint>
#include <string>

#include "activity_log/activity_log.h"
#include "platform/host.h"
#include "protocol/port_session.h"
#include "protocol/unit_info.h"
#include "serial/loader_settings.h"
#include "serial/serial_link.h"

namespace rv4410 {

struct RunState {
  explicit RunState(Host& host, std::string logPath = kLogFileName)
      : host(host), log(host, std::move(logPath)), link(host, settings) {}
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  Host& host;
  ActivityLog log;
  LoaderSettings settings;
  SerialLink link;

  // Set when the user ends the waiting or transfer page; every exchange in
  // progress notices it at its next check and returns quietly.
  bool CancelRequested = false;

  // The unit's identification record and whether the last query delivered it
  // intact; kept for the transfer page and the uploads. UnitInfoValid is
  // cleared before every visit to the waiting page.
  UnitInfo unitInfo;
  bool UnitInfoValid = false;

  // The open port of the page shown now: the page's logic opens and ends it.
  PortSession port{*this};

  // How long a wait that otherwise only the user ends may go on: the
  // handshakes inside an operation (and on the waiting page) and the restarts
  // of a parameter read. 0 (the wizard): until the user ends it. The command
  // line sets its --wait, for it has no one to end a wait.
  std::int64_t waitLimitMs = 0;
};

}  // namespace rv4410

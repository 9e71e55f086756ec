#pragma once
// The run-wide state of the whole loader: the protocol's RunState, the data
// files, and the flags the transfer page owns. The wizard and the command
// line each create one at start-up; a test creates a fresh one.

#include <string>

#include "config/saved_configuration.h"
#include "datafiles/loaded_image.h"
#include "protocol/run_state.h"

namespace rv4410 {

struct LoaderState {
  explicit LoaderState(Host& host, std::string logPath = kLogFileName)
      : run(host, std::move(logPath)) {}
  LoaderState(const LoaderState&) = delete;
  LoaderState& operator=(const LoaderState&) = delete;

  RunState run;
  DataFiles files;
  // What a program upload saved from the unit attached now, and restores.
  SavedConfiguration savedConfiguration;

  // Set from the start of the transfer page's operation until the driver is
  // done with it: the page shows the working-in-background cursor.
  bool OperationRunning = false;
  // Set by the uploads during their long waits: the page shows the hourglass.
  bool BusyCursor = false;
};

}  // namespace rv4410

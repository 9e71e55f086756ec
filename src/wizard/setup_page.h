#pragma once
// The setup page: the user picks the loader function and its files, may open
// the communications dialog, and presses "&Next >", which proves that the
// function can run (the files read and checked, the configuration file
// writable or present, the port opening) before the page ends. The logic is
// here; the window that shows it implements SetupPage and calls the handlers
// below on its commands.

#include <string>

#include "datafiles/loaded_image.h"
#include "datafiles/map_header.h"
#include "platform/host.h"
#include "protocol/run_state.h"
#include "protocol/unit_detection.h"
#include "protocol/waiting_page.h"

namespace rv4410 {

// Control ids of the page; the radio buttons carry the LoaderFunction values.
inline constexpr int kSetupBackButton = 1000;
inline constexpr int kSetupNextButton = 1001;
inline constexpr int kSetupProgramField = 1009;
inline constexpr int kSetupProgramFind = 1010;
inline constexpr int kSetupConfigField = 1011;
inline constexpr int kSetupConfigFind = 1012;
inline constexpr int kSetupCommsButton = 1013;
inline constexpr int kSetupMapFind = 1014;
inline constexpr int kSetupMapField = 1015;
inline constexpr int kSetupCancelButton = 2;
// A close request (the window's close box, Escape), as a command.
inline constexpr int kSetupCloseRequest = -1;

inline constexpr const char* kSetupCaption = "Setup";
inline constexpr const char* kSetupFunctionGroupText = "Select Loader Function";
inline constexpr const char* kWriteProgramText = "Write new Program to Unit";
inline constexpr const char* kReadConfigurationText = "Read Configuration from Unit";
inline constexpr const char* kWriteConfigurationText = "Write Configuration to Unit";
inline constexpr const char* kWriteMapText = "Write new Map database to Unit";
inline constexpr const char* kSetupConfigLabelText = "Select configuration file";
inline constexpr const char* kFindButtonText = "Find ...";
inline constexpr const char* kCommsButtonText = "Advanced Communications ";
inline constexpr const char* kSetupBackText = kWaitingBackText;
inline constexpr const char* kSetupNextText = kWaitingNextText;
inline constexpr const char* kSetupCancelText = kWaitingCancelText;
inline constexpr const char* kDoSetupLogLine = "... DoSetup()";

inline constexpr const char* kReadProgramFileLog = "Read Program file...";
// The map file is named in the log as the program file is.
inline constexpr const char* kReadMapFileLog = "Read Map file...";
inline constexpr const char* kCouldNotOpenProgramFormat = "Couldn't open '%s'.";
inline constexpr const char* kProgramFileErrorFormat = "File Error on '%s'.";
inline constexpr const char* kShortImagePlainFormat =
    "the program image is %d bytes, shorter than its %d-byte control block";
inline constexpr const char* kEmptyMapPlain = "the map database holds no map data";
inline constexpr const char* kCouldNotCreateFormat = "Could not create '%s'.";
inline constexpr const char* kCannotFindConfigFormat =
    "Cannot find Configuration\r\ndata file '%s'.";
inline constexpr const char* kCouldNotReadMapFormat = "Couldn't read map file '%s'.";

// A name longer than the system takes as a path: refused, never cut.
inline constexpr const char* kPathTooLongFormat =
    "A file name of %d bytes is longer than a path may be here (at most %d bytes).";

// The shortest program image the page lets through: a whole control block.
inline constexpr int kMinimumProgramLength = 256;

// Whether `name` is no longer than the system takes as a path, and the
// refusal's text when it is.
bool PathFits(const std::string& name);
std::string PathTooLongText(const std::string& name);

// What the unit must offer to take the map read on this page: a feature bit
// it shares with the map's mask and room for its L bytes.
MapRequirement RequirementOf(const MapHeader& header);

// Which fields (and their "Find ..." buttons) a function uses.
struct SetupEnabling {
  bool program = false;
  bool config = false;
  bool map = false;
};
SetupEnabling EnablingFor(LoaderFunction function);

class SetupPage {
 public:
  virtual ~SetupPage() = default;
  // Shows the page modally: calls SetupPageOpen as it opens, SetupPageCommand
  // on its commands, and returns the result it was ended with.
  virtual int Run() = 0;
  // Ends the page with `result`; it closes once control returns to it.
  virtual void EndPage(int result) = 0;
  // Queues `command` to the page itself, run once the page is shown.
  virtual void PostCommand(int command) = 0;
  virtual void SetApplicationIcon() = 0;
  virtual std::string FieldText(int field) const = 0;
  virtual void SetFieldText(int field, const std::string& text) = 0;
  // Checks the radio button `button` and clears the other three.
  virtual void CheckRadioButton(int button) = 0;
  virtual bool IsRadioChecked(int button) const = 0;
  virtual void EnableControl(int control, bool enabled) = 0;
  // Runs the communications dialog (DoComms) owned by this page.
  virtual void OpenComms() = 0;
  // The page window, as owner of its boxes and dialogs.
  virtual WindowRef Window() const = 0;
};

// Logs "... DoSetup()", proposes the file names (the newest "RV4410*.hex" and
// "*.bin" of the working directory, a configuration file name from the wall
// clock) and runs the page. Returns its result: 0 leave, 1001 go on.
int DoSetup(RunState& run, SetupPage& page);

// The page's opening: icon, the three names into their fields, and the
// remembered function posted as if its radio button had been clicked.
void SetupPageOpen(RunState& run, SetupPage& page);

// A command: a radio button (1005..1008), a "Find ..." button, "Advanced
// Communications ", "&Next >" (also Enter), "Cancel" or a close request.
void SetupPageCommand(RunState& run, DataFiles& files, SetupPage& page, int command);

// How "&Next >" ended: the page ended with 1001, or the user was left on it
// for a file (a stop included) or for the port.
enum class NextOutcome { kPassed, kFileRefused, kPortNotOpened };

// The checks of "&Next >", in order. A file reader's refusal is shown as the
// reader's own box (owned by the page) and logged; the page's own failures
// are shown in a box owned by the page, caption "Error", and logged; the map's
// validity dates are shown, and asked about, between its header and its
// data. The first failure leaves the user on the page. Ends the page with
// 1001 when all pass; the port is closed either way.
NextOutcome SetupPageNext(RunState& run, DataFiles& files, SetupPage& page);

}  // namespace rv4410

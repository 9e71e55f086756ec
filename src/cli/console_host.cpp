#include "cli/console_host.h"

#include "config/saved_configuration.h"
#include "datafiles/map_file.h"
#include "platform/stop_request.h"
#include "protocol/command_lines.h"
#include "uploads/transfer_driver.h"

namespace rv4410 {

ConsoleHost::ConsoleHost(Host& platform, BoxRules rules, ConsoleOutput& output)
    : platform_(platform), rules_(rules), output_(output) {}

void ConsoleHost::PumpMessages() {
  platform_.PumpMessages();
  ReactToStop();
}

void ConsoleHost::WaitForEvent(std::int64_t deadline) {
  platform_.WaitForEvent(deadline);
  ReactToStop();
}

void ConsoleHost::WaitForUserEvent(std::int64_t deadline) {
  platform_.WaitForUserEvent(deadline);
  ReactToStop();
}

void ConsoleHost::ReactToStop() {
  if (!stopReaction_ || !StopRequestArrived()) return;
  std::function<void()> reaction = std::move(stopReaction_);
  stopReaction_ = nullptr;
  reaction();
}

BoxAnswer ConsoleHost::ShowMessageBox(const MessageBoxRequest& request) {
  BoxAnswer answer = SafestAnswer(request.buttons);
  const char* rule = "notice";
  if (request.buttons == BoxButtons::kOk) {
    answer = BoxAnswer::kOk;
  } else if (request.buttons == BoxButtons::kYesNo && request.text == kUploadAnotherQuestion) {
    // One unit per run: the next unit is the next run.
    answer = BoxAnswer::kNo;
    rule = "one unit per run";
  } else if (request.buttons == BoxButtons::kYesNo && request.caption == kErrorCaption) {
    // Every "Try again?" of the logic is a Yes/No box under "Error".
    if (rules_.yes && record_.retriesGranted < rules_.retries) {
      answer = BoxAnswer::kYes;
      ++record_.retriesGranted;
      rule = "--yes";
    } else {
      answer = BoxAnswer::kNo;
      rule = rules_.yes ? "--retries used up" : "no --yes";
    }
  } else if (request.buttons == BoxButtons::kYesNo && request.text == kNoConfigurationQuestion) {
    answer = rules_.noConfigOk ? BoxAnswer::kYes : BoxAnswer::kNo;
    rule = rules_.noConfigOk ? "--no-config-ok" : "no --no-config-ok";
    if (!rules_.noConfigOk) Refuse(kNoConfigOkHint);
  } else if (request.buttons == BoxButtons::kYesNoCancel &&
             request.text.starts_with(kRestoreChoiceLead)) {
    switch (rules_.restore) {
      case RestoreRule::kSaved:
        answer = BoxAnswer::kYes;
        rule = "--restore saved";
        break;
      case RestoreRule::kUnit:
        answer = BoxAnswer::kNo;
        rule = "--restore unit";
        break;
      case RestoreRule::kNone:
        answer = BoxAnswer::kCancel;
        rule = "no --restore";
        Refuse(kRestoreHint);
        break;
    }
  } else if (request.buttons == BoxButtons::kOkCancel &&
             request.caption == kMapDateWarningCaption) {
    answer = rules_.acceptDates ? BoxAnswer::kOk : BoxAnswer::kCancel;
    rule = rules_.acceptDates ? "--accept-dates" : "no --accept-dates";
  } else {
    // A question this host has no rule for: said aloud, and answered so
    // that nothing goes ahead.
    rule = "unexpected question";
  }
  output_.Box(request.caption, request.text, BoxAnswerName(answer), rule,
              request.icon == BoxIcon::kError);
  return answer;
}

void ConsoleHost::Refuse(const char* hint) {
  output_.Problem(hint);
}

bool ConsoleHost::ChooseFile(const FileChoiceRequest& request, std::string& path) {
  path.clear();
  output_.Box(request.title, "file chooser", "Cancel", "unexpected question", true);
  return false;
}

bool ConsoleHost::StopRequested() {
  return StopRequestArrived();
}

}  // namespace rv4410

#include "wizard/win32/win32_waiting_dialog.h"

#include "wizard/win32/resource_ids.h"

namespace rv4410 {

namespace {

constexpr UINT_PTR kStartTimer = 1;
constexpr int kNextButton = 1001;
constexpr int kBackButton = 1000;

}  // namespace

Win32WaitingDialog::Win32WaitingDialog(RunState& run, MapRequirement map)
    : Win32Dialog(IDD_WAITING, nullptr), run_(run), map_(map) {}

void Win32WaitingDialog::OnInit() {
  SetTexts(kWaitingCaption, {{IDC_WAITING_TEXT, kWaitingText},
                             {IDC_WAITING_HINT, kWaitingHintText},
                             {kBackButton, kWaitingBackText},
                             {kNextButton, kWaitingNextText},
                             {IDCANCEL, kWaitingCancelText}});
  WaitingPageOpen(run_, *this);
}

void Win32WaitingDialog::EndPage(int result) {
  StopTimer();
  End(result);
}

void Win32WaitingDialog::StartTimer(std::int64_t ms) {
  SetTimer(Handle(), kStartTimer, static_cast<UINT>(ms), nullptr);
}

void Win32WaitingDialog::StopTimer() {
  KillTimer(Handle(), kStartTimer);
}

void Win32WaitingDialog::PostDefaultCommand() {
  PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void Win32WaitingDialog::DisableNext() {
  EnableWindow(Item(kNextButton), FALSE);
  EnableWindow(Item(IDC_WAITING_HINT), FALSE);
}

void Win32WaitingDialog::OnCommand(int id) {
  switch (id) {
    case IDOK:
    case kNextButton:
      Command(WaitingCommand::kNext);
      break;
    case kBackButton:
      Command(WaitingCommand::kBack);
      break;
    case IDCANCEL:
      Command(WaitingCommand::kCancel);
      break;
    default:
      break;
  }
}

void Win32WaitingDialog::OnClose() {
  Command(WaitingCommand::kClose);
}

bool Win32WaitingDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  if (message != WM_TIMER || wParam != kStartTimer) return false;
  // One tick only; the handshake inside runs the page's messages itself.
  StopTimer();
  if (!HasEnded() && !run_.CancelRequested) WaitingPageTimer(run_, *this);
  result = TRUE;
  return true;
}

void Win32WaitingDialog::Command(WaitingCommand command) {
  if (!HasEnded()) WaitingPageCommand(run_, *this, command, map_);
}

}  // namespace rv4410
